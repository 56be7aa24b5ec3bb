// Program entry: one copy per user, the two windows, the message loop.
#include "Arguments.h"
#include "VelodraAppId.h"
#include "platform/EndSignals.h"
#include "platform/Error.h"
#include "platform/FileName.h"
#include "platform/HandOverSocket.h"
#include "platform/IniFile.h"
#include "platform/InstanceLock.h"
#include "player/Session.h"
#include "player/UFormPlayer.h"
#include "ui/Desktop.h"
#include "ui/Language.h"
#include "ui/MessageBox.h"
#include "ui/UAbout.h"
#include "ui/UFormVelodra.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QSessionManager>
#include <cstdio>
#include <memory>

namespace {
// The window's close lets go of the single-instance lock and the hand-over socket before
// anything in the close can wait: a copy held up on its way out (a device stuck in the kernel)
// never keeps a later start from running.
class TReleaseOnClose : public QObject {
public:
    explicit TReleaseOnClose(QObject* desktop) : Desktop(desktop) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Close) {
            if (auto* socket = Desktop ? Desktop->findChild<THandOverServer*>() : nullptr)
                socket->Close();
            ReleaseInstanceLock();
        }
        return QObject::eventFilter(watched, e);
    }

private:
    QObject* Desktop;
};

// The installed icon from the desktop's theme; our own sizes where it has none (a build tree).
QIcon AppIcon() {
    QIcon bundled;
    for (QDirIterator it(QStringLiteral(":/appicon")); it.hasNext();)
        bundled.addFile(it.next());
    return QIcon::fromTheme(QString::fromLatin1(VelodraAppId), bundled);
}
} // namespace

int main(int argc, char** argv) {
    // Arguments are file-name bytes: carried losslessly. Help and version need no window, and
    // no lock: they answer also while another copy runs.
    const QStringList arguments = DecodeArguments(argc, argv);
    TCommandLine line = ParseCommandLine(arguments, VersionText(), SettingsFileName());
    if (!line.Print.isEmpty()) {
        const QCoreApplication app(argc, argv);
        InstallTranslations();
        line = ParseCommandLine(arguments, VersionText(), SettingsFileName()); // translated
        std::fputs(line.Print.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const auto warnIgnored = [&line] {
        for (const QString& extra : line.Ignored)
            std::fprintf(
                stderr, "velodra: %s\n",
                EncodeFileName(QCoreApplication::translate(
                                   "TCommandLine", "only the first argument is used; ignored: %1")
                                   .arg(QuotedStr(extra)))
                    .constData());
    };
    const QStringList& args = line.Args;
    // A second copy hands its folder (or just a wake-up) to the running one, then leaves
    // quietly with 0, answered or not.
    if (!AcquireInstanceLock()) {
        const QCoreApplication app(argc, argv);
        InstallTranslations();
        warnIgnored();
        HandOverToRunningCopy(args.isEmpty() ? std::nullopt
                                             : std::optional(AbsoluteFileName(args.first())),
                              TInstanceLock::DefaultPath());
        return 0;
    }

    QApplication app(argc, argv);
    // Before any window: the forms take their texts as they are set up.
    InstallTranslations();
    InstallAccessibleRoles();
    warnIgnored();
    QApplication::setApplicationName(QStringLiteral("Velodra"));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(VelodraAppId));
    QApplication::setWindowIcon(AppIcon());
    QApplication::setQuitOnLastWindowClosed(false); // the close sequence quits

    auto formVelodra = std::make_unique<TFormVelodra>();
    formVelodra->SetCommandLine(args);
    SetMessageHandler([w = formVelodra.get()](const TMessage& m) {
        ShowMessageBox(m, [w](const QString& text) { w->ShowStatus(text); });
    });
    auto formPlayer = std::make_unique<TFormPlayer>();
    auto session = std::make_unique<TSession>(*formPlayer);
    formVelodra->SetSession(session.get());
    // Media controls and the hand-over; they go before the windows.
    auto desktop = StartDesktopServices(*session, TInstanceLock::DefaultPath());
    TReleaseOnClose releaseOnClose(desktop.get());
    formVelodra->installEventFilter(&releaseOnClose);
    // Log-out, shutdown and kill close the program as its window does; the session manager's
    // save request saves what the close would.
    TEndSignals endSignals([w = formVelodra.get()](int) { w->EndSession(); });
    QObject::connect(
        &app, &QGuiApplication::commitDataRequest, formVelodra.get(),
        [w = formVelodra.get()](QSessionManager&) { w->SaveSession(); }, Qt::DirectConnection);
    formVelodra->show();
    const int rc = QApplication::exec();
    desktop.reset();
    SetMessageHandler({});
    // Reverse order of creation: the session, then the player (and its audio device) go first.
    formVelodra->SetSession(nullptr);
    session.reset();
    formPlayer.reset();
    formVelodra.reset();
    return rc;
}
