// The playback wrapper of the player window: one open file, driven through MediaPlayer1.
#include "player/UFormPlayer.h"

#include "platform/Error.h"

#include <QCoreApplication>
#include <algorithm>
#include <limits>

namespace {

const QString NoDeviceOpen = QStringLiteral("No MCI device open");
const QString UnknownError = QStringLiteral("Unknown error code");

// A track is never over within this long after a play command.
constexpr std::uint32_t kPlayGuardMs = 5000;
// ...and counts as over when it stands still this close to its stated duration.
constexpr std::int64_t kEndSlackMs = 1000;

QString DeviceText(const EMediaDeviceError& e) {
    return e.Message.isEmpty() ? UnknownError : e.Message;
}

EVelodraError OpenError(const QString& path, const QString& reason) {
    return EVelodraError(QStringLiteral("Unable to open %1.\r\r%2")
                             .arg(QuotedStr(path), reason.isEmpty() ? UnknownError : reason));
}

} // namespace

QString TFormPlayer::ResetForOpen(int folderIndex, int fileIndex) {
    IsOpen = false;
    MediaInfo.Title.clear();
    MediaInfo.Artist.clear();
    MediaInfo.Album.clear();
    MediaInfo.Year.clear();
    MediaInfo.Genre.clear();
    MediaInfo.Comment.clear();
    MediaInfo.FilePath.clear();
    MediaInfo.Duration = 0;
    MediaInfo.Track = 0;
    // A file whose stream can't be read must not show the previous file's values.
    MediaInfo.ChannelMode.clear();
    MediaInfo.BitRate = 0;
    MediaInfo.SampleRate = 0;
    PlayStartTick = 0;
    LastPosition = -1;
    ChangeExpected = false;

    const QString path = Library.FilePath(folderIndex, fileIndex);
    if (path.isEmpty()) {
        // Close what was open, so that no stale file plays on under an empty display.
        Device->Close();
        throw EVelodraError(QStringLiteral("List index out of bounds (%1)").arg(fileIndex));
    }
    MediaInfo.FilePath = path;
    return path;
}

void TFormPlayer::OpenFile(int folderIndex, int fileIndex) {
    const QString path = ResetForOpen(folderIndex, fileIndex);
    if (Device->DeviceOpen()) Device->Close();
    try {
        Device->Open(path);
    } catch (const EMediaDeviceError& e) {
        throw OpenError(path, e.Message);
    }
    IsOpen = true;
}

void TFormPlayer::Play() {
    PlayStartTick = 0;
    QString failure;
    try {
        if (!IsOpen) throw EMediaDeviceError(NoDeviceOpen);
        Device->Play();
    } catch (const EMediaDeviceError& e) {
        failure = DeviceText(e);
    }
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    if (!failure.isEmpty()) {
        throw EVelodraError(
            QStringLiteral("Unable to play %1.\r\r%2").arg(QuotedStr(MediaInfo.FilePath), failure));
    }
    // 0 means "not started"; a tick count that wraps to 0 just then counts as 1.
    PlayStartTick = std::max<std::uint32_t>(ClockSource->TickCount(), 1);
}

void TFormPlayer::PauseToggle() {
    if (!IsOpen) throw EVelodraError(NoDeviceOpen);
    switch (Device->Mode()) {
    case TMPModes::mpPlaying:
        Device->Pause();
        break;
    case TMPModes::mpPaused:
        Resume();
        break;
    default:
        break;
    }
}

void TFormPlayer::Resume() {
    if (!IsOpen) throw EVelodraError(NoDeviceOpen);
    if (!Device->Resume()) Device->Play();
}

void TFormPlayer::Stop() {
    if (!IsOpen) throw EVelodraError(NoDeviceOpen);
    Device->Stop();
    UndoHeardChange();
    Device->Seek(0);
    LastPosition = -1;
    PlayStartTick = 0;
}

void TFormPlayer::Seek(std::int32_t ms) {
    if (!IsOpen) throw EVelodraError(NoDeviceOpen);
    const bool wasPlaying = IsPlaying();
    Device->Seek(ms);
    if (UndoHeardChange()) Device->Seek(ms);
    // The device stops at the target; playback goes on from there.
    if (wasPlaying && !IsPlaying()) Play();
}

std::int32_t TFormPlayer::Position() {
    return IsOpen ? Device->Position() : 0;
}

std::int32_t TFormPlayer::PositionPercent() {
    return MediaInfo.Duration > 0 ? PercentOf(Position()) : 0;
}

