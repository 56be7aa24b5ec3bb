#pragma once
// The player on the desktop: the session bus when there is one, the media-player interface
// (ui/Mpris.h), and the hand-over from a second start (over the bus, else over a socket beside
// the instance lock).
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

class TSession;

inline constexpr char HandOverObjectPath[] = "/org/velodra/Velodra";
inline constexpr char HandOverInterface[] = "org.velodra.Velodra.HandOver";

// True when the session has a bus to connect to. Without one nothing tries to connect, so no
// bus gets started behind the user's back (libdbus would launch one on X11).
bool SessionBusExpected();
// The session bus, or a connection that is not connected.
QDBusConnection SessionBus();

// Whether the windowing system lets a client place its own windows and set their opacity
// (Wayland does neither).
bool PlatformPlacesWindows(const QString& platformName);
bool PlatformPlacesWindows(); // of the running application

// The first copy's side: the media-player interface and the hand-over receiver, for as long as
// the returned object lives (it goes before the window and the player). Nothing is reported
// when the bus or a name can't be had: the player simply runs without them.
std::unique_ptr<QObject> StartDesktopServices(TSession& session, const QString& lockPath);

// The second copy's side: tells the running copy to come to the front and, with an argument,
// to open it. Bounded by timeoutMs in all; false when nobody answered.
bool HandOverToRunningCopy(const std::optional<QString>& argument, const QString& lockPath,
                           int timeoutMs = 900);
