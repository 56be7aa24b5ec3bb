#pragma once
// A media device for logic tests: no sound, everything settable, every command logged.
// While playing, the position moves when the test calls Advance, or by itself with the ticks of
// an injected clock; reaching the end stops the device there, as the real one does, or goes on
// at once with a queued file (reported by TakeTrackChange; Failed for a file in OpenFailures).
#include "platform/Clock.h"
#include "platform/MediaDevice.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace testsupport {

class TScriptedMediaDevice final : public TMediaDevice {
public:
    // --- the script
    std::int32_t DefaultLength = 180000;
    std::map<QString, std::int32_t> Lengths; // by path; others get DefaultLength
    std::map<QString, QString> OpenFailures; // by path: the error text of a failing open
    QString FailEveryOpen;                   // not empty: every open fails with this text
    bool RefuseResume = false;
    std::int32_t RunsOutAt = -1;   // ms where playing ends by itself; -1: the length
    std::shared_ptr<TClock> Clock; // set: the position follows its ticks
    bool RefuseQueue = false;      // a device that can't go on to a queued file
    bool RefuseDrop = false;       // the queued file was taken over already: DropNext keeps it
    std::function<void()> OnOpen;  // runs first in every Open (a device stuck there)

    // --- what happened
    // "Open <path>", "Close", "Play", "Pause", "Resume", "Stop", "Seek <ms>", "QueueNext <path>",
    // "DropNext", "Changed <path>"
    QStringList Log;
    QString OpenPath;
    QString QueuedPath; // the file queued to follow the open one
    int Count(const QString& entry) const { return static_cast<int>(Log.count(entry)); }

    // --- the test's hand on the device
    void Advance(std::int32_t ms) {
        if (CurMode == TMPModes::mpPlaying) MoveBy(ms);
    }
    void SetPosition(std::int32_t ms) {
        Pos = ms;
        Ended = false;
    }
    void SetMode(TMPModes m) { CurMode = m; }
    void SetLength(std::int32_t ms) { Len = ms; }

    // --- the device
    void Open(const QString& path) override {
        if (OnOpen) OnOpen();
        Log << QStringLiteral("Open ") + path;
        Close(false);
        if (!FailEveryOpen.isEmpty()) throw EMediaDeviceError(FailEveryOpen);
        if (auto f = OpenFailures.find(path); f != OpenFailures.end())
            throw EMediaDeviceError(f->second);
        auto l = Lengths.find(path);
        Len = l != Lengths.end() ? l->second : DefaultLength;
        OpenPath = path;
        IsOpenNow = true;
        CurMode = TMPModes::mpStopped;
    }
    void Close() override { Close(true); }
    bool DeviceOpen() const override { return IsOpenNow; }

