// The main of every gui test program: one QApplication, named as the program is, made before
// the first test and gone after the last; waits process its events.
#include "support/Poll.h"

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {
// The offscreen platform cannot fade or raise windows and says so on every call.
void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.startsWith(QStringLiteral("This plugin does not support"))) return;
    std::fprintf(stderr, "%s\n", qPrintable(msg));
    if (type == QtFatalMsg) std::abort();
}
} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The library snapshot goes to a cache of this run, never the user's.
    const QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    qInstallMessageHandler(QuietHandler);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velodra"));
    testsupport::PollHook() = [] { QCoreApplication::processEvents(); };
    const int rc = RUN_ALL_TESTS();
    testsupport::PollHook() = nullptr;
    return rc;
}
