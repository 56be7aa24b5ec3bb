#include "ui/Icons.h"

#include <QFile>
#include <initializer_list>

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void InitResourceOnce() {
    static const bool done = [] {
        Q_INIT_RESOURCE(velodra);
        return true;
    }();
    (void)done;
}

void InitVelodraResources() {
    InitResourceOnce();
}

namespace {

struct TSlotIcon {
    int Slot;
    std::initializer_list<const char*> ThemeNames;
};

// No theme names "playing" distinctly from "play", so slot 2 always uses our own picture.
const TSlotIcon SlotIcons[] = {
    {0, {"help-about"}},
    {1, {"media-playback-start"}},
    {2, {}},
    {3, {"media-playback-pause"}},
    {4, {"media-playback-start"}},
    {5, {"media-playback-stop"}},
    {6, {"document-open", "folder-open"}},
    {7, {"media-skip-backward"}},
    {8, {"media-seek-backward"}},
    {9, {"media-seek-forward"}},
    {10, {"media-skip-forward"}},
    {11, {"preferences-system", "configure"}},
    {13, {"window-restore"}},
    {14, {"application-exit"}},
    {16, {"audio-volume-high", "multimedia-volume-control"}},
    {17, {"image-x-generic"}},
};

const TSlotIcon* FindSlot(int slot) {
    for (const TSlotIcon& s : SlotIcons)
        if (s.Slot == slot) return &s;
    return nullptr;
}

} // namespace

QString MenuIconResource(int slot) {
    if (!FindSlot(slot)) return {};
    return QStringLiteral(":/icons/menu%1.png").arg(slot, 2, 10, QLatin1Char('0'));
}

QIcon MenuIcon(int slot) {
    const TSlotIcon* s = FindSlot(slot);
    if (!s) return {};
    for (const char* name : s->ThemeNames) {
        const QString theme = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    }
    InitVelodraResources();
    return QIcon(MenuIconResource(slot));
}

QString TrayFrameResource(int i) {
    const int frame = ((i % TrayFrameCount) + TrayFrameCount) % TrayFrameCount;
    return QStringLiteral(":/icons/tray%1.png").arg(frame);
}

QIcon TrayFrame(int i) {
    InitVelodraResources();
    return QIcon(TrayFrameResource(i));
}

QPixmap NotesPicture() {
    InitVelodraResources();
    return QPixmap(QStringLiteral(":/icons/notes.png"));
}
