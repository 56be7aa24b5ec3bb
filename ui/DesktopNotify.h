#pragma once
// The pop-up's texts through the desktop's notification service, where the pop-up itself can't
// be placed (Wayland): one notification per run at a time, each new one replacing the last,
// gone after the pop-up's eight seconds. Nothing is shown, and nothing said, without a bus or
// a service.
#include <QString>
#include <QVariantList>
#include <cstdint>

inline constexpr int DesktopNotifyTimeoutMs = 8000;

// The arguments of org.freedesktop.Notifications.Notify: the application's name, the id it
// replaces (0: none), the application's icon, the title as summary, the information line as
// body (escaped: servers may read the body as markup), no actions, the desktop entry as hint,
// and the timeout; the file's picture (a path, empty: none) as the image-path hint's URL.
QVariantList NotifyArguments(std::uint32_t replacesId, const QString& title, const QString& info,
                             const QString& image = QString());

// Sends (or, while the previous call waits for its id, queues) a notification.
void DesktopNotify(const QString& title, const QString& info, const QString& image = QString());
