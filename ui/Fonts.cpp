#include "ui/Fonts.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace {

// Where Debian's fonts-wine puts its files (and where other packagings have put them).
const char* const TahomaFolders[] = {
    "/usr/share/wine/fonts",
    "/usr/share/fonts/truetype/wine",
    "/usr/share/fonts/wine",
    "/usr/lib/wine/fonts",
};

bool HasFamily(const QString& family) {
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

QString LoadTahoma() {
    if (HasFamily(QStringLiteral("Tahoma"))) return QStringLiteral("Tahoma");
    QString family;
    for (const char* folder : TahomaFolders) {
        const QDir dir(QString::fromUtf8(folder));
        // The bold face is a file of its own; without it Qt would embolden the regular one.
        for (const char* name : {"tahoma.ttf", "tahomabd.ttf"}) {
            const QString path = dir.filePath(QString::fromUtf8(name));
            if (!QFile::exists(path)) continue;
            const int id = QFontDatabase::addApplicationFont(path);
            if (id < 0) continue;
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty() && family.isEmpty()) family = families.first();
        }
        if (!family.isEmpty()) return family;
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QString FindSerif() {
    for (const char* name : {"Times New Roman", "Liberation Serif", "DejaVu Serif"}) {
        const QString family = QString::fromUtf8(name);
        if (HasFamily(family)) return family;
    }
    QFont probe;
    probe.setStyleHint(QFont::Serif);
    return probe.defaultFamily();
}

QFont MakeFont(const QString& family, int pixelSize, bool bold) {
    QFont font(family);
    font.setPixelSize(pixelSize > 0 ? pixelSize : 1);
    font.setBold(bold);
    return font;
}

} // namespace

// Both need the application object (the font database lives in it); found once.
QString DisplayFamily() {
    static const QString family = LoadTahoma();
    return family;
}

QString SerifFamily() {
    static const QString family = FindSerif();
    return family;
}

QFont DisplayFont(int pixelSize, bool bold) {
    QFont font = MakeFont(DisplayFamily(), pixelSize, bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QFont SerifFont(int pixelSize) {
    QFont font = MakeFont(SerifFamily(), pixelSize, false);
    font.setStyleHint(QFont::Serif);
    return font;
}
