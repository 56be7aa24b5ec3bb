#include "player/LibrarySnapshot.h"

#include "platform/CacheFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {
// Raised whenever the layout changes: an older file is then ignored, never misread.
constexpr char kMagic[8] = {'V', 'L', 'D', 'R', 'S', 'N', 'A', 'P'};
constexpr std::uint32_t kVersion = 3;
// A library of millions of files stays far below this.
constexpr qint64 kMaxSize = qint64(1) << 30;

// zlib's CRC-32 runs several bytes a step: at 100,000 files a byte-wise hash was nearly half of
// the snapshot's load (10 ms of it).
std::uint32_t Checksum(const char* p, qsizetype n) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) {
        const auto step = static_cast<uInt>(std::min<qsizetype>(n, qsizetype(1) << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(p), step);
        p += step;
        n -= step;
    }
    return static_cast<std::uint32_t>(crc);
}

class TWriter {
public:
    QByteArray Out;
    template <typename T> void Put(T v) { Out.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void Put(const QString& s) {
        Put(static_cast<std::uint32_t>(s.size()));
        Out.append(reinterpret_cast<const char*>(s.constData()), s.size() * qsizetype(2));
    }
};

// Every read checked against the bytes left; the first short one spoils the rest.
class TReader {
public:
    TReader(const char* p, qsizetype n) : P(p), End(p + n) {}
    bool Ok = true;
    template <typename T> T Get() {
        T v{};
        if (End - P < qsizetype(sizeof v)) {
            Ok = false;
            return v;
        }
        std::memcpy(&v, P, sizeof v);
        P += sizeof v;
        return v;
    }
    QString GetString() {
        const auto n = Get<std::uint32_t>();
        if (!Ok || End - P < qsizetype(n) * 2) {
            Ok = false;
            return {};
        }
        QString s(qsizetype(n), Qt::Uninitialized);
        std::memcpy(s.data(), P, size_t(n) * 2);
        P += qsizetype(n) * 2;
        return s;
    }
    qsizetype Left() const { return End - P; }

private:
    const char* P;
    const char* End;
};

std::uint8_t TypeBits(TAudioTypes t) {
    return static_cast<std::uint8_t>((t.Wma ? 1 : 0) | (t.Other ? 2 : 0));
}

// The body after the magic and before the checksum, when the frame is whole.
std::optional<TReader> Body(const QByteArray& bytes) {
    constexpr qsizetype frame = sizeof kMagic + sizeof(std::uint32_t);
    if (bytes.size() < frame || std::memcmp(bytes.constData(), kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    const qsizetype bodySize = bytes.size() - frame;
    const char* body = bytes.constData() + sizeof kMagic;
    std::uint32_t sum = 0;
    std::memcpy(&sum, body + bodySize, sizeof sum);
    if (sum != Checksum(body, bodySize)) return std::nullopt;
    TReader r(body, bodySize);
    if (r.Get<std::uint32_t>() != kVersion || !r.Ok) return std::nullopt;
    return r;
}

std::optional<TSnapshotHead> ReadHead(TReader& r) {
    TSnapshotHead head;
    const auto bits = r.Get<std::uint8_t>();
    head.Types = {.Wma = (bits & 1) != 0, .Other = (bits & 2) != 0};
    head.NaturalOrder = (bits & 4) != 0;
    head.Root = r.GetString();
    if (!r.Ok) return std::nullopt;
    return head;
}
} // namespace

QString LibrarySnapshotPath() {
    return CacheFolder() + QStringLiteral("library.snapshot");
}

QByteArray EncodeSnapshot(const TLibrary& library, TAudioTypes types) {
    TWriter w;
    w.Out.reserve(64 + library.TotalFileCount() * qsizetype(100));
    w.Out.append(kMagic, sizeof kMagic);
    w.Put(kVersion);
    w.Put(static_cast<std::uint8_t>(TypeBits(types) | (library.NaturalOrder ? 4 : 0)));
    w.Put(library.RootFolder);
    w.Put(static_cast<std::uint32_t>(library.Tree().size()));
    for (const TDirStamp& d : library.Tree()) {
        w.Put(d.Key);
        w.Put(d.MTime);
    }
    // Each folder with its names, then the order as folder indices: loading parses nothing.
    w.Put(static_cast<std::uint32_t>(library.FolderCount()));
    for (int f = 0; f < library.FolderCount(); ++f) {
        w.Put(library.Folders().at(f));
        const QStringList& names = library.FilesInFolder(f);
        w.Put(static_cast<std::uint32_t>(names.size()));
        for (const QString& name : names)
            w.Put(name);
    }
    w.Put(static_cast<std::uint32_t>(library.TotalFileCount()));
    w.Out.append(reinterpret_cast<const char*>(library.FileOrder().data()),
                 static_cast<qsizetype>(library.FileOrder().size() * sizeof(std::uint32_t)));
    const std::uint32_t sum =
        Checksum(w.Out.constData() + sizeof kMagic, w.Out.size() - qsizetype(sizeof kMagic));
    w.Put(sum);
    return w.Out;
}

std::optional<TSnapshotHead> DecodeSnapshotHead(const QByteArray& bytes) {
    std::optional<TReader> r = Body(bytes);
    return r ? ReadHead(*r) : std::nullopt;
}

std::optional<TLibrary> DecodeSnapshot(const QByteArray& bytes, const std::optional<QString>& root,
                                       std::optional<TAudioTypes> types) {
    std::optional<TReader> r = Body(bytes);
    if (!r) return std::nullopt;
    const std::optional<TSnapshotHead> head = ReadHead(*r);
    if (!head || (root && head->Root != *root) ||
        (types && TypeBits(*types) != TypeBits(head->Types)))
        return std::nullopt;
    // Counts are checked against what is left before anything is reserved for them.
    const auto dirCount = r->Get<std::uint32_t>();
    if (!r->Ok || qsizetype(dirCount) * 12 > r->Left()) return std::nullopt;
    std::vector<TDirStamp> tree;
    tree.reserve(dirCount);
    for (std::uint32_t i = 0; i < dirCount && r->Ok; ++i) {
        TDirStamp d;
        d.Key = r->GetString();
        d.MTime = r->Get<std::int64_t>();
        tree.push_back(std::move(d));
    }
    const auto folderCount = r->Get<std::uint32_t>();
    if (!r->Ok || qsizetype(folderCount) * 8 > r->Left()) return std::nullopt;
    QStringList keys;
    keys.reserve(folderCount);
    std::vector<QStringList> names(folderCount);
    for (std::uint32_t f = 0; f < folderCount && r->Ok; ++f) {
        keys.append(r->GetString());
        const auto n = r->Get<std::uint32_t>();
        if (!r->Ok || qsizetype(n) * 4 > r->Left()) return std::nullopt;
        names[f].reserve(n);
        for (std::uint32_t i = 0; i < n && r->Ok; ++i)
            names[f].append(r->GetString());
    }
    const auto fileCount = r->Get<std::uint32_t>();
    if (!r->Ok || r->Left() != qsizetype(fileCount) * 4) return std::nullopt;
    std::vector<std::uint32_t> order(fileCount);
    std::vector<qsizetype> counts(folderCount, 0);
    for (std::uint32_t& f : order) {
        f = r->Get<std::uint32_t>();
        // Each file named once: a folder comes as often as it has files.
        if (f >= folderCount || ++counts[f] > names[f].size()) return std::nullopt;
    }
    for (std::uint32_t f = 0; f < folderCount; ++f)
        if (counts[f] != names[f].size()) return std::nullopt;
    TLibrary library(head->Root, std::move(keys), std::move(names), std::move(order));
    library.NaturalOrder = head->NaturalOrder;
    library.SetTree(std::move(tree));
    return library;
}

bool SaveSnapshot(const QString& path, const TLibrary& library, TAudioTypes types) {
    return WriteFileAtomically(path, EncodeSnapshot(library, types));
}

std::optional<TLibrary> LoadSnapshot(const QString& path, const QString& root, TAudioTypes types) {
    const std::optional<QByteArray> bytes = ReadWholeFile(path, kMaxSize);
    return bytes ? DecodeSnapshot(*bytes, root, types) : std::nullopt;
}
