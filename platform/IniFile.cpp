#include "platform/IniFile.h"

#include "platform/Error.h"
#include "platform/FileName.h"

#include <QCoreApplication>

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct TLine {
    qsizetype Begin; // first byte
    qsizetype End;   // end of the content: before "\n" or "\r\n"
    qsizetype Next;  // first byte of the next line
};

// Calls fn for each line until it returns false.
template <class F> void ForEachLine(const QByteArray& text, F&& fn) {
    qsizetype b = 0;
    const qsizetype n = text.size();
    while (b < n) {
        const qsizetype lf = text.indexOf('\n', b);
        const qsizetype next = lf < 0 ? n : lf + 1;
        qsizetype end = lf < 0 ? n : lf;
        if (lf >= 0 && end > b && text[end - 1] == '\r') --end;
        if (!fn(TLine{b, end, next})) return;
        b = next;
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void Trim(const QByteArray& text, qsizetype& b, qsizetype& e) {
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
}

bool SameName(const QByteArray& text, qsizetype b, qsizetype e, const QByteArray& name) {
    if (e - b != name.size()) return false;
    for (qsizetype i = 0; i < name.size(); ++i)
        if (Lower(text[b + i]) != Lower(name[i])) return false;
    return true;
}

// "[Name]" with blanks allowed around the name and before the bracket.
bool ParseHeader(const QByteArray& text, qsizetype b, qsizetype e, qsizetype& nameB,
                 qsizetype& nameE) {
    while (b < e && IsBlank(text[b]))
        ++b;
    if (b >= e || text[b] != '[') return false;
    qsizetype close = b + 1;
    while (close < e && text[close] != ']')
        ++close;
    if (close >= e) return false;
    nameB = b + 1;
    nameE = close;
    Trim(text, nameB, nameE);
    return true;
}

// "key=value"; comment lines (";", "#") and headers are not keys.
bool ParseKey(const QByteArray& text, qsizetype b, qsizetype e, qsizetype& keyB, qsizetype& keyE,
              qsizetype& valueB) {
    qsizetype p = b;
    while (p < e && IsBlank(text[p]))
        ++p;
    if (p >= e || text[p] == '[' || text[p] == ';' || text[p] == '#') return false;
    qsizetype eq = p;
    while (eq < e && text[eq] != '=')
        ++eq;
    if (eq >= e) return false;
    keyB = p;
    keyE = eq;
    Trim(text, keyB, keyE);
    if (keyB == keyE) return false;
    valueB = eq + 1;
    return true;
}

QByteArray NameBytes(const QString& name) {
    QByteArray b = EncodeFileName(name);
    qsizetype s = 0, e = b.size();
    Trim(b, s, e);
    return b.mid(s, e - s);
}

bool HasLineBreak(const QByteArray& b) {
    return b.contains('\n') || b.contains('\r');
}

bool ParseDecimal(QByteArray s, int& out) {
    qsizetype b = 0, e = s.size();
    Trim(s, b, e);
    if (b == e) return false;
    bool negative = false;
    if (s[b] == '+' || s[b] == '-') {
        negative = s[b] == '-';
        ++b;
    }
    if (b == e) return false;
    long long v = 0;
    for (qsizetype i = b; i < e; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) v = -v;
    if (v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

// Everything of the file, or false when it is not a regular file of at most `cap` bytes that can
// be read. A missing file reads as empty.
bool LoadFile(const QByteArray& path, qsizetype cap, QByteArray& out, bool& tooLarge) {
    out.clear();
    tooLarge = false;
    // O_NONBLOCK: a FIFO in the file's place must not hang the start.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= cap;
    tooLarge = S_ISREG(st.st_mode) && st.st_size > cap;
    while (ok) {
        char buf[65536];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        out.append(buf, n);
        if (out.size() > cap) { // grew while being read
            ok = false;
            tooLarge = true;
        }
    }
    ::close(fd);
    if (!ok) out.clear();
    return ok;
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray BaseOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// mkdir -p; the settings folder may not exist yet on a fresh account.
bool MakeFolders(const QByteArray& folder) {
    struct stat st {};
    if (::stat(folder.constData(), &st) == 0) return S_ISDIR(st.st_mode);
    for (qsizetype i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        const QByteArray part = folder.left(i);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) return false;
    }
    return ::stat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

[[noreturn]] void WriteFailed(const QString& fileName, const QString& detail) {
    throw EVelodraError(QCoreApplication::translate("TIniFile", "Could not write to %1.")
                            .arg(QuotedStr(DisplayFileName(fileName))) +
                        QStringLiteral("\r\r") + detail);
}

[[noreturn]] void WriteFailed(const QString& fileName, int err) {
    WriteFailed(fileName, QString::fromLocal8Bit(std::strerror(err)));
}

QByteArray TempPrefix(const QByteArray& folder, const QByteArray& base) {
    return folder + "/." + base + ".tmp-";
}

// Temporary files left by a save that was killed half-way. Only one copy of the program runs
// and it saves from one thread, so any such file is stale once a save has completed.
void RemoveStaleTemps(const QByteArray& folder, const QByteArray& base) {
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return;
    const QByteArray prefix = "." + base + ".tmp-";
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix))
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

// One section as found in the text: from its header line to the next header.
struct TSpan {
    qsizetype Begin;       // header line
    qsizetype End;         // next header or end of text
    qsizetype ContentNext; // just after the last key line (at least the header)
    bool Match;
};
std::vector<TSpan> Spans(const QByteArray& text, const QByteArray& name) {
    std::vector<TSpan> spans;
    ForEachLine(text, [&](const TLine& l) {
        qsizetype nb, ne;
        if (ParseHeader(text, l.Begin, l.End, nb, ne)) {
            if (!spans.empty()) spans.back().End = l.Begin;
            spans.push_back({l.Begin, text.size(), l.Next, SameName(text, nb, ne, name)});
        } else if (qsizetype kb, ke, vb;
                   !spans.empty() && ParseKey(text, l.Begin, l.End, kb, ke, vb)) {
            spans.back().ContentNext = l.Next;
        }
        return true;
    });
    return spans;
}
} // namespace

TIniFile::TIniFile(QString fileName) : FName(std::move(fileName)) {
    FReadable = LoadFile(EncodeFileName(FName), MaxFileSize, FText, FTooLarge);
}

QByteArray TIniFile::ReadBytes(const QString& section, const QString& key,
                               const QByteArray& def) const {
    const QByteArray sec = NameBytes(section), name = NameBytes(key);
    bool inSection = false, found = false;
    QByteArray value;
    ForEachLine(FText, [&](const TLine& l) {
        qsizetype nb, ne, vb;
        if (ParseHeader(FText, l.Begin, l.End, nb, ne)) {
            inSection = SameName(FText, nb, ne, sec);
        } else if (inSection && ParseKey(FText, l.Begin, l.End, nb, ne, vb) &&
                   SameName(FText, nb, ne, name)) {
            value = FText.mid(vb, l.End - vb);
            found = true;
        }
        return !found;
    });
    return found ? value : def;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    if (!ValueExists(section, key)) return def;
    return DecodeFileName(ReadBytes(section, key, {}));
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    int v;
    return ParseDecimal(ReadBytes(section, key, {}), v) ? v : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(const QString& section) const {
    const QByteArray sec = NameBytes(section);
    bool found = false;
    ForEachLine(FText, [&](const TLine& l) {
        qsizetype nb, ne;
        if (ParseHeader(FText, l.Begin, l.End, nb, ne) && SameName(FText, nb, ne, sec))
            found = true;
        return !found;
    });
    return found;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    // A sentinel that no line can hold tells "absent" from "empty".
    static const QByteArray absent("\n");
    return ReadBytes(section, key, absent) != absent;
}

void TIniFile::EraseSection(const QString& section) {
    const QByteArray sec = NameBytes(section);
    const std::vector<TSpan> spans = Spans(FText, sec);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it)
        if (it->Match) FText.remove(it->Begin, it->End - it->Begin);
}

void TIniFile::WriteBytes(const QString& section, const QString& key, const QByteArray& value) {
    const QByteArray sec = EncodeFileName(section), name = EncodeFileName(key);
    const auto blankEdge = [](const QByteArray& b) {
        return IsBlank(b.front()) || IsBlank(b.back());
    };
    if (sec.isEmpty() || HasLineBreak(sec) || sec.contains(']') || blankEdge(sec))
        throw EVelodraError(QCoreApplication::translate("TIniFile", "Invalid section name %1.")
                                .arg(QuotedStr(section)));
    if (name.isEmpty() || HasLineBreak(name) || name.contains('=') || blankEdge(name) ||
        name.front() == '[' || name.front() == ';' || name.front() == '#')
        throw EVelodraError(
            QCoreApplication::translate("TIniFile", "Invalid key name %1.").arg(QuotedStr(key)));
    if (HasLineBreak(value))
        throw EVelodraError(
            QCoreApplication::translate("TIniFile", "The value of %1 holds a line break.")
                .arg(QuotedStr(key)));

    const std::vector<TSpan> spans = Spans(FText, sec);
    for (const TSpan& s : spans) {
        if (!s.Match) continue;
        // An existing key keeps its line and its own spelling; only the value changes.
        qsizetype replaceB = -1, replaceE = -1;
        ForEachLine(FText, [&](const TLine& l) {
            if (l.Begin <= s.Begin) return true; // the header and what precedes it
            if (l.Begin >= s.End) return false;
            qsizetype kb, ke, vb;
            if (ParseKey(FText, l.Begin, l.End, kb, ke, vb) && SameName(FText, kb, ke, name)) {
                replaceB = vb;
                replaceE = l.End;
                return false;
            }
            return true;
        });
        if (replaceB >= 0) {
            FText.replace(replaceB, replaceE - replaceB, value);
            return;
        }
        QByteArray line = name + '=' + value + '\n';
        if (s.ContentNext > 0 && FText[s.ContentNext - 1] != '\n') line.prepend('\n');
        FText.insert(s.ContentNext, line);
        return;
    }
    if (!FText.isEmpty() && !FText.endsWith('\n')) FText.append('\n');
    FText.append('[' + sec + "]\n" + name + '=' + value + '\n');
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    WriteBytes(section, key, EncodeFileName(value));
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteBytes(section, key, QByteArray::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteBytes(section, key, value ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

void TIniFile::UpdateFile() {
    if (FTooLarge)
        WriteFailed(FName, QCoreApplication::translate(
                               "TIniFile", "The file is larger than %1 MiB, too large to be a "
                                           "settings file, so it was left alone.")
                               .arg(MaxFileSize / (1024 * 1024)));
    if (!FReadable)
        WriteFailed(FName, QCoreApplication::translate(
                               "TIniFile", "The file could not be read, so it is left as it is."));
    // The reader would refuse it next time, and with it everything saved.
    if (FText.size() > MaxFileSize)
        WriteFailed(FName,
                    QCoreApplication::translate(
                        "TIniFile", "The settings would take %1 bytes, more than the %2 MiB "
                                    "a settings file may have, so the file was left as it is.")
                        .arg(FText.size())
                        .arg(MaxFileSize / (1024 * 1024)));
    const QByteArray target = EncodeFileName(FName);
    if (target.isEmpty()) WriteFailed(FName, ENOENT);
    struct stat st {};
    const bool existed = ::lstat(target.constData(), &st) == 0;
    // A link may lead anywhere (to a system file when run as root): the rename below would
    // replace the link, never write through it, but the user's link is theirs to keep.
    if (existed && S_ISLNK(st.st_mode))
        WriteFailed(FName, QCoreApplication::translate(
                               "TIniFile", "The file is a symbolic link; settings are saved only "
                                           "to a regular file, so the link and the file it "
                                           "points to were left alone."));
    if (existed && !S_ISREG(st.st_mode)) WriteFailed(FName, S_ISDIR(st.st_mode) ? EISDIR : EEXIST);
    const mode_t mode = existed ? (st.st_mode & 07777) : 0600;

    const QByteArray folder = FolderOf(target), base = BaseOf(target);
    if (!MakeFolders(folder)) WriteFailed(FName, errno ? errno : ENOTDIR);

    QByteArray tempName = TempPrefix(folder, base) + "XXXXXX";
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) WriteFailed(FName, errno);
    if (!WriteAll(fd, FText) || ::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        const int err = errno;
        ::close(fd);
        ::unlink(tempName.constData());
        WriteFailed(FName, err);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        WriteFailed(FName, err);
    }
    if (::rename(tempName.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        WriteFailed(FName, err);
    }
    // Make the rename itself durable.
    const int dfd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    RemoveStaleTemps(folder, base);
}

QString XdgFolder(const char* variable, const char* fallback) {
    QByteArray folder = qgetenv(variable);
    if (!folder.startsWith('/')) { // unset, empty or relative: ignored
        folder = qgetenv("HOME");
        if (folder.isEmpty()) {
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) folder = pw->pw_dir;
        }
        if (folder.endsWith('/')) folder.chop(1);
        folder += fallback;
    }
    if (!folder.endsWith('/')) folder += '/';
    return DecodeFileName(folder);
}

QString ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

QString SettingsFileName() {
    QByteArray exe;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0) {
        exe = QByteArray(buf, n);
        // The executable was replaced while running.
        if (exe.endsWith(" (deleted)")) exe.chop(10);
    } else if (QCoreApplication::instance()) {
        exe = EncodeFileName(QCoreApplication::applicationFilePath());
    }
    QByteArray name = BaseOf(exe);
    if (name.isEmpty()) name = "velodra";
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0) name.truncate(dot);
    return ConfigFolder() + DecodeFileName(name + ".ini");
}
