// The hand-over socket: its messages (and what it makes of broken ones), a real server and
// client, the bounds of a client that nobody answers, and a flood with no descriptor left.
#include "platform/FileName.h"
#include "platform/HandOverSocket.h"
#include "support/Poll.h"
#include "support/TestAudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QtEndian>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::TTempDir;

QByteArray Frame(const QByteArray& payload, std::optional<quint32> length = std::nullopt) {
    QByteArray out(4, '\0');
    qToBigEndian(length.value_or(static_cast<quint32>(payload.size())), out.data());
    return out + payload;
}

TEST(HandOverMessage, RoundTrips) {
    const THandOverRequest requests[] = {
        {},
        {QStringLiteral("/home/me/Music")},
        {QStringLiteral("relative is sent as given")},
        {DecodeFileName(QByteArray("/m/caf\xe9"))}, // not UTF-8: byte for byte
        {QString()},                                // an empty argument is still an argument
    };
    for (const THandOverRequest& r : requests) {
        bool complete = false;
        EXPECT_EQ(DecodeHandOver(EncodeHandOver(r), complete), r);
        EXPECT_TRUE(complete);
    }
    EXPECT_EQ(EncodeHandOver({DecodeFileName(QByteArray("/m/caf\xe9"))}),
              Frame(QByteArray("O/m/caf\xe9")));
}

TEST(HandOverMessage, WaitsForTheRestOfAMessage) {
    const QByteArray whole = EncodeHandOver({QStringLiteral("/music")});
    for (qsizetype n = 0; n < whole.size(); ++n) {
        bool complete = true;
        EXPECT_EQ(DecodeHandOver(whole.left(n), complete), std::nullopt) << n;
        EXPECT_FALSE(complete) << n;
    }
}

TEST(HandOverMessage, RefusesWhatIsNoMessage) {
    const QByteArray broken[] = {
        Frame(""),                     // no kind
        Frame("X/music"),              // unknown kind
        Frame("Aextra"),               // "come to the front" carries nothing
        Frame("O/music") + "trailing", // bytes after the end
        Frame("O", 64 * 1024 + 1),     // longer than any folder name
        Frame("O", 0xFFFFFFFFu),       // a length that would make it wait forever
        Frame(QByteArray("O/etc/hostname") + '\0' + ".mp3"), // cut at the NUL: another name
    };
    for (const QByteArray& b : broken) {
        bool complete = false;
        EXPECT_EQ(DecodeHandOver(b, complete), std::nullopt) << b.toHex().toStdString();
        EXPECT_TRUE(complete) << b.toHex().toStdString();
    }
}

TEST(HandOverMessage, SocketBesideTheLock) {
    EXPECT_EQ(HandOverSocketPath("/run/user/1000/Velodra.lock"), "/run/user/1000/Velodra.socket");
    EXPECT_EQ(HandOverSocketPath("/tmp/Velodra-1000.lock"), "/tmp/Velodra-1000.socket");
}

class HandOverSocket : public ::testing::Test {
protected:
    // Runs the client on a thread while this one serves events; the client's result.
    bool Send(const QString& path, const THandOverRequest& r, int timeoutMs, qint64* ms = nullptr) {
        std::atomic<int> result{-1};
        QElapsedTimer clock;
        clock.start();
        std::thread client([&] { result = SendHandOverSocket(path, r, timeoutMs) ? 1 : 0; });
        while (result < 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        client.join();
        if (ms) *ms = clock.elapsed();
        QCoreApplication::processEvents();
        return result == 1;
    }
    // A socket bound at Path, as a copy leaves it behind, or one connected to it.
    int BoundSocket(bool bind = true) const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", qPrintable(Path));
        const auto* a = reinterpret_cast<sockaddr*>(&addr);
        EXPECT_EQ(bind ? ::bind(fd, a, sizeof addr) : ::connect(fd, a, sizeof addr), 0);
        return fd;
    }
    TTempDir Dir;
    QString Path = QString::fromStdString(Dir / "Velodra.socket");
};

TEST_F(HandOverSocket, DeliversRequestsAndAnswers) {
    // A stale socket of a copy that died is replaced.
    ::close(BoundSocket());
    THandOverServer server(Path);
    ASSERT_TRUE(server.Listening());
    std::vector<THandOverRequest> got;
    QObject::connect(&server, &THandOverServer::Received,
                     [&](const THandOverRequest& r) { got.push_back(r); });
    const THandOverRequest folder{DecodeFileName(QByteArray("/m/caf\xe9"))};
    EXPECT_TRUE(Send(Path, folder, 2000));
    EXPECT_TRUE(Send(Path, {}, 2000));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], folder);
    EXPECT_EQ(got[1], THandOverRequest{});
    server.Close(); // closed, its socket goes: the next start makes its own
    EXPECT_FALSE(QFileInfo::exists(Path));
    EXPECT_TRUE(THandOverServer(Path).Listening());
}

TEST_F(HandOverSocket, AFloodIsAnsweredOnceDescriptorsAreFreeAgain) {
    THandOverServer server(Path);
    int received = 0;
    QObject::connect(&server, &THandOverServer::Received, [&] { ++received; });
    // More clients than are served at once, each with its message sent, and then no descriptor
    // left to take them with: the socket stays, and they wait.
    std::vector<int> clients(24);
    for (int& fd : clients)
        ASSERT_EQ(::write(fd = BoundSocket(false), EncodeHandOver({}).constData(), 5), 5);
    rlimit normal{};
    getrlimit(RLIMIT_NOFILE, &normal);
    // At the lowest free number the limit leaves none to open (at 0 it would stop poll() too).
    const int lowest = ::dup(0);
    ::close(lowest);
    const rlimit none{static_cast<rlim_t>(lowest), normal.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
    testsupport::WaitFor([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(QFileInfo::exists(Path));
    setrlimit(RLIMIT_NOFILE, &normal);
    EXPECT_TRUE(testsupport::WaitFor([&] { return received == 24; }, std::chrono::seconds(10)));
    // A server made while none are free listens once they are.
    setrlimit(RLIMIT_NOFILE, &none);
    THandOverServer late(Path + "2");
    setrlimit(RLIMIT_NOFILE, &normal);
    EXPECT_FALSE(late.Listening());
    EXPECT_TRUE(Send(Path + "2", {}, 5000));
    for (const int fd : clients)
        ::close(fd);
}

TEST_F(HandOverSocket, NobodyListeningEndsWithinItsTime) {
    qint64 ms = 0;
    EXPECT_FALSE(Send(Path, {}, 300, &ms)); // no socket at all
    EXPECT_LT(ms, 1000);
    testsupport::WriteFile(Dir / "Velodra.socket", "not a socket");
    EXPECT_FALSE(Send(Path, {}, 300, &ms)); // something else in its place is never used
    EXPECT_LT(ms, 1000);
}

TEST_F(HandOverSocket, AServerThatNeverAnswersEndsWithinItsTime) {
    // Listens, but its events are never served: it accepts nothing and answers nothing.
    const int fd = BoundSocket();
    ASSERT_EQ(::listen(fd, 4), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(SendHandOverSocket(Path, {QStringLiteral("/music")}, 400));
    EXPECT_LT(clock.elapsed(), 1000);
    ::close(fd);
}

} // namespace
