#pragma once
// The folder picture, found and decoded on a worker thread and handed to the UI thread, so a
// folder or file change never waits for a decode; a few recent pictures are kept, so going back
// to a folder never decodes it again.
//
// Where it comes from, the first found wins: the folder's picture file (FindFolderPicture), the
// picture stored in the current file, and for a disc folder (CD1, Disc 2) its parent's picture
// file. A stored picture belongs to its file, so the picture may change with the file.
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringView>
#include <QThreadPool>
#include <functional>
#include <list>
#include <optional>

// The picture file of a folder, as names are matched on the system the libraries come from,
// without regard to ASCII letter case: "folder.jpg" first, then "cover", "front", "folder",
// "album" or "albumart*" with ".jpg", ".jpeg" or ".png" (in that order of names, then of
// extensions). Of names that rank alike the all-lower-case one wins, then the first in byte
// order; only regular files (or links to them) count.
struct TFolderPictureFile {
    QString Path;
    qint64 Size = 0;
    qint64 MTimeNs = 0;
    bool operator==(const TFolderPictureFile&) const = default;
};
std::optional<TFolderPictureFile> FindFolderPicture(const QString& folder);

// Whether a folder's name reads like one disc of an album: "CD1", "CD 2", "Disc 1", "Disk2"
// (any case).
bool IsDiscFolderName(QStringView name);

// A picture stored inside an audio file, as the tag readers hand it over (empty: none).
struct TFilePicture {
    QByteArray Data;
    int Position = -1; // which of the file's pictures
};
using TFilePictureReader = std::function<TFilePicture(const QString& file)>;

// Where the picture for a file comes from: a picture file, or the audio file that stores it.
struct TPictureSource {
    TFolderPictureFile File;
    int Position = -1; // -1: a picture file; else which picture of the audio file
    bool operator==(const TPictureSource&) const = default;
};
struct TFoundPicture {
    TPictureSource Source;
    QByteArray Data;        // the stored picture's bytes; empty for a picture file
    bool OwnFolder = false; // the folder's own picture file: the same for all its files
};
// The lookup in its order (see above). `file` may be empty (no file selected); `reader` may be
// empty (stored pictures are not looked at).
std::optional<TFoundPicture> FindPicture(const QString& folder, const QString& file,
                                         const TFilePictureReader& reader);

// Where stored pictures are written for the desktop: $XDG_CACHE_HOME/velodra/art.
QString ArtCacheFolder();
// Writes a stored picture once, as a file named by a hash of its bytes, and returns its path
// (empty when it cannot be written). A later picture never takes an existing name, so a path
// handed out never changes under the desktop; beyond maxFiles the least recently used go.
QString StoreArtFile(const QByteArray& data, const QString& folder, int maxFiles = 200);

// The text key of a decoded picture that holds the path the desktop is given for it.
inline const QString PictureFileKey = QStringLiteral("VelodraFile");

class TFolderPicture : public QObject {
    Q_OBJECT

public:
    explicit TFolderPicture(QObject* parent = nullptr, TFilePictureReader reader = {},
                            int maxEntries = 8, qint64 maxBytes = 32 * 1024 * 1024,
                            QString artFolder = ArtCacheFolder());
    // Waits for a decode under way: it holds no reference to this object but its delivery.
    ~TFolderPicture() override;

    // Asks for the picture of `file` in `folder` decoded to cover `cover` pixels. Returns at
    // once with the picture to show now: the one last known for it, else, in the folder of the
    // request before, that request's answer, else null. Emits Ready later when the disk shows
    // something else. Without `decode` only the art path is
    // looked up (the window hides the picture; the desktop still shows it). Only the latest request
    // is answered.
    QImage Request(const QString& folder, const QString& file, QSize cover, bool decode = true);
    // Nothing more is delivered for the requests so far.
    void Cancel();

    // Neither a request waiting nor one being worked on (for tests and the benchmark).
    bool IsIdle() const { return !Busy && !Waiting; }
    // Pictures decoded so far (for tests).
    int DecodeCount() const { return Decodes; }

signals:
    // The picture for the latest request; null when there is none that decodes.
    void Ready(const QImage& image);
    // The file the desktop is given for the latest request's picture (empty: none); emitted
    // when it differs from the last one.
    void ArtReady(const QString& path);

private:
    struct TKey {
        TPictureSource Source;
        QSize Cover;
        bool operator==(const TKey&) const = default;
    };
    struct TEntry {
        QString Folder;
        QString File; // empty: the folder's own picture file, the same for every file
        TKey Key;
        QImage Image; // null for a picture that does not decode, so it is not tried again
        QString Art;
    };
    struct TJob {
        quint64 Id = 0;
        QString Folder;
        QString File;
        QSize Cover;
        bool Decode = true;
        std::optional<TKey> Known; // what the cache holds for the file when the job starts
    };
    struct TResult {
        TJob Job;
        std::optional<TKey> Key; // none: no picture
        bool OwnFolder = false;
        bool Decoded = false;
        QImage Image;
        QString Art;
    };
    TResult Work(const TJob& job) const;
    void StartNext();
    void Finished(const TResult& result);
    std::list<TEntry>::iterator Find(const QString& folder, const QString& file, QSize cover);
    void Store(const TResult& result);

    const TFilePictureReader Reader;
    const QString ArtFolder;
    const int MaxEntries;
    const qint64 MaxBytes;
    std::list<TEntry> Cache; // most recently used first
    quint64 Latest = 0;      // id of the request that is answered
    QImage Answered;         // what the latest request has been given so far
    QString AnsweredArt;
    QString AnsweredFolder;
    std::optional<TJob> Waiting;
    bool Busy = false;
    int Decodes = 0;
    QThreadPool Pool; // one worker
};
