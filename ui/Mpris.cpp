#include "ui/Mpris.h"

#include "VelodraAppId.h"
#include "platform/FolderPicture.h"
#include "player/UFormPlayer.h"
#include "ui/MprisRules.h"
#include "ui/UFormVelodra.h"

#include <QAction>
#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>
#include <cstdlib>

namespace {

// A change of the position by more than this that playing does not explain is a jump.
constexpr std::int64_t JumpMs = 1500;

class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

public:
    explicit TMprisRootAdaptor(TMprisService* service)
        : QDBusAbstractAdaptor(service), Service(service) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Velodra"); }
    QString DesktopEntry() const { return QString::fromLatin1(VelodraAppId); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList SupportedMimeTypes() const {
        return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/x-ms-wma")};
    }

public slots:
    void Raise() { Service->Raise(); }
    void Quit() { Service->Quit(); }

private:
    TMprisService* Service;
};

class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
    Q_PROPERTY(double Rate READ Rate WRITE SetRate)
    Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)

public:
    explicit TMprisPlayerAdaptor(TMprisService* service)
        : QDBusAbstractAdaptor(service), Service(service) {
        connect(service, &TMprisService::Seeked, this, &TMprisPlayerAdaptor::Seeked);
    }
    QString PlaybackStatus() const { return Service->PlaybackStatus(); }
    QString LoopStatus() const { return Service->LoopStatus(); }
    void SetLoopStatus(const QString& s) { Service->SetLoopStatus(s); }
    double Rate() const { return 1.0; }
    void SetRate(double r) { Service->SetRate(r); }
    bool Shuffle() const { return Service->Shuffle(); }
    void SetShuffle(bool on) { Service->SetShuffle(on); }
    QVariantMap Metadata() const { return Service->Metadata(); }
    double Volume() const { return Service->Volume(); }
    void SetVolume(double v) { Service->SetVolume(v); }
    qlonglong Position() const { return Service->Position(); }
    bool CanGoNext() const { return Service->CanGoNext(); }
    bool CanGoPrevious() const { return Service->CanGoPrevious(); }
    bool CanPlay() const { return Service->CanPlay(); }
    bool CanPause() const { return Service->CanPause(); }
    bool CanSeek() const { return Service->CanSeek(); }
    bool CanControl() const { return true; }

public slots:
    void Next() { Service->Next(); }
    void Previous() { Service->Previous(); }
    void Pause() { Service->Pause(); }
    void PlayPause() { Service->PlayPause(); }
    void Stop() { Service->Stop(); }
    void Play() { Service->Play(); }
    void Seek(qlonglong offset) { Service->Seek(offset); }
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
        Service->SetPosition(trackId.path(), position);
    }
    void OpenUri(const QString& uri) { Service->OpenUri(uri); }

signals:
    void Seeked(qlonglong Position);

private:
    TMprisService* Service;
};

template <typename T> T* Child(QObject& window, const char* name) {
    T* child = window.findChild<T*>(QString::fromLatin1(name));
    Q_ASSERT(child);
    return child;
}

} // namespace

TMprisService::TMprisService(TFormVelodra& window, TFormPlayer& player, QObject* parent)
    : QObject(parent), Window(window), Player(player), ActPlay(Child<QAction>(window, "ActPlay")),
      ActPause(Child<QAction>(window, "ActPause")), ActStop(Child<QAction>(window, "ActStop")),
      ActNextFile(Child<QAction>(window, "ActNextFile")),
      ActPrevFile(Child<QAction>(window, "ActPrevFile")),
      ActLoop(Child<QAction>(window, "ActLoop")), ActShuffle(Child<QAction>(window, "ActShuffle")),
      ActRestore(Child<QAction>(window, "ActRestore")),
      FileExit1(Child<QAction>(window, "FileExit1")),
      ProgressBar1(Child<QWidget>(window, "ProgressBar1")),
      ImgFolder1(Child<QWidget>(window, "ImgFolder1")), Bus(QString()) {
    new TMprisRootAdaptor(this);
    new TMprisPlayerAdaptor(this);
    LastPlayer = PlayerProperties();
    SinceLastPosition.start();
    connect(&Window, &TFormVelodra::CommandStatesUpdated, this, &TMprisService::Refresh);
    connect(&Window, &TFormVelodra::PositionMoved, this, &TMprisService::AnnounceSeek);
}