std::int32_t TFormPlayer::PercentOf(std::int32_t position) const {
    const std::int64_t duration = MediaInfo.Duration;
    if (duration <= 0) return 0;
    // In 64 bits: a 32-bit product overflows on tracks longer than about six hours.
    const std::int64_t scaled = static_cast<std::int64_t>(std::max(position, 0)) * 100;
    std::int64_t q = scaled / duration;
    const std::int64_t twice = (scaled % duration) * 2;
    if (twice > duration || (twice == duration && (q & 1) != 0)) ++q; // halves to even
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(q, std::numeric_limits<std::int32_t>::max()));
}

bool TFormPlayer::IsPaused() {
    return IsOpen && Device->Mode() == TMPModes::mpPaused;
}

bool TFormPlayer::IsPlaying() {
    if (!IsOpen) return false;
    const TMPModes m = Device->Mode();
    return m == TMPModes::mpPlaying || m == TMPModes::mpPaused;
}

bool TFormPlayer::TrackEnded() {
    if (!IsOpen) return false;
    const bool guardOver =
        PlayStartTick != 0 &&
        static_cast<std::uint32_t>(ClockSource->TickCount() - PlayStartTick) > kPlayGuardMs;
    // With a file queued the position stands at the end for a moment while the device goes on:
    // only a device that stopped there has ended, and the position need not be asked.
    if (ChangeExpected) return guardOver && Device->AtEnd();
    const std::int32_t p = Device->Position();
    bool ended = false;
    if (guardOver) {
        const bool stalledNearEnd =
            p == LastPosition && static_cast<std::int64_t>(MediaInfo.Duration) - p < kEndSlackMs;
        // A stated duration longer than the audio would otherwise leave the player silent here.
        ended = stalledNearEnd || Device->AtEnd();
    }
    if (!ended) LastPosition = p;
    return ended;
}

bool TFormPlayer::QueueNext(int folderIndex, int fileIndex) {
    if (!IsOpen || PlayStartTick == 0) return false;
    // The end rule never ends a track within the guard after its play command: one that runs
    // out sooner waits for it, as it always did, so it gets no change without a gap.
    const std::int64_t sincePlay =
        static_cast<std::uint32_t>(ClockSource->TickCount() - PlayStartTick);
    if (sincePlay + Device->Length() - Device->Position() <= kPlayGuardMs) return false;
    const QString path = Library.FilePath(folderIndex, fileIndex);
    if (path.isEmpty() || !Device->QueueNext(path)) return false;
    ChangeExpected = true;
    return true;
}

void TFormPlayer::DropNext() {
    // Refused when the device has taken the file over: its change is reported all the same.
    if (ChangeExpected && Device->DropNext()) ChangeExpected = false;
}

TTrackChange TFormPlayer::TakeTrackChange() {
    if (!ChangeExpected) return {};
    TTrackChange change = Device->TakeTrackChange();
    if (change.Kind != TTrackChange::None) ChangeExpected = false;
    return change;
}

void TFormPlayer::TakeOverFile(int folderIndex, int fileIndex, const TTrackChange& change) {
    const QString path = ResetForOpen(folderIndex, fileIndex);
    if (change.Kind == TTrackChange::Changed && change.Path == path) {
        IsOpen = true;
        // It became audible at the report: that is its play command.
        PlayStartTick = std::max<std::uint32_t>(ClockSource->TickCount(), 1);
        return;
    }
    if (change.Kind == TTrackChange::Changed) {
        // Not the file the device went on with: open the one asked for, and start it.
        OpenFile(folderIndex, fileIndex);
        Play();
        return;
    }
    Device->Close();
    throw OpenError(path, change.Error);
}

// Stop or Seek at the very moment the device went on with the queued file: the caller still
// shows the file that ended, so the command acts on that one.
bool TFormPlayer::UndoHeardChange() {
    if (!ChangeExpected) return false;
    ChangeExpected = false;
    if (Device->TakeTrackChange().Kind != TTrackChange::Changed) return false;
    try {
        Device->Open(MediaInfo.FilePath);
    } catch (const EMediaDeviceError& e) {
        IsOpen = false;
        throw OpenError(MediaInfo.FilePath, e.Message);
    }
    return true;
}

QString TFormPlayer::FormatTime(std::int32_t ms) {
    // Remaining time past the stated duration is negative: show nothing left.
    if (ms < 0) return QStringLiteral("00:00");
    const std::int32_t s = ms / 1000;
    return QString::asprintf("%.2d:%.2d", static_cast<int>(static_cast<std::uint16_t>(s / 60)),
                             static_cast<int>(static_cast<std::uint16_t>(s % 60)));
}

void TFormPlayer::ReadMediaInfo() {
    // The readers keep their failures to themselves: information never stops playback.
    ReadStreamInfo(MediaInfo);
    if (MediaInfo.Duration <= 0) MediaInfo.Duration = IsOpen ? Device->Length() : 0;
}
