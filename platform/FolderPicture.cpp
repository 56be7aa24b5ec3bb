#include "platform/FolderPicture.h"

#include "platform/CacheFile.h"
#include "platform/FileName.h"
#include "platform/JpegImage.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Lower wins; -1: not a picture file's name. "folder.jpg" keeps the first place it always had.
int PictureNameRank(std::string_view name) {
    const std::string lower = AsciiLower(name);
    const std::size_t dot = lower.rfind('.');
    if (dot == std::string::npos) return -1;
    const std::string_view stem = std::string_view(lower).substr(0, dot);
    const std::string_view ext = std::string_view(lower).substr(dot + 1);
    constexpr std::array<std::string_view, 3> kExts = {"jpg", "jpeg", "png"};
    const auto e = std::find(kExts.begin(), kExts.end(), ext);
    if (e == kExts.end()) return -1;
    if (stem == "folder" && ext == "jpg") return 0;
    constexpr std::array<std::string_view, 4> kStems = {"cover", "front", "folder", "album"};
    auto s = std::find(kStems.begin(), kStems.end(), stem) - kStems.begin();
    if (s == static_cast<std::ptrdiff_t>(kStems.size()) && !stem.starts_with("albumart")) return -1;
    return 1 + static_cast<int>(s * std::ssize(kExts) + (e - kExts.begin()));
}

std::optional<TFolderPictureFile> StatFile(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return TFolderPictureFile{DecodeFileName(path), st.st_size,
                              st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
}

QString ParentFolder(const QString& folder) {
    QString f = folder;
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    const qsizetype slash = f.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QString() : f.left(slash);
}

QString LastName(const QString& folder) {
    QString f = folder;
    while (f.endsWith(QLatin1Char('/')))
        f.chop(1);
    return f.mid(f.lastIndexOf(QLatin1Char('/')) + 1);
}

QString ArtExtension(const QByteArray& data) {
    if (data.startsWith("\xFF\xD8\xFF")) return QStringLiteral(".jpg");
    if (data.startsWith("\x89PNG")) return QStringLiteral(".png");
    if (data.startsWith("GIF8")) return QStringLiteral(".gif");
    return QStringLiteral(".img");
}

// The least recently used art files go, beyond maxFiles; `keep` stays whatever its age.
void PruneArt(const QString& folder, int maxFiles, const QString& keep) {
    QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
    for (qsizetype i = 0; i < files.size() && files.size() - i > maxFiles; ++i)
        if (files[i].absoluteFilePath() != keep) QFile::remove(files[i].absoluteFilePath());
}

} // namespace

std::optional<TFolderPictureFile> FindFolderPicture(const QString& folder) {
    if (folder.isEmpty()) return std::nullopt;
    QByteArray dir = EncodeFileName(folder);
    if (!dir.endsWith('/')) dir += '/';
    std::vector<std::pair<int, std::string>> names;
    if (DIR* d = ::opendir(dir.constData())) {
        while (const dirent* e = ::readdir(d))
            if (const int rank = PictureNameRank(e->d_name); rank >= 0)
                names.emplace_back(rank, e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first < b.first;
        const bool lowerA = AsciiLower(a.second) == a.second;
        const bool lowerB = AsciiLower(b.second) == b.second;
        return lowerA != lowerB ? lowerA : a.second < b.second;
    });
    for (const auto& [rank, name] : names)
        if (auto file = StatFile(dir + QByteArray::fromStdString(name))) return file;
    return std::nullopt;
}

bool IsDiscFolderName(QStringView name) {
    static const QRegularExpression disc(QStringLiteral("^(cd|dis[ck]) ?[0-9]+$"),
                                         QRegularExpression::CaseInsensitiveOption);
    return disc.match(name).hasMatch();
}

std::optional<TFoundPicture> FindPicture(const QString& folder, const QString& file,
                                         const TFilePictureReader& reader) {
    if (auto own = FindFolderPicture(folder)) return TFoundPicture{{*own, -1}, {}, true};
    if (!file.isEmpty() && reader) {
        // Stat first: the key holds the time the picture was read at, never a later one.
        if (auto audio = StatFile(EncodeFileName(file))) {
            TFilePicture stored = reader(file);
            if (!stored.Data.isEmpty())
                return TFoundPicture{
                    {*audio, std::max(stored.Position, 0)}, std::move(stored.Data), false};
        }
    }
    if (IsDiscFolderName(LastName(folder)))
        if (auto parent = FindFolderPicture(ParentFolder(folder)))
            return TFoundPicture{{*parent, -1}, {}, false};
    return std::nullopt;
}

QString ArtCacheFolder() {
    return CacheFolder() + QStringLiteral("art");
}

QString StoreArtFile(const QByteArray& data, const QString& folder, int maxFiles) {
    if (data.isEmpty() || folder.isEmpty()) return {};
    const QString path =
        folder + QLatin1Char('/') +
        QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()) +
        ArtExtension(data);
    const QFileInfo known(path);
    if (known.isFile() && known.size() == data.size()) {
        // Used again: touched, so the pruning takes the ones nobody plays.
        ::utimensat(AT_FDCWD, EncodeFileName(path).constData(), nullptr, 0);
        return path;
    }
    if (!QDir().mkpath(folder)) return {};
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        return {};
    PruneArt(folder, maxFiles, path);
    return path;
}