TMprisService::~TMprisService() {
    if (!Registered) return;
    Bus.unregisterService(QString::fromLatin1(MprisServiceName));
    Bus.unregisterObject(QString::fromLatin1(MprisObjectPath));
}

bool TMprisService::Register(QDBusConnection bus) {
    if (!bus.isConnected()) return false;
    if (!bus.registerObject(QString::fromLatin1(MprisObjectPath), this,
                            QDBusConnection::ExportAdaptors))
        return false;
    if (!bus.registerService(QString::fromLatin1(MprisServiceName))) {
        bus.unregisterObject(QString::fromLatin1(MprisObjectPath));
        return false;
    }
    Bus = bus;
    Registered = true;
    return true;
}

void TMprisService::Later(std::function<void()> fn) {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void TMprisService::Raise() {
    Later([this] { ActRestore->trigger(); });
}

void TMprisService::Quit() {
    Later([this] { FileExit1->trigger(); });
}

void TMprisService::Play() {
    Later([this] {
        if (Player.IsPaused())
            ActPause->trigger(); // resumes
        else if (!Player.IsPlaying())
            ActPlay->trigger();
    });
}

void TMprisService::Pause() {
    Later([this] {
        if (Player.IsPlaying() && !Player.IsPaused()) ActPause->trigger();
    });
}

void TMprisService::PlayPause() {
    Later([this] {
        if (Player.IsPlaying())
            ActPause->trigger(); // pauses or resumes
        else
            ActPlay->trigger();
    });
}

void TMprisService::Stop() {
    Later([this] { ActStop->trigger(); });
}

void TMprisService::Next() {
    Later([this] { ActNextFile->trigger(); });
}

void TMprisService::Previous() {
    Later([this] { ActPrevFile->trigger(); });
}

void TMprisService::Seek(std::int64_t offsetUs) {
    Later([this, offsetUs] {
        const TSeekPlan plan =
            PlanSeek(CanSeek(), Player.Position(), Player.MediaInfo.Duration, offsetUs);
        if (plan.Kind == TSeekKind::SeekTo)
            Window.SeekTo(plan.TargetMs);
        else if (plan.Kind == TSeekKind::Next)
            ActNextFile->trigger();
    });
}

void TMprisService::SetPosition(const QString& trackId, std::int64_t positionUs) {
    Later([this, trackId, positionUs] {
        const auto target = PlanSetPosition(CanSeek(), MprisTrackId(CurrentFile()),
                                            Player.MediaInfo.Duration, trackId, positionUs);
        if (target) Window.SeekTo(*target);
    });
}

void TMprisService::OpenUri(const QString& uri) {
    const TOpenUri open = FolderFromUri(uri);
    if (!open.Error.isEmpty()) {
        if (calledFromDBus()) sendErrorReply(open.ErrorName, open.Error);
        return;
    }
    Window.OpenFolder(open.Folder);
}

QString TMprisService::CurrentFile() {
    return Player.IsOpen ? Player.MediaInfo.FilePath : QString();
}

QString TMprisService::PlaybackStatus() {
    return PlaybackStatusName(Player.IsPlaying(), Player.IsPaused());
}

QString TMprisService::LoopStatus() {
    return LoopStatusName(ActLoop->isChecked());
}

void TMprisService::SetLoopStatus(const QString& status) {
    const auto repeat = RepeatFromLoopStatus(status);
    if (!repeat) {
        // Refused ("Track": there is no single-track repeat). Qt's bus layer gives a property
        // setter no way to answer with an error, so the value that stays is announced again.
        Announce({{QStringLiteral("LoopStatus"), LoopStatus()}});
        return;
    }
    if (*repeat != ActLoop->isChecked()) ActLoop->trigger();
}

bool TMprisService::Shuffle() {
    return ActShuffle->isChecked();
}

void TMprisService::SetShuffle(bool on) {
    if (on != ActShuffle->isChecked()) ActShuffle->trigger();
}

QVariantMap TMprisService::Metadata() {
    TMprisTrack track;
    track.FilePath = CurrentFile();
    if (!track.FilePath.isEmpty()) {
        const TMediaInfo& info = Player.MediaInfo;
        track.Title = Window.State().TitleText;
        track.Artist = info.Artist;
        track.Album = info.Album;
        track.TrackNumber = info.Track;
        track.DurationMs = info.Duration;
        track.PicturePath = PicturePath();
    }
    return MprisMetadata(track);
}

QString TMprisService::PicturePath() {
    const int index = Window.State().CurFolderIndex;
    if (ImgFolder1->isHidden() || index < 0) return {};
    const QString folder = Player.FolderPath(index);
    // Looked up once per folder: the refresh runs on every timer tick.
    if (folder != PictureFolder) {
        PictureFolder = folder;
        const auto file = FindFolderPicture(folder);
        PictureFile = file ? file->Path : QString();
    }
    return PictureFile;
}

double TMprisService::Volume() {
    return Player.MediaPlayer1().Volume();
}

void TMprisService::SetVolume(double volume) {
    const auto v = ClampVolume(volume);
    if (!v) {
        Announce({{QStringLiteral("Volume"), Volume()}});
        return;
    }
    Player.MediaPlayer1().SetVolume(*v);
    Refresh();
}

void TMprisService::SetRate(double rate) {
    // The only rate is 1.0; a rate of 0 means a pause.
    if (rate == 0.0) Pause();
}

std::int64_t TMprisService::Position() {
    return std::int64_t{Player.Position()} * 1000;
}

bool TMprisService::CanGoNext() {
    return ActNextFile->isEnabled();
}
bool TMprisService::CanGoPrevious() {
    return ActPrevFile->isEnabled();
}
bool TMprisService::CanPlay() {
    return ActPlay->isEnabled();
}
bool TMprisService::CanPause() {
    return ActPause->isEnabled();
}
bool TMprisService::CanSeek() {
    return ProgressBar1->isEnabled() && Player.IsOpen && Player.MediaInfo.Duration > 0;
}

QVariantMap TMprisService::PlayerProperties() {
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("LoopStatus"), LoopStatus()},
            {QStringLiteral("Shuffle"), Shuffle()},
            {QStringLiteral("Metadata"), Metadata()},
            {QStringLiteral("Volume"), Volume()},
            {QStringLiteral("CanGoNext"), CanGoNext()},
            {QStringLiteral("CanGoPrevious"), CanGoPrevious()},
            {QStringLiteral("CanPlay"), CanPlay()},
            {QStringLiteral("CanPause"), CanPause()},
            {QStringLiteral("CanSeek"), CanSeek()}};
}

