#pragma once
// Reading one directory of the library tree at a time. Names come back losslessly decoded
// (FileName.h), so every name can be opened again.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <unordered_set>
#include <vector>

class TDirWalker {
public:
    // Appends the names of dir's regular files (and links to them) to files and of its
    // directories to dirs, in the order the file system gives them; links to directories go to
    // linkedDirs when given, else to dirs. Hidden entries count like any other; pipes, sockets,
    // devices and broken links are left out. A directory already read by this walker (same
    // device and inode, as through a link back into the tree) and one that cannot be opened
    // yield nothing; the result then is false. mtimeNs, when given, gets the directory's
    // modification time as it was before its entries were read.
    bool Read(const QByteArray& dir, std::vector<QString>& files, std::vector<QString>& dirs,
              std::vector<QString>* linkedDirs = nullptr, std::int64_t* mtimeNs = nullptr);

    // Forgets the directories read so far.
    void Reset() { Visited.clear(); }

    // How many directories this walker has read (the check's figure).
    std::int64_t Reads() const { return ReadCount; }

private:
    std::int64_t ReadCount = 0;
    struct TDirId {
        std::uint64_t Device;
        std::uint64_t Inode;
        bool operator==(const TDirId&) const = default;
    };
    struct TDirIdHash {
        std::size_t operator()(const TDirId& id) const noexcept {
            return std::hash<std::uint64_t>()(id.Inode * 0x9E3779B97F4A7C15ull ^ id.Device);
        }
    };
    std::unordered_set<TDirId, TDirIdHash> Visited;
};

// A directory's modification time in ns, or -1 when it is no directory (or not there).
std::int64_t DirectoryMTime(const QByteArray& dir);
