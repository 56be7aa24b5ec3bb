#pragma once
// Files under the user's cache folder: what is kept there can be lost at any time and costs only
// the work of making it again.
#include <QByteArray>
#include <QString>
#include <optional>

// $XDG_CACHE_HOME/velodra/, else ~/.cache/velodra/ (with the trailing "/").
QString CacheFolder();
// Writes data under a temporary name and renames it over path, making the folder first: a
// reader sees the old file or the new one, never half of one. False on any failure.
bool WriteFileAtomically(const QString& path, const QByteArray& data);
// The whole file, or nothing when it can't be read or is larger than maxSize.
std::optional<QByteArray> ReadWholeFile(const QString& path, qint64 maxSize);
