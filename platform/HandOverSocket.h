#pragma once
// A second start's message to the running copy over a local socket beside the instance lock,
// for sessions without a bus. One message per connection: a 4-byte big-endian length, then
// 'A' (just come to the front) or 'O' and a folder name's bytes; the running copy answers "OK"
// once it has taken the message.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <optional>

class QSocketNotifier;
class QTimer;

// What a second start asks: nothing but to come to the front, or to open an argument.
struct THandOverRequest {
    std::optional<QString> Argument;
    bool operator==(const THandOverRequest&) const = default;
};

QByteArray EncodeHandOver(const THandOverRequest& request);
// A complete message, or nullopt while it is incomplete (Complete false) or when it is not a
// message at all (Complete true): too long, an unknown kind, bytes after its end.
std::optional<THandOverRequest> DecodeHandOver(const QByteArray& data, bool& complete);

// The socket beside a lock file: "Velodra.lock" -> "Velodra.socket".
QString HandOverSocketPath(const QString& lockPath);

// Listens while it lives; made only by the holder of the instance lock, so the path is replaced
// (a socket found there is stale) and made again when it could not be at first. Only this user
// can connect. Running out of descriptors never closes it: connections then wait in the
// backlog and are taken once descriptors are free; a few are served at a time, each dropped
// when it says nothing for a while.
class THandOverServer : public QObject {
    Q_OBJECT

public:
    explicit THandOverServer(const QString& path, QObject* parent = nullptr);
    ~THandOverServer() override;
    bool Listening() const;
    // Stops listening and removes the socket: the closing copy takes no more requests, and the
    // next start makes its own.
    void Close();

signals:
    void Received(const THandOverRequest& request);

private:
    bool Listen();
    void AcceptPending();
    void Serve(int fd);
    void Resume();

    QString Path;
    int Fd = -1;
    quint64 Device = 0, Inode = 0; // of the socket file made, to remove only that one
    QSocketNotifier* Notifier = nullptr;
    QTimer* Retry;
    int Clients = 0;
};

// Sends request and waits for the answer, retrying the connection (the running copy may still
// be starting) until timeoutMs has passed; true once the running copy has answered. Refuses a
// path that is not this user's own socket.
bool SendHandOverSocket(const QString& path, const THandOverRequest& request, int timeoutMs);