    void Play() override {
        Require(QStringLiteral("Play"));
        Sync();
        if (Ended || Pos >= Len) {
            Pos = 0;
            Ended = false;
        }
        StartPlaying();
    }
    void Pause() override {
        Require(QStringLiteral("Pause"));
        Sync();
        if (CurMode == TMPModes::mpPlaying) CurMode = TMPModes::mpPaused;
    }
    bool Resume() override {
        Require(QStringLiteral("Resume"));
        Sync();
        if (RefuseResume || (CurMode != TMPModes::mpPaused && CurMode != TMPModes::mpPlaying))
            return false;
        StartPlaying();
        return true;
    }
    void Stop() override {
        Require(QStringLiteral("Stop"));
        Sync();
        QueuedPath.clear();
        if (CurMode == TMPModes::mpPlaying || CurMode == TMPModes::mpPaused)
            CurMode = TMPModes::mpStopped;
    }
    void Seek(std::int32_t ms) override {
        Require(QStringLiteral("Seek %1").arg(ms));
        Sync();
        QueuedPath.clear();
        Pos = std::clamp(ms, 0, std::max(Len, 0));
        Ended = Len > 0 && Pos >= Len;
        CurMode = TMPModes::mpStopped;
    }
    TMPModes Mode() override {
        Sync();
        return IsOpenNow ? CurMode : TMPModes::mpNotReady;
    }
    std::int32_t Position() override {
        Sync();
        return IsOpenNow ? Pos : 0;
    }
    std::int32_t Length() override { return IsOpenNow ? Len : 0; }
    bool AtEnd() override {
        Sync();
        return IsOpenNow && Ended;
    }
    bool QueueNext(const QString& path) override {
        Log << QStringLiteral("QueueNext ") + path;
        if (!IsOpenNow || RefuseQueue) return false;
        QueuedPath = path;
        return true;
    }
    bool DropNext() override {
        Log << QStringLiteral("DropNext");
        if (RefuseDrop && !QueuedPath.isEmpty()) return false;
        QueuedPath.clear();
        return true;
    }
    TTrackChange TakeTrackChange() override {
        Sync();
        if (Changes.empty()) return {};
        TTrackChange c = Changes.front();
        Changes.pop_front();
        return c;
    }
    void SetVolume(double v) override { Vol = v; }
    double Volume() const override { return Vol; }

private:
    void Close(bool logIt) {
        if (logIt) Log << QStringLiteral("Close");
        IsOpenNow = false;
        CurMode = TMPModes::mpNotReady;
        Pos = 0;
        Len = 0;
        Ended = false;
        OpenPath.clear();
        QueuedPath.clear();
        Changes.clear();
    }
    void Require(const QString& entry) {
        Log << entry;
        if (!IsOpenNow) throw EMediaDeviceError(QStringLiteral("No MCI device open"));
    }
    void StartPlaying() {
        CurMode = TMPModes::mpPlaying;
        if (Clock) LastTick = Clock->TickCount();
    }
    void Sync() {
        if (!Clock || CurMode != TMPModes::mpPlaying) return;
        const std::uint32_t now = Clock->TickCount();
        const std::uint32_t elapsed = now - LastTick;
        LastTick = now;
        MoveBy(static_cast<std::int32_t>(std::min<std::uint32_t>(elapsed, 0x7fffffff)));
    }
    void MoveBy(std::int32_t ms) {
        const std::int32_t end = RunsOutAt >= 0 ? std::min(RunsOutAt, Len) : Len;
        if (static_cast<std::int64_t>(Pos) + ms >= end && !QueuedPath.isEmpty()) {
            GoOnWithQueued(static_cast<std::int32_t>(Pos + static_cast<std::int64_t>(ms) - end));
        } else if (static_cast<std::int64_t>(Pos) + ms >= end) {
            Pos = end;
            Ended = true;
            CurMode = TMPModes::mpStopped;
        } else {
            Pos += ms;
        }
    }

    // The end reached with a file queued: it plays on from `into` ms, or fails to open.
    void GoOnWithQueued(std::int32_t into) {
        const QString path = std::exchange(QueuedPath, {});
        QString failure = FailEveryOpen;
        if (auto f = OpenFailures.find(path); f != OpenFailures.end()) failure = f->second;
        if (!failure.isEmpty()) {
            MoveBy(Len); // plays out to its end
            Changes.push_back({TTrackChange::Failed, path, failure});
            return;
        }
        Log << QStringLiteral("Changed ") + path;
        auto l = Lengths.find(path);
        Len = l != Lengths.end() ? l->second : DefaultLength;
        OpenPath = path;
        Pos = 0;
        Changes.push_back({TTrackChange::Changed, path, {}});
        MoveBy(into);
    }

    std::deque<TTrackChange> Changes;
    bool IsOpenNow = false;
    TMPModes CurMode = TMPModes::mpNotReady;
    std::int32_t Pos = 0;
    std::int32_t Len = 0;
    bool Ended = false;
    std::uint32_t LastTick = 0;
    double Vol = 1.0;
};

} // namespace testsupport
