#include "ui/Desktop.h"

#include "VelodraAppId.h"
#include "platform/FileName.h"
#include "platform/HandOverSocket.h"
#include "player/Session.h"
#include "ui/Mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <sys/stat.h>

namespace {

// The bus side of the hand-over: the application id as the bus name.
class THandOverAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velodra.Velodra.HandOver")

public:
    explicit THandOverAdaptor(QObject* receiver, std::function<void(THandOverRequest)> take)
        : QDBusAbstractAdaptor(receiver), Take(std::move(take)) {}

public slots:
    // Comes to the front.
    void Activate() { Take({}); }
    // Comes to the front and opens the argument (a name's bytes: names need not be UTF-8).
    void Open(const QByteArray& argument) { Take({DecodeFileName(argument)}); }

private:
    std::function<void(THandOverRequest)> Take;
};

class TDesktopServices : public QObject {
public:
    TDesktopServices(TSession& session, const QString& lockPath)
        : Session(session), Mpris(new TMprisService(session, this)),
          Socket(new THandOverServer(HandOverSocketPath(lockPath), this)) {
        auto take = [this](const THandOverRequest& request) {
            // Answered first, handled from the event loop.
            QMetaObject::invokeMethod(
                &Session, [this, request] { Session.HandOver(request.Argument); },
                Qt::QueuedConnection);
        };
        connect(Socket, &THandOverServer::Received, this, take);
        QDBusConnection bus = SessionBus();
        if (!bus.isConnected()) return;
        Mpris->Register(bus);
        auto* receiver = new QObject(this);
        new THandOverAdaptor(receiver, take);
        if (bus.registerObject(QString::fromLatin1(HandOverObjectPath), receiver,
                               QDBusConnection::ExportAdaptors) &&
            bus.registerService(QString::fromLatin1(VelodraAppId)))
            Bus = bus;
        else
            bus.unregisterObject(QString::fromLatin1(HandOverObjectPath));
    }
    ~TDesktopServices() override {
        if (!Bus) return;
        Bus->unregisterService(QString::fromLatin1(VelodraAppId));
        Bus->unregisterObject(QString::fromLatin1(HandOverObjectPath));
    }

private:
    TSession& Session;
    TMprisService* Mpris;
    THandOverServer* Socket;
    std::optional<QDBusConnection> Bus;
};

bool HandOverOverBus(const THandOverRequest& request, int timeoutMs) {
    QDBusConnection bus = SessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(VelodraAppId), QString::fromLatin1(HandOverObjectPath),
        QString::fromLatin1(HandOverInterface),
        request.Argument ? QStringLiteral("Open") : QStringLiteral("Activate"));
    if (request.Argument) call << EncodeFileName(*request.Argument);
    call.setAutoStartService(false);
    // Without a running copy on this bus the bus itself answers at once (no such name).
    return bus.call(call, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool SessionBusExpected() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return true;
    // The per-user bus of systemd sessions, which libdbus finds by itself.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat st {};
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}

QDBusConnection SessionBus() {
    if (SessionBusExpected()) return QDBusConnection::sessionBus();
    return QDBusConnection(QString());
}

bool PlatformPlacesWindows(const QString& platformName) {
    return !platformName.startsWith(QLatin1String("wayland"));
}

bool PlatformPlacesWindows() {
    return PlatformPlacesWindows(QGuiApplication::platformName());
}

std::unique_ptr<QObject> StartDesktopServices(TSession& session, const QString& lockPath) {
    return std::make_unique<TDesktopServices>(session, lockPath);
}

bool HandOverToRunningCopy(const std::optional<QString>& argument, const QString& lockPath,
                           int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const THandOverRequest request{argument};
    if (HandOverOverBus(request, timeoutMs)) return true;
    return SendHandOverSocket(HandOverSocketPath(lockPath), request,
                              static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
}

#include "Desktop.moc"