TFolderPicture::TFolderPicture(QObject* parent, TFilePictureReader reader, int maxEntries,
                               qint64 maxBytes, QString artFolder)
    : QObject(parent), Reader(std::move(reader)), ArtFolder(std::move(artFolder)),
      MaxEntries(maxEntries), MaxBytes(maxBytes) {
    Pool.setMaxThreadCount(1);
}

TFolderPicture::~TFolderPicture() {
    Pool.waitForDone();
}

QImage TFolderPicture::Request(const QString& folder, const QString& file, QSize cover,
                               bool decode) {
    const auto known = decode ? Find(folder, file, cover) : Cache.end();
    // Not known yet within the same folder: the picture given stays until the answer, so an
    // album whose files each keep the same cover never flashes the plain display in between.
    if (!decode || (known == Cache.end() && folder != AnsweredFolder))
        Answered = QImage();
    else if (known != Cache.end())
        Answered = known->Image;
    AnsweredFolder = folder;
    // A request still waiting is simply replaced: only the latest one is worth a decode.
    Waiting = TJob{++Latest, folder, file, cover, decode, std::nullopt};
    StartNext();
    return Answered;
}

void TFolderPicture::Cancel() {
    ++Latest;
    Answered = QImage();
    AnsweredArt.clear();
    AnsweredFolder.clear();
    Waiting.reset();
}

void TFolderPicture::StartNext() {
    if (Busy || !Waiting) return;
    TJob job = std::move(*Waiting);
    Waiting.reset();
    // Looked up now rather than at the request: the job before may just have stored it.
    const auto known = Find(job.Folder, job.File, job.Cover);
    if (known != Cache.end()) job.Known = known->Key;
    Busy = true;
    Pool.start([this, job = std::move(job)] {
        TResult result = Work(job);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { Finished(result); }, Qt::QueuedConnection);
    });
}

TFolderPicture::TResult TFolderPicture::Work(const TJob& job) const {
    TResult result{job, std::nullopt, false, false, QImage(), QString()};
    const std::optional<TFoundPicture> found = FindPicture(job.Folder, job.File, Reader);
    if (!found) return result;
    const TPictureSource& source = found->Source;
    result.Key = TKey{source, job.Cover};
    result.OwnFolder = found->OwnFolder;
    // The desktop gets a file that stays: the picture file itself, or the stored bytes written
    // once under a name of their own.
    result.Art = source.Position < 0 ? source.File.Path : StoreArtFile(found->Data, ArtFolder);
    if (!job.Decode || result.Key == job.Known) return result; // not shown, or cached
    result.Image = source.Position < 0 ? LoadPictureScaled(source.File.Path, job.Cover)
                                       : DecodePictureScaled(found->Data, job.Cover);
    if (!result.Image.isNull()) result.Image.setText(PictureFileKey, result.Art);
    result.Decoded = true;
    return result;
}

void TFolderPicture::Finished(const TResult& result) {
    Busy = false;
    const TJob& job = result.Job;
    QImage image;
    if (!result.Key) {
        Cache.remove_if([&](const TEntry& e) {
            return e.Folder == job.Folder && (e.File.isEmpty() || e.File == job.File);
        });
    } else if (result.Decoded) {
        ++Decodes;
        // Kept even when the folder is no longer wanted: the user may well come back to it.
        Store(result);
        image = result.Image;
    } else if (job.Decode) {
        const auto known = Find(job.Folder, job.File, job.Cover);
        image = known != Cache.end() ? known->Image : Answered;
    }
    if (job.Id == Latest) {
        if (job.Decode && image.cacheKey() != Answered.cacheKey()) {
            Answered = image;
            emit Ready(image);
        }
        if (result.Art != AnsweredArt) {
            AnsweredArt = result.Art;
            emit ArtReady(AnsweredArt);
        }
    }
    StartNext();
}

std::list<TFolderPicture::TEntry>::iterator TFolderPicture::Find(const QString& folder,
                                                                 const QString& file, QSize cover) {
    const auto it = std::find_if(Cache.begin(), Cache.end(), [&](const TEntry& e) {
        return e.Folder == folder && (e.File.isEmpty() || e.File == file) && e.Key.Cover == cover;
    });
    if (it != Cache.end()) Cache.splice(Cache.begin(), Cache, it);
    return it;
}

void TFolderPicture::Store(const TResult& result) {
    const TJob& job = result.Job;
    const QString file = result.OwnFolder ? QString() : job.File;
    // What this file showed before goes, and with a picture file of its own all of the folder.
    Cache.remove_if([&](const TEntry& e) {
        return e.Folder == job.Folder && e.Key.Cover == job.Cover &&
               (e.File == file || result.OwnFolder || e.File.isEmpty());
    });
    Cache.push_front(TEntry{job.Folder, file, *result.Key, result.Image, result.Art});
    const auto bytes = [this] {
        qint64 sum = 0;
        for (const TEntry& e : Cache)
            sum += e.Image.sizeInBytes();
        return sum;
    };
    while (!Cache.empty() && (static_cast<int>(Cache.size()) > MaxEntries || bytes() > MaxBytes))
        Cache.pop_back();
}
