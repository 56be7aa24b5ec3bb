#include "platform/MediaDevice.h"

namespace {
class TSilentDevice final : public TMediaDevice {
public:
    void Open(const QString&) override {}
    void Close() override {}
    bool DeviceOpen() const override { return false; }
    void Play() override {}
    void Pause() override {}
    bool Resume() override { return false; }
    void Stop() override {}
    void Seek(std::int32_t) override {}
    TMPModes Mode() override { return TMPModes::mpNotReady; }
    std::int32_t Position() override { return 0; }
    std::int32_t Length() override { return 0; }
};
} // namespace

std::unique_ptr<TMediaDevice> CreateSilentMediaDevice() {
    return std::make_unique<TSilentDevice>();
}
