#pragma once
// The media-player interface on the session bus (MPRIS 2.2): media keys, the desktop's media
// controls and playerctl reach the player through it. Every method runs the window's own
// command objects, so a disabled command does nothing, and the display, the pop-up and the
// settings behave as for a key press. Changes are announced by comparing the properties after
// each refresh of the command states; the position is read when asked, never pushed.
#include <QDBusConnection>
#include <QDBusContext>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>

class QAction;
class QWidget;
class TFormPlayer;
class TFormVelodra;

inline constexpr char MprisServiceName[] = "org.mpris.MediaPlayer2.velodra";
inline constexpr char MprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char MprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char MprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

class TMprisService : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    TMprisService(TFormVelodra& window, TFormPlayer& player, QObject* parent = nullptr);
    ~TMprisService() override;

    // Exports both interfaces and takes the bus name; false, with nothing left on the bus, when
    // the bus is not there or the name is taken.
    bool Register(QDBusConnection bus);

    // org.mpris.MediaPlayer2. The methods run from the event loop, so that a caller on the bus
    // never waits for a scan or an error box.
    void Raise();
    void Quit();

    // org.mpris.MediaPlayer2.Player
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Next();
    void Previous();
    void Seek(std::int64_t offsetUs);
    void SetPosition(const QString& trackId, std::int64_t positionUs);
    void OpenUri(const QString& uri);

    QString PlaybackStatus();
    QString LoopStatus();
    void SetLoopStatus(const QString& status);
    bool Shuffle();
    void SetShuffle(bool on);
    QVariantMap Metadata();
    double Volume();
    void SetVolume(double volume);
    void SetRate(double rate);
    std::int64_t Position(); // microseconds
    bool CanGoNext();
    bool CanGoPrevious();
    bool CanPlay();
    bool CanPause();
    bool CanSeek();

    // The player properties that are announced when they change (all but Position).
    QVariantMap PlayerProperties();

signals:
    // What changed, as it goes out on the bus in PropertiesChanged.
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed);
    // The position moved other than by playing (microseconds), as it goes out in Seeked.
    void Seeked(qlonglong positionUs);

private:
    void Refresh();
    // PropertiesChanged of the player interface: as a signal here, and on the bus.
    void Announce(const QVariantMap& changed);
    void WatchPosition(const QString& status, const QString& trackId);
    void AnnounceSeek(std::int32_t ms);
    void Later(std::function<void()> fn);
    QString CurrentFile(); // the open file, empty when none
    QString PicturePath();

    TFormVelodra& Window;
    TFormPlayer& Player;
    QAction *ActPlay, *ActPause, *ActStop, *ActNextFile, *ActPrevFile, *ActLoop, *ActShuffle,
        *ActRestore, *FileExit1;
    QWidget *ProgressBar1, *ImgFolder1;
    QDBusConnection Bus;
    bool Registered = false;

    QVariantMap LastPlayer;
    QString LastStatus;
    QString LastTrackId;
    std::int32_t LastPositionMs = 0;
    QElapsedTimer SinceLastPosition;
    QString PictureFolder; // the folder PictureFile was looked up for
    QString PictureFile;
};
