#pragma once
// The library: the audio files below one root folder and the folders that hold them directly,
// in library order, as a plain value built once by the scan. Keys use "/": a file key is
// "./Rock/Band/01 Intro.mp3", its folder key "./Rock/Band", the root's own key ".".
#include <QString>
#include <QStringList>
#include <cstdint>
#include <utility>
#include <vector>

// A directory the scan read (holding audio files or not) and its modification time in ns as it
// was read: the check reads a directory again only when this time changed.
struct TDirStamp {
    QString Key; // "." or "./Rock/Band"
    std::int64_t MTime = 0;
};

class TLibrary {
public:
    TLibrary() = default;
    // From the scan's paths below the root (each beginning with "/"), already in library order
    // (natural order when naturalOrder).
    TLibrary(QString root, const QStringList& sortedPaths, bool naturalOrder = false);
    // From its parts as Order() and the folders give them (a snapshot): nothing is parsed.
    TLibrary(QString root, QStringList folderKeys, std::vector<QStringList> names,
             std::vector<std::uint32_t> order);

    // Paths in library order, each exact duplicate kept once.
    static QStringList SortPaths(std::vector<QString> paths, bool naturalOrder);
    // The same files in the other order: a pure function of the keys, no disk read.
    TLibrary Resorted(bool naturalOrder) const;

    // The root exactly as it was given (with or without a trailing "/"). The settings set it
    // before the first scan, so it may name a root that was never scanned.
    QString RootFolder;
    // Numbers in names were compared by their value.
    bool NaturalOrder = false;

    // Every file's key ("./Rock/Band/01 Intro.mp3") in library order, made when asked.
    QStringList Files() const;
    const QStringList& Folders() const { return FolderKeys; }
    std::int32_t FolderCount() const { return static_cast<std::int32_t>(FolderKeys.size()); }
    std::int32_t TotalFileCount() const { return static_cast<std::int32_t>(Order.size()); }
    // The library order as the folder of each file: the n-th time a folder comes, its n-th file.
    const std::vector<std::uint32_t>& FileOrder() const { return Order; }

    // The names (with extension, no path) of the files directly in a folder, in library order;
    // an empty list for an index outside the library.
    const QStringList& FilesInFolder(int folderIndex) const;
    std::int32_t FileCountInFolder(int folderIndex) const;
    // Each folder key without its leading "./" ("." stays), in library order.
    QStringList FolderDisplayList() const;
    // The folder's absolute path; the root's is "<root>/.". Empty outside the library.
    QString FolderPath(int folderIndex) const;
    // The file's absolute path; empty outside the library.
    QString FilePath(int folderIndex, int fileIndex) const;
    // Where an absolute path is in the library: (folder, file), or (-1, -1).
    std::pair<int, int> Find(const QString& path) const;

    // The folder with this key, or -1.
    int IndexOfFolder(const QString& key) const;
    QString FolderKey(int folderIndex) const {
        return folderIndex < 0 || folderIndex >= FolderKeys.size() ? QString()
                                                                   : FolderKeys.at(folderIndex);
    }
    // A place carried across a change of the library: the same folder and file by name. A file
    // gone leaves the folder alone ((folder, -1)); a folder gone gives (-1, -1).
    std::pair<int, int> FindByName(const QString& folderKey, const QString& fileName) const;

    // This library with one more file (a key as Files() has them) in its place in the order.
    // Its folder's time is cleared, so that the next check reads that folder again.
    TLibrary WithFile(const QString& key) const;

    // Every directory the scan read, in the order it read them.
    const std::vector<TDirStamp>& Tree() const { return Dirs; }
    void SetTree(std::vector<TDirStamp> tree) { Dirs = std::move(tree); }

private:
    QStringList FolderKeys;
    std::vector<std::uint32_t> Order;
    // Per folder its files' names. A folder's files need not be neighbours in the order: under
    // the collation "./A/a.mp3", "./A/B/y.mp3", "./A/z.mp3" interleave.
    std::vector<QStringList> Names;
    std::vector<TDirStamp> Dirs;
};
