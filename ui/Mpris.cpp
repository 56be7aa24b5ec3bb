#include "ui/Mpris.h"

#include "VelodraAppId.h"
#include "platform/ErrorReport.h"
#include "platform/FileName.h"
#include "player/AudioTypes.h"
#include "player/Session.h"
#include "ui/MprisRules.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QMetaProperty>
#include <QStringList>

namespace {

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
    QStringList SupportedMimeTypes() const { return AudioMimeTypes({.Wma = true, .Other = true}); }

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

// The properties of both interfaces, in place of QtDBus's own handling, which converts a value of
// the wrong type ("0.25" for Volume, "yes" for Shuffle) where the bus's rule is to refuse it. It
// adds nothing to the introspection: QtDBus describes the standard interface itself.
class TMprisPropertiesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    Q_CLASSINFO("D-Bus Introspection", "")

public:
    TMprisPropertiesAdaptor(TMprisService* service, QList<QObject*> interfaces)
        : QDBusAbstractAdaptor(service), Service(service), Interfaces(std::move(interfaces)) {}

public slots:
    QDBusVariant Get(const QString& interfaceName, const QString& name) {
        const auto [object, property] = Find(interfaceName, name);
        if (!object) return {};
        return QDBusVariant(property.read(object));
    }

    QVariantMap GetAll(const QString& interfaceName) {
        QVariantMap all;
        bool interfaceFound = false;
        for (QObject* object : Interfaces) {
            if (!interfaceName.isEmpty() && interfaceName != InterfaceOf(object)) continue;
            interfaceFound = true;
            const QMetaObject* mo = object->metaObject();
            for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
                all.insert(QString::fromLatin1(mo->property(i).name()),
                           mo->property(i).read(object));
        }
        if (!interfaceFound) UnknownInterface(interfaceName);
        return all;
    }

    void Set(const QString& interfaceName, const QString& name, const QDBusVariant& value) {
        const auto [object, property] = Find(interfaceName, name);
        if (!object) return;
        if (!property.isWritable()) {
            Refuse(QDBusError::PropertyReadOnly,
                   QStringLiteral("Property %1 is read-only").arg(name));
            return;
        }
        const QVariant v = value.variant();
        const QString wanted =
            QString::fromLatin1(QDBusMetaType::typeToSignature(property.metaType()));
        const QString given =
            v.metaType() == QMetaType::fromType<QDBusArgument>()
                ? qvariant_cast<QDBusArgument>(v).currentSignature()
                : QString::fromLatin1(QDBusMetaType::typeToSignature(v.metaType()));
        if (given != wanted) {
            Refuse(
                QDBusError::InvalidArgs,
                QStringLiteral("Property %1 takes type '%2', not '%3'").arg(name, wanted, given));
            return;
        }
        property.write(object, v);
    }

private:
    static QString InterfaceOf(const QObject* object) {
        const QMetaObject* mo = object->metaObject();
        return QString::fromLatin1(mo->classInfo(mo->indexOfClassInfo("D-Bus Interface")).value());
    }

    void UnknownInterface(const QString& interfaceName) {
        Refuse(QDBusError::UnknownInterface,
               QStringLiteral("No such interface '%1'").arg(interfaceName));
    }

    // The interface's object and its property; an error is answered where there is none.
    std::pair<QObject*, QMetaProperty> Find(const QString& interfaceName, const QString& name) {
        bool interfaceFound = false;
        for (QObject* object : Interfaces) {
            if (!interfaceName.isEmpty() && interfaceName != InterfaceOf(object)) continue;
            interfaceFound = true;
            const QMetaObject* mo = object->metaObject();
            const int index = mo->indexOfProperty(name.toUtf8().constData());
            if (index >= mo->propertyOffset()) return {object, mo->property(index)};
        }
        if (!interfaceFound) {
            UnknownInterface(interfaceName);
        } else {
            Refuse(QDBusError::UnknownProperty, QStringLiteral("No such property '%1'").arg(name));
        }
        return {nullptr, {}};
    }

    void Refuse(QDBusError::ErrorType type, const QString& text) {
        Service->AnswerError(type, text);
    }

    TMprisService* Service;
    QList<QObject*> Interfaces;
};

} // namespace

