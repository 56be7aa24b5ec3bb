#pragma once
// The library as one file in the cache: root, the kinds the scan took, every directory read with
// its modification time, and the files in library order. A start whose snapshot fits takes the
// library from it instead of walking the tree.
#include "player/AudioTypes.h"
#include "player/Library.h"

#include <QByteArray>
#include <QString>
#include <optional>

// Where the snapshot lives: library.snapshot in the cache folder.
QString LibrarySnapshotPath();

QByteArray EncodeSnapshot(const TLibrary& library, TAudioTypes types);
// The library the bytes hold; nothing when they are damaged, cut short, of another format
// version, or were made for another root or other kinds of file (when root is given).
std::optional<TLibrary> DecodeSnapshot(const QByteArray& bytes,
                                       const std::optional<QString>& root = std::nullopt,
                                       std::optional<TAudioTypes> types = std::nullopt);
// What a snapshot says of itself without the library: its root, kinds and order.
struct TSnapshotHead {
    QString Root;
    TAudioTypes Types;
    bool NaturalOrder = false;
};
std::optional<TSnapshotHead> DecodeSnapshotHead(const QByteArray& bytes);

// The file: written atomically (false on failure), read when it fits.
bool SaveSnapshot(const QString& path, const TLibrary& library, TAudioTypes types);
std::optional<TLibrary> LoadSnapshot(const QString& path, const QString& root, TAudioTypes types);
