#include "platform/DirWalk.h"

#include "platform/FileName.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
// Closes the directory on every path out.
struct TDirCloser {
    DIR* Dir;
    ~TDirCloser() { closedir(Dir); }
};

enum class TKind { Other, File, Dir };

TKind KindOfMode(mode_t mode) {
    if (S_ISREG(mode)) return TKind::File;
    if (S_ISDIR(mode)) return TKind::Dir;
    return TKind::Other;
}
std::int64_t MTimeOf(const struct stat& st) {
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}
} // namespace

bool TDirWalker::Read(const QByteArray& dir, std::vector<QString>& files,
                      std::vector<QString>& dirs, std::vector<QString>* linkedDirs,
                      std::int64_t* mtimeNs) {
    DIR* d = opendir(dir.constData());
    if (!d) return false;
    TDirCloser closer{d};
    const int fd = dirfd(d);
    struct stat self {};
    if (fstat(fd, &self) != 0) return false;
    if (!Visited
             .insert(
                 {static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)})
             .second)
        return false;
    ++ReadCount;
    if (mtimeNs) *mtimeNs = MTimeOf(self);

    while (const dirent* e = readdir(d)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        TKind kind = TKind::Other;
        bool link = e->d_type == DT_LNK;
        switch (e->d_type) {
        case DT_REG:
            kind = TKind::File;
            break;
        case DT_DIR:
            kind = TKind::Dir;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            // Links are followed: a link to a file is a file, a link to a directory is walked.
            struct stat st {};
            if (fstatat(fd, name, &st, 0) == 0) kind = KindOfMode(st.st_mode);
            if (e->d_type == DT_UNKNOWN && kind == TKind::Dir) {
                struct stat own {};
                link = fstatat(fd, name, &own, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(own.st_mode);
            }
            break;
        }
        default:
            break; // pipes, sockets, devices are never audio
        }
        if (kind == TKind::Other) continue;
        QString decoded = DecodeFileName(std::string_view(name, std::strlen(name)));
        if (kind == TKind::File)
            files.push_back(std::move(decoded));
        else
            (link && linkedDirs ? *linkedDirs : dirs).push_back(std::move(decoded));
    }
    return true;
}

std::int64_t DirectoryMTime(const QByteArray& dir) {
    struct stat st {};
    if (stat(dir.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
    return MTimeOf(st);
}
