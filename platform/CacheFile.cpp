#include "platform/CacheFile.h"

#include "platform/FileName.h"
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QString CacheFolder() {
    return XdgFolder("XDG_CACHE_HOME", "/.cache") + QStringLiteral("velodra/");
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
