#include "platform/HandOverSocket.h"

#include "platform/FileName.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qsizetype MaxPayload = 64 * 1024; // far above any folder name the system allows
constexpr int HeaderSize = 4;
constexpr int ClientPatienceMs = 2000; // a connection that says nothing is dropped after this
const QByteArray Answer = QByteArrayLiteral("OK");

bool OwnSocket(const QString& path) {
    struct stat st {};
    return ::lstat(EncodeFileName(path).constData(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == ::getuid();
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
    if (payload.front() == 'O') return THandOverRequest{DecodeFileName(payload.mid(1))};
    return std::nullopt;
}

QString HandOverSocketPath(const QString& lockPath) {
    const QString suffix = QStringLiteral(".lock");
    const QString base = lockPath.endsWith(suffix) ? lockPath.chopped(suffix.size()) : lockPath;
    return base + QStringLiteral(".socket");
}

THandOverServer::THandOverServer(const QString& path, QObject* parent)
    : QObject(parent), Server(new QLocalServer(this)) {
    // Only the holder of the lock gets here: a socket left by a copy that died is stale.
    QLocalServer::removeServer(path);
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!Server->listen(path)) return;
    connect(Server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = Server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(ClientPatienceMs, socket, [socket] { socket->abort(); });
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
                *buffer += socket->readAll();
                bool complete = false;
                const auto request = DecodeHandOver(*buffer, complete);
                if (!complete) return;
                if (!request) {
                    socket->abort();
                    return;
                }
                socket->write(Answer);
                socket->flush();
                socket->disconnectFromServer();
                emit Received(*request);
            });
        }
    });
}

THandOverServer::~THandOverServer() = default;

bool THandOverServer::Listening() const {
    return Server->isListening();
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
