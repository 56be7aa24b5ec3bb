// The main of every unit test program: one QCoreApplication, made before the first test and
// gone after the last, for the tests whose code answers through Qt's event loop (the picture
// loader, the hand-over socket); waits process its events.
#include "support/Poll.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The library snapshot goes to a cache of this run, never the user's.
    const QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    testsupport::PollHook() = [] { QCoreApplication::processEvents(); };
    const int rc = RUN_ALL_TESTS();
    testsupport::PollHook() = nullptr;
    return rc;
}
