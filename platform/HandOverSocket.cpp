#include "platform/HandOverSocket.h"

#include "platform/FileName.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {
constexpr qsizetype MaxPayload = 64 * 1024; // far above any folder name the system allows
constexpr int HeaderSize = 4;
constexpr int ClientPatienceMs = 2000; // a connection that says nothing is dropped after this
// A second start sends one short message: a few at a time are plenty, and the rest wait in the
// kernel's backlog, so a flood of connections costs this process no more descriptors.
constexpr int MaxClients = 16;
constexpr int Backlog = 64;
constexpr int RetryMs = 250;
const QByteArray Answer = QByteArrayLiteral("OK");

bool OwnSocket(const QString& path) {
    struct stat st {};
    return ::lstat(EncodeFileName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == ::getuid();
}
// Shortages that pass: descriptors, buffers, memory.
bool Shortage(int err) {
    return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM;
}
} // namespace

QByteArray EncodeHandOver(const THandOverRequest& request) {
    const QByteArray payload =
        request.Argument ? 'O' + EncodeFileName(*request.Argument) : QByteArrayLiteral("A");
    QByteArray out(HeaderSize, '\0');
    qToBigEndian(static_cast<quint32>(payload.size()), out.data());
    return out + payload;
}

std::optional<THandOverRequest> DecodeHandOver(const QByteArray& data, bool& complete) {
    complete = false;
    if (data.size() < HeaderSize) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(data.constData());
    complete = true;
    if (length == 0 || length > MaxPayload) return std::nullopt;
    if (data.size() < HeaderSize + qsizetype{length}) {
        complete = false;
        return std::nullopt;
    }
    if (data.size() > HeaderSize + qsizetype{length}) return std::nullopt;
    const QByteArray payload = data.mid(HeaderSize);
    if (payload == "A") return THandOverRequest{};
    // A name holds no NUL: one cut there would name another place.
    if (payload.front() == 'O' && !payload.contains('\0'))
        return THandOverRequest{DecodeFileName(payload.mid(1))};
    return std::nullopt;
}

QString HandOverSocketPath(const QString& lockPath) {
    const QString suffix = QStringLiteral(".lock");
    const QString base = lockPath.endsWith(suffix) ? lockPath.chopped(suffix.size()) : lockPath;
    return base + QStringLiteral(".socket");
}

THandOverServer::THandOverServer(const QString& path, QObject* parent)
    : QObject(parent), Path(path), Retry(new QTimer(this)) {
    Retry->setSingleShot(true);
    Retry->setInterval(RetryMs);
    connect(Retry, &QTimer::timeout, this, &THandOverServer::Resume);
    if (!Listen() && Shortage(errno)) Retry->start();
}

THandOverServer::~THandOverServer() {
    Close();
}

void THandOverServer::Close() {
    Retry->stop();
    if (Fd < 0) return;
    delete Notifier;
    Notifier = nullptr;
    ::close(std::exchange(Fd, -1));
    // Only our own socket: the path may have been taken over since.
    const QByteArray name = EncodeFileName(Path);
    struct stat st {};
    if (::lstat(name.constData(), &st) == 0 && st.st_dev == Device && st.st_ino == Inode)
        ::unlink(name.constData());
}

bool THandOverServer::Listening() const {
    return Fd >= 0;
}

bool THandOverServer::Listen() {
    const QByteArray name = EncodeFileName(Path);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (name.isEmpty() || name.size() >= qsizetype{sizeof addr.sun_path}) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::copy(name.begin(), name.end(), addr.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    // Only the holder of the lock gets here: a socket left by a copy that died is stale.
    ::unlink(name.constData());
    // Nobody can connect before listen(), so the mode is set in time.
    struct stat st {};
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        ::chmod(name.constData(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, Backlog) != 0 ||
        ::lstat(name.constData(), &st) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err;
        return false;
    }
    Fd = fd;
    Device = st.st_dev;
    Inode = st.st_ino;
    Notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &THandOverServer::AcceptPending);
    return true;
}

void THandOverServer::AcceptPending() {
    while (Clients < MaxClients) {
        const int fd = ::accept4(Fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            Serve(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        // Out of descriptors, most likely: the connection stays in the backlog, and asking
        // again at once would only spin.
        break;
    }
    Notifier->setEnabled(false);
    if (Clients < MaxClients) Retry->start();
}

void THandOverServer::Resume() {
    if (Fd < 0) {
        if (!Listen() && Shortage(errno)) Retry->start();
    } else {
        Notifier->setEnabled(Clients < MaxClients);
    }
}

void THandOverServer::Serve(int fd) {
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
        delete socket;
        ::close(fd);
        return;
    }
    ++Clients;
    connect(socket, &QObject::destroyed, this, [this] {
        --Clients;
        if (!Retry->isActive()) Notifier->setEnabled(true);
    });
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(ClientPatienceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        bool complete = false;
        const auto request = DecodeHandOver(*buffer, complete);
        if (!complete) return;
        if (!request) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->write(Answer);
        socket->flush();
        socket->disconnectFromServer();
        emit Received(*request);
    });
}

bool SendHandOverSocket(const QString& path, const THandOverRequest& request, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    const QByteArray message = EncodeHandOver(request);
    auto left = [&] { return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)); };
    while (!deadline.hasExpired()) {
        if (OwnSocket(path)) {
            QLocalSocket socket;
            socket.connectToServer(path);
            if (socket.waitForConnected(left())) {
                socket.write(message);
                socket.waitForBytesWritten(left());
                QByteArray answer;
                while (answer.size() < Answer.size() && socket.waitForReadyRead(left()))
                    answer += socket.readAll();
                // Connected but unanswered: the running copy is stuck; asking again won't help.
                return answer.startsWith(Answer);
            }
        }
        QThread::msleep(static_cast<unsigned long>(std::min(50, left())));
    }
    return false;
}