void TMprisService::Refresh() {
    const QVariantMap now = PlayerProperties();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it)
        if (LastPlayer.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    LastPlayer = now;
    if (!changed.isEmpty()) Announce(changed);
    const QVariantMap metadata = now.value(QStringLiteral("Metadata")).toMap();
    WatchPosition(now.value(QStringLiteral("PlaybackStatus")).toString(),
                  metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path());
}

void TMprisService::Announce(const QVariantMap& changed) {
    const QString iface = QString::fromLatin1(MprisPlayerInterface);
    emit PropertiesChanged(iface, changed);
    if (!Registered) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(MprisObjectPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << iface << changed << QStringList();
    Bus.send(signal);
}

void TMprisService::WatchPosition(const QString& status, const QString& trackId) {
    const std::int32_t position = Player.Position();
    const std::int64_t elapsed = SinceLastPosition.restart();
    // A jump within the same file and state (a file started again while it plays) is one the
    // desktop can't foresee; a change of file or state makes it read the position anyway.
    if (status == LastStatus && trackId == LastTrackId) {
        const std::int64_t expected =
            LastPositionMs + (status == QLatin1String("Playing") ? elapsed : 0);
        if (std::llabs(position - expected) > JumpMs) emit Seeked(qlonglong{position} * 1000);
    }
    LastStatus = status;
    LastTrackId = trackId;
    LastPositionMs = position;
}

void TMprisService::AnnounceSeek(std::int32_t ms) {
    LastPositionMs = ms;
    SinceLastPosition.restart();
    emit Seeked(qlonglong{ms} * 1000);
}

#include "Mpris.moc"
