#include "ui/DesktopNotify.h"

#include "VelodraAppId.h"
#include "platform/FileName.h"
#include "ui/Desktop.h"
#include "ui/MprisRules.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>

namespace {

// This run's notification: its id once the service has answered, and the texts that wait for
// that answer (so two quick track changes still leave one notification).
struct TNotifyState {
    std::uint32_t Id = 0;
    bool Waiting = false;
    std::optional<std::array<QString, 3>> Next; // title, information, picture
};
TNotifyState& State() {
    static TNotifyState state;
    return state;
}

void Send(const QString& title, const QString& info, const QString& image) {
    QDBusConnection bus = SessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call.setArguments(NotifyArguments(State().Id, title, info, image));
    State().Waiting = true;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), qApp);
    QObject::connect(
        watcher, &QDBusPendingCallWatcher::finished, qApp, [](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            const QDBusPendingReply<uint> reply = *w;
            TNotifyState& s = State();
            if (reply.isValid()) s.Id = reply.value();
            s.Waiting = false;
            if (s.Next) {
                const auto [nextTitle, nextInfo, nextImage] = *std::exchange(s.Next, std::nullopt);
                Send(nextTitle, nextInfo, nextImage);
            }
        });
}

} // namespace

QVariantList NotifyArguments(std::uint32_t replacesId, const QString& title, const QString& info,
                             const QString& image) {
    const QString body = DisplayFileName(info).toHtmlEscaped();
    QVariantMap hints{
        {QStringLiteral("desktop-entry"), QString::fromLatin1(VelodraAppId)},
    };
    // A file: URL, as the notification protocol asks (a bare name would be a theme icon's).
    if (!image.isEmpty()) hints.insert(QStringLiteral("image-path"), FileUrl(image));
    return {QStringLiteral("Velodra"),
            QVariant::fromValue(uint{replacesId}),
            QString::fromLatin1(VelodraAppId),
            DisplayFileName(title).trimmed(),
            body,
            QStringList(),
            hints,
            DesktopNotifyTimeoutMs};
}

void DesktopNotify(const QString& title, const QString& info, const QString& image) {
    if (State().Waiting) {
        State().Next = {title, info, image};
        return;
    }
    Send(title, info, image);
}
