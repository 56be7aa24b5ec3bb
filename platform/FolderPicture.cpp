#include "platform/FolderPicture.h"

#include "platform/FileName.h"
#include "platform/JpegImage.h"

#include <algorithm>
#include <dirent.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace {

constexpr std::string_view kPictureName = "folder.jpg";

bool IsPictureName(std::string_view name) {
    return std::equal(
        name.begin(), name.end(), kPictureName.begin(), kPictureName.end(), [](char c, char want) {
            return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == want;
        });
}

} // namespace

std::optional<TFolderPictureFile> FindFolderPicture(const QString& folder) {
    if (folder.isEmpty()) return std::nullopt;
    QByteArray dir = EncodeFileName(folder);
    if (!dir.endsWith('/')) dir += '/';
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.constData())) {
        while (const dirent* e = ::readdir(d))
            if (IsPictureName(e->d_name)) names.emplace_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool exactA = a == kPictureName, exactB = b == kPictureName;
        return exactA != exactB ? exactA : a < b;
    });
    for (const std::string& name : names) {
        const QByteArray path = dir + QByteArray::fromStdString(name);
        struct stat st {};
        if (::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            return TFolderPictureFile{DecodeFileName(path), st.st_size,
                                      st.st_mtim.tv_sec * 1'000'000'000LL + st.st_mtim.tv_nsec};
    }
    return std::nullopt;
}

TFolderPicture::TFolderPicture(QObject* parent, int maxEntries, qint64 maxBytes)
    : QObject(parent), MaxEntries(maxEntries), MaxBytes(maxBytes) {
    Pool.setMaxThreadCount(1);
}

TFolderPicture::~TFolderPicture() {
    Pool.waitForDone();
}

QImage TFolderPicture::Request(const QString& folder, QSize cover) {
    const auto known = Find(folder, cover);
    Answered = known == Cache.end() ? QImage() : known->Image;
    // A request still waiting is simply replaced: only the latest one is worth a decode.
    Waiting = TJob{++Latest, folder, cover, std::nullopt};
    StartNext();
    return Answered;
}

void TFolderPicture::Cancel() {
    ++Latest;
    Answered = QImage();
    Waiting.reset();
}

void TFolderPicture::StartNext() {
    if (Busy || !Waiting) return;
    TJob job = std::move(*Waiting);
    Waiting.reset();
    // Looked up now rather than at the request: the job before may just have stored it.
    const auto known = Find(job.Folder, job.Cover);
    if (known != Cache.end()) job.Known = known->Key;
    Busy = true;
    Pool.start([this, job = std::move(job)] {
        TResult result = Work(job);
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { Finished(result); }, Qt::QueuedConnection);
    });
}

TFolderPicture::TResult TFolderPicture::Work(const TJob& job) {
    TResult result{job, std::nullopt, false, QImage()};
    const std::optional<TFolderPictureFile> file = FindFolderPicture(job.Folder);
    if (!file) return result;
    result.Key = TKey{*file, job.Cover};
    if (result.Key == job.Known) return result; // same file, same size: the cached picture
    result.Image = LoadJpegScaled(file->Path, job.Cover);
    // Where it came from goes with it: the desktop's media controls show the same file.
    if (!result.Image.isNull()) result.Image.setText(PictureFileKey, file->Path);
    result.Decoded = true;
    return result;
}

void TFolderPicture::Finished(const TResult& result) {
    Busy = false;
    QImage image;
    if (!result.Key) {
        Cache.remove_if([&](const TEntry& e) { return e.Folder == result.Job.Folder; });
    } else if (result.Decoded) {
        ++Decodes;
        // Kept even when the folder is no longer wanted: the user may well come back to it.
        Store(result.Job.Folder, *result.Key, result.Image);
        image = result.Image;
    } else {
        const auto known = Find(result.Job.Folder, result.Job.Cover);
        image = known != Cache.end() ? known->Image : Answered;
    }
    if (result.Job.Id == Latest && image.cacheKey() != Answered.cacheKey()) {
        Answered = image;
        emit Ready(image);
    }
    StartNext();
}

std::list<TFolderPicture::TEntry>::iterator TFolderPicture::Find(const QString& folder,
                                                                 QSize cover) {
    const auto it = std::find_if(Cache.begin(), Cache.end(), [&](const TEntry& e) {
        return e.Folder == folder && e.Key.Cover == cover;
    });
    if (it != Cache.end()) Cache.splice(Cache.begin(), Cache, it);
    return it;
}

void TFolderPicture::Store(const QString& folder, const TKey& key, const QImage& image) {
    Cache.remove_if(
        [&](const TEntry& e) { return e.Folder == folder && e.Key.Cover == key.Cover; });
    Cache.push_front(TEntry{folder, key, image});
    const auto bytes = [this] {
        qint64 sum = 0;
        for (const TEntry& e : Cache)
            sum += e.Image.sizeInBytes();
        return sum;
    };
    while (!Cache.empty() && (static_cast<int>(Cache.size()) > MaxEntries || bytes() > MaxBytes))
        Cache.pop_back();
}
