// Placeholder until the GStreamer device lands: every open fails.
#include "platform/MediaDevice.h"

namespace {
class TNoDevice final : public TMediaDevice {
public:
    void Open(const QString&) override { throw EMediaDeviceError(QStringLiteral("Unknown error code")); }
    void Close() override {}
    bool DeviceOpen() const override { return false; }
    void Play() override { throw EMediaDeviceError(QStringLiteral("No MCI device open")); }
    void Pause() override { throw EMediaDeviceError(QStringLiteral("No MCI device open")); }
    bool Resume() override { throw EMediaDeviceError(QStringLiteral("No MCI device open")); }
    void Stop() override { throw EMediaDeviceError(QStringLiteral("No MCI device open")); }
    void Seek(std::int32_t) override { throw EMediaDeviceError(QStringLiteral("No MCI device open")); }
    TMPModes Mode() override { return TMPModes::mpNotReady; }
    std::int32_t Position() override { return 0; }
    std::int32_t Length() override { return 0; }
};
} // namespace

std::unique_ptr<TMediaDevice> CreateGstMediaDevice() { return std::make_unique<TNoDevice>(); }
