#pragma once
// The media-player interface on the session bus (MPRIS 2.2): media keys, the desktop's media
// controls and playerctl reach the player through it. Every method runs the session's own
// commands, so a command that is disabled for the keys does nothing here either. Properties are
// announced when the session says they changed; the metadata is made once per file; the
// position is read when asked, never pushed.
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>

class TSession;

inline constexpr char MprisServiceName[] = "org.mpris.MediaPlayer2.velodra";
inline constexpr char MprisObjectPath[] = "/org/mpris/MediaPlayer2";
inline constexpr char MprisRootInterface[] = "org.mpris.MediaPlayer2";
inline constexpr char MprisPlayerInterface[] = "org.mpris.MediaPlayer2.Player";

class TMprisService : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit TMprisService(TSession& session, QObject* parent = nullptr);
    ~TMprisService() override;

    // Exports both interfaces and takes the bus name; false, with nothing left on the bus, when
    // the bus is not there or the name is taken.
    bool Register(QDBusConnection bus);

    // org.mpris.MediaPlayer2
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

    QString PlaybackStatus() const;
    QString LoopStatus() const;
    void SetLoopStatus(const QString& status);
    bool Shuffle() const;
    void SetShuffle(bool on);
    QVariantMap Metadata() const { return Track; }
    double Volume() const;
    void SetVolume(double volume);
    void SetRate(double rate);
    std::int64_t Position() const; // microseconds
    bool CanGoNext() const;
    bool CanGoPrevious() const;
    bool CanPlay() const;
    bool CanPause() const;
    bool CanSeek() const;

    // The player properties that are announced when they change (all but Position).
    QVariantMap PlayerProperties() const;
    // A value of the right type that the property can't take (LoopStatus "Track"): the value
    // that stays is announced again, as media controls expect.
    void RefuseSet(const QString& property);
    // Answers the bus call being served with an error (the call is QDBusContext's, which is
    // this object's, not its adaptors').
    void AnswerError(QDBusError::ErrorType type, const QString& text);

signals:
    // What changed, as it goes out on the bus in PropertiesChanged.
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed);
    // The position moved other than by playing (microseconds), as it goes out in Seeked.
    void Seeked(qlonglong positionUs);

private:
    void TrackChanged();
    void Refresh();
    // PropertiesChanged of the player interface: as a signal here, and on the bus.
    void Announce(const QVariantMap& changed);
    void PlayStarted();
    QString CurrentTrackId() const;

    TSession& Session;
    QDBusConnection Bus;
    bool Registered = false;
    QVariantMap Track; // the metadata of the selected file
    QVariantMap LastPlayer;
    QString StartedTrackId; // of the last play start
};