TMprisService::TMprisService(TSession& session, QObject* parent)
    : QObject(parent), Session(session), Bus(QString()) {
    new TMprisPropertiesAdaptor(this, {new TMprisRootAdaptor(this), new TMprisPlayerAdaptor(this)});
    TrackChanged();
    LastPlayer = PlayerProperties();
    // The metadata is made when the file or its picture changes, never on a timer.
    for (auto signal : {&TSession::FileChanged, &TSession::InfoChanged, &TSession::PictureChanged})
        connect(&Session, signal, this, &TMprisService::TrackChanged);
    for (auto signal : {&TSession::StateChanged, &TSession::OptionsChanged,
                        &TSession::CommandStatesChanged, &TSession::VolumeChanged})
        connect(&Session, signal, this, &TMprisService::Refresh);
    connect(&Session, &TSession::PositionMoved, this,
            [this](std::int32_t ms) { emit Seeked(qlonglong{ms} * 1000); });
    connect(&Session, &TSession::PlayStarted, this, &TMprisService::PlayStarted);
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

void TMprisService::AnswerError(QDBusError::ErrorType type, const QString& text) {
    if (calledFromDBus()) sendErrorReply(type, text);
}

void TMprisService::Raise() {
    Session.Raise();
}

void TMprisService::Quit() {
    Session.Quit();
}

void TMprisService::Play() {
    if (Session.IsPaused())
        Session.Run(TCommand::Pause); // resumes
    else if (!Session.IsPlaying())
        Session.Run(TCommand::Play);
}

void TMprisService::Pause() {
    if (Session.State() == TPlayState::Playing) Session.Run(TCommand::Pause);
}

void TMprisService::PlayPause() {
    Session.Run(Session.IsPlaying() ? TCommand::Pause : TCommand::Play);
}

void TMprisService::Stop() {
    Session.Run(TCommand::Stop);
}

void TMprisService::Next() {
    Session.Run(TCommand::NextFile);
}

void TMprisService::Previous() {
    Session.Run(TCommand::PrevFile);
}

void TMprisService::Seek(std::int64_t offsetUs) {
    const TSeekPlan plan =
        PlanSeek(CanSeek(), Session.Position(), Session.Info().Duration, offsetUs);
    if (plan.Kind == TSeekKind::SeekTo)
        Session.Seek(plan.TargetMs);
    else if (plan.Kind == TSeekKind::Next)
        Session.Run(TCommand::NextFile);
}

void TMprisService::SetPosition(const QString& trackId, std::int64_t positionUs) {
    const auto target =
        PlanSetPosition(CanSeek(), CurrentTrackId(), Session.Info().Duration, trackId, positionUs);
    if (target) Session.Seek(*target);
}

void TMprisService::OpenUri(const QString& uri) {
    TOpenUri open = PathFromUri(uri);
    if (open.Error.isEmpty() && !IsDirectory(open.Path)) {
        open.Error = Session.RefusalOf(open.Path);
        open.ErrorName = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
    }
    if (!open.Error.isEmpty()) {
        if (calledFromDBus()) sendErrorReply(open.ErrorName, ForDisplay(open.Error));
        return;
    }
    Session.OpenPath(open.Path);
}

QString TMprisService::PlaybackStatus() const {
    return PlaybackStatusName(Session.IsPlaying(), Session.IsPaused());
}

QString TMprisService::LoopStatus() const {
    return LoopStatusName(Session.Repeat());
}

void TMprisService::SetLoopStatus(const QString& status) {
    const auto repeat = RepeatFromLoopStatus(status);
    // Refused ("Track": there is no single-track repeat): the value that stays is announced.
    if (!repeat) return RefuseSet(QStringLiteral("LoopStatus"));
    Session.SetRepeat(*repeat);
}

bool TMprisService::Shuffle() const {
    return Session.Random();
}

void TMprisService::SetShuffle(bool on) {
    Session.SetRandom(on);
}

QString TMprisService::CurrentTrackId() const {
    return Track.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path();
}

void TMprisService::TrackChanged() {
    // The selected file, once its information is in: as the display shows it.
    if (Session.FileIndex() >= 0 && !Session.InfoKnown()) return;
    TMprisTrack track;
    if (Session.FileIndex() >= 0 && Session.InfoKnown()) {
        const TMediaInfo& info = Session.Info();
        track.FilePath = info.FilePath;
        track.Title = Session.TitleText();
        track.Artist = info.Artist;
        track.Album = info.Album;
        track.TrackNumber = info.Track;
        track.DurationMs = Session.FileOpen() ? info.Duration : 0;
        track.PicturePath = Session.ShownPicture();
    }
    const QVariantMap metadata = MprisMetadata(track);
    if (metadata == Track) return;
    Track = metadata;
    Refresh();
}

double TMprisService::Volume() const {
    return Session.Volume();
}

void TMprisService::SetVolume(double volume) {
    const auto v = ClampVolume(volume);
    if (!v) return RefuseSet(QStringLiteral("Volume"));
    Session.SetVolume(*v);
}

void TMprisService::SetRate(double rate) {
    // The only rate is 1.0; a rate of 0 means a pause.
    if (rate == 0.0) Pause();
}

void TMprisService::RefuseSet(const QString& property) {
    Announce({{property, PlayerProperties().value(property, 1.0)}});
}

std::int64_t TMprisService::Position() const {
    return std::int64_t{Session.Position()} * 1000;
}

bool TMprisService::CanGoNext() const {
    return Session.CommandStates().NextFile;
}
bool TMprisService::CanGoPrevious() const {
    return Session.CommandStates().PrevFile;
}
bool TMprisService::CanPlay() const {
    return Session.CommandStates().Play;
}
bool TMprisService::CanPause() const {
    return Session.CommandStates().Pause;
}
bool TMprisService::CanSeek() const {
    return Session.FileOpen() && Session.Info().Duration > 0;
}

QVariantMap TMprisService::PlayerProperties() const {
    return {{QStringLiteral("PlaybackStatus"), PlaybackStatus()},
            {QStringLiteral("LoopStatus"), LoopStatus()},
            {QStringLiteral("Shuffle"), Shuffle()},
            {QStringLiteral("Metadata"), Track},
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

void TMprisService::PlayStarted() {
    // The same file started again (Repeat of one file): the desktop can't foresee the jump.
    const QString id = CurrentTrackId();
    if (id == StartedTrackId) emit Seeked(qlonglong{Session.Position()} * 1000);
    StartedTrackId = id;
}

#include "Mpris.moc"
