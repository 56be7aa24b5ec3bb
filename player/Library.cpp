#include "player/Library.h"

#include "platform/Collation.h"

#include <QDir>
#include <QHash>
#include <algorithm>

namespace {
QString WithSlash(const QString& s) {
    return s.endsWith(QLatin1Char('/')) ? s : s + QLatin1Char('/');
}
} // namespace

TLibrary::TLibrary(QString root, QStringList folderKeys, std::vector<QStringList> names,
                   std::vector<std::uint32_t> order)
    : RootFolder(std::move(root)), FolderKeys(std::move(folderKeys)), Order(std::move(order)),
      Names(std::move(names)) {}

QStringList TLibrary::Files() const {
    QStringList keys;
    keys.reserve(static_cast<qsizetype>(Order.size()));
    std::vector<qsizetype> next(Names.size(), 0);
    for (const std::uint32_t f : Order)
        keys.append(FolderKeys.at(f) + QLatin1Char('/') + Names[f].at(next[f]++));
    return keys;
}

TLibrary::TLibrary(QString root, const QStringList& sortedPaths, bool naturalOrder)
    : RootFolder(std::move(root)), NaturalOrder(naturalOrder) {
    Order.reserve(static_cast<size_t>(sortedPaths.size()));
    // Folder keys are told apart by their exact text: "./Rock" and "./rock" are two folders on
    // this file system.
    QHash<QString, qsizetype> index;
    QString lastFolder;
    qsizetype last = -1;
    for (const QString& path : sortedPaths) {
        QString key;
        key.reserve(path.size() + 1);
        key.append(QLatin1Char('.')).append(path);
        const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
        // Files of one folder mostly come in runs: the index is asked only when the folder
        // changes.
        if (last < 0 || QStringView(key).left(slash) != lastFolder) {
            lastFolder = key.left(slash);
            const auto found = index.constFind(lastFolder);
            if (found != index.constEnd()) {
                last = *found;
            } else {
                last = FolderKeys.size();
                index.insert(lastFolder, last);
                FolderKeys.append(lastFolder);
                Names.emplace_back();
            }
        }
        Names[static_cast<size_t>(last)].append(key.mid(slash + 1));
        Order.push_back(static_cast<std::uint32_t>(last));
    }
}

QStringList TLibrary::SortPaths(std::vector<QString> paths, bool naturalOrder) {
    // Keys made once: 100,000 paths compared one pair at a time would collate each many times.
    const TCollation collation(QLocale(), naturalOrder);
    std::vector<TCollation::TKey> keys;
    keys.reserve(paths.size());
    for (QString& p : paths)
        keys.push_back(collation.Key(p));
    paths.clear();
    paths.shrink_to_fit();
    std::sort(keys.begin(), keys.end(), [](const TCollation::TKey& a, const TCollation::TKey& b) {
        return TCollation::CompareKeys(a, b) < 0;
    });
    QStringList out;
    out.reserve(static_cast<qsizetype>(keys.size()));
    for (TCollation::TKey& k : keys)
        if (out.isEmpty() || out.constLast() != k.Text) out.append(std::move(k.Text));
    return out;
}

TLibrary TLibrary::Resorted(bool naturalOrder) const {
    std::vector<QString> paths;
    const QStringList keys = Files();
    paths.reserve(static_cast<size_t>(keys.size()));
    for (const QString& key : keys)
        paths.push_back(key.mid(1)); // without the leading "."
    TLibrary out(RootFolder, SortPaths(std::move(paths), naturalOrder), naturalOrder);
    out.Dirs = Dirs;
    return out;
}

const QStringList& TLibrary::FilesInFolder(int folderIndex) const {
    static const QStringList none;
    if (folderIndex < 0 || folderIndex >= FolderKeys.size()) return none;
    return Names[static_cast<size_t>(folderIndex)];
}

std::int32_t TLibrary::FileCountInFolder(int folderIndex) const {
    return static_cast<std::int32_t>(FilesInFolder(folderIndex).size());
}

QStringList TLibrary::FolderDisplayList() const {
    QStringList list;
    list.reserve(FolderKeys.size());
    for (const QString& key : FolderKeys)
        list.append(key == QLatin1String(".") ? key : key.mid(2));
    return list;
}

QString TLibrary::FolderPath(int folderIndex) const {
    if (folderIndex < 0 || folderIndex >= FolderKeys.size()) return QString();
    QString path = WithSlash(RootFolder) + FolderKeys.at(folderIndex);
    path.replace(QStringLiteral("/./"), QStringLiteral("/"));
    return path;
}

QString TLibrary::FilePath(int folderIndex, int fileIndex) const {
    const QStringList& names = FilesInFolder(folderIndex);
    if (fileIndex < 0 || fileIndex >= names.size()) return QString();
    QString path =
        WithSlash(RootFolder) + WithSlash(FolderKeys.at(folderIndex)) + names.at(fileIndex);
    path.replace(QStringLiteral("/./"), QStringLiteral("/"));
    return path;
}

std::pair<int, int> TLibrary::Find(const QString& path) const {
    const QString clean = QDir::cleanPath(path);
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return {-1, -1};
    const QString folder = clean.left(std::max<qsizetype>(slash, 1));
    const QString name = clean.mid(slash + 1);
    for (int f = 0; f < FolderCount(); ++f) {
        if (QDir::cleanPath(FolderPath(f)) != folder) continue;
        const auto i = FilesInFolder(f).indexOf(name);
        return i < 0 ? std::pair{-1, -1} : std::pair{f, static_cast<int>(i)};
    }
    return {-1, -1};
}

int TLibrary::IndexOfFolder(const QString& key) const {
    return static_cast<int>(FolderKeys.indexOf(key));
}

std::pair<int, int> TLibrary::FindByName(const QString& folderKey, const QString& fileName) const {
    const int folder = IndexOfFolder(folderKey);
    if (folder < 0) return {-1, -1};
    return {folder, static_cast<int>(FilesInFolder(folder).indexOf(fileName))};
}

TLibrary TLibrary::WithFile(const QString& key) const {
    const TCollation collation(QLocale(), NaturalOrder);
    const QStringList fileKeys = Files();
    const auto at = std::lower_bound(
        fileKeys.cbegin(), fileKeys.cend(), key,
        [&](const QString& a, const QString& b) { return collation.Compare(a, b) < 0; });
    QStringList paths;
    paths.reserve(fileKeys.size() + 1);
    for (auto it = fileKeys.cbegin(); it != fileKeys.cend(); ++it) {
        if (it == at) paths.append(key.mid(1));
        paths.append(it->mid(1));
    }
    if (at == fileKeys.cend()) paths.append(key.mid(1));
    TLibrary out(RootFolder, paths, NaturalOrder);
    out.Dirs = Dirs;
    const QString folder = key.left(key.lastIndexOf(QLatin1Char('/')));
    const auto dir = std::find_if(out.Dirs.begin(), out.Dirs.end(),
                                  [&](const TDirStamp& d) { return d.Key == folder; });
    if (dir != out.Dirs.end())
        dir->MTime = 0;
    else
        out.Dirs.push_back({folder, 0});
    return out;
}
