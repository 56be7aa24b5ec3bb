#include "platform/CacheFile.h"

#include "platform/FileName.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <pwd.h>
#include <unistd.h>

QString CacheFolder() {
    QByteArray folder = qgetenv("XDG_CACHE_HOME");
    if (!folder.startsWith('/')) { // unset, empty or relative: ignored
        folder = qgetenv("HOME");
        if (folder.isEmpty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) folder = pw->pw_dir;
        }
        if (folder.endsWith('/')) folder.chop(1);
        folder += "/.cache";
    }
    if (!folder.endsWith('/')) folder += '/';
    return DecodeFileName(folder + "velodra/");
}

bool WriteFileAtomically(const QString& path, const QByteArray& data) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0 && !QDir().mkpath(path.left(slash))) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> ReadWholeFile(const QString& path, qint64 maxSize) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxSize) return std::nullopt;
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return data;
}
