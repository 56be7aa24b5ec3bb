#pragma once
// The folder picture, found and decoded on a worker thread and handed to the UI thread, so a
// folder change never waits for a decode; a few recent pictures are kept, so going back to a
// folder never decodes it again.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <list>
#include <optional>

// The picture file of a folder, as names are matched on the system the libraries come from:
// any name that reads "folder.jpg" without regard to ASCII letter case. Of several, the exact
// "folder.jpg" wins, then the first in byte order; only regular files (or links to them) count.
struct TFolderPictureFile {
    QString Path;
    qint64 Size = 0;
    qint64 MTimeNs = 0;
    bool operator==(const TFolderPictureFile&) const = default;
};
std::optional<TFolderPictureFile> FindFolderPicture(const QString& folder);

// The text key of a decoded picture that holds its file's path.
inline const QString PictureFileKey = QStringLiteral("VelodraFile");

class TFolderPicture : public QObject {
    Q_OBJECT

public:
    explicit TFolderPicture(QObject* parent = nullptr, int maxEntries = 8,
                            qint64 maxBytes = 32 * 1024 * 1024);
    // Waits for a decode under way: it holds no reference to this object but its delivery.
    ~TFolderPicture() override;

    // Asks for the picture of `folder` decoded to cover `cover` pixels. Returns at once with
    // the picture last known for it (null when none is known) and emits Ready later when the
    // folder on disk shows something else. Only the latest request is answered.
    QImage Request(const QString& folder, QSize cover);
    // Nothing more is delivered for the requests so far.
    void Cancel();

    // Neither a request waiting nor one being worked on (for tests and the benchmark).
    bool IsIdle() const { return !Busy && !Waiting; }
    // Pictures decoded so far (for tests).
    int DecodeCount() const { return Decodes; }

signals:
    // The picture for the latest request; null when the folder has none that decodes.
    void Ready(const QImage& image);

private:
    struct TKey {
        TFolderPictureFile File;
        QSize Cover;
        bool operator==(const TKey&) const = default;
    };
    struct TEntry {
        QString Folder;
        TKey Key;
        QImage Image; // null for a file that does not decode, so it is not tried again
    };
    struct TJob {
        quint64 Id = 0;
        QString Folder;
        QSize Cover;
        std::optional<TKey> Known; // what the cache holds for the folder when the job starts
    };
    struct TResult {
        TJob Job;
        std::optional<TKey> Key; // none: no picture file
        bool Decoded = false;
        QImage Image;
    };
    static TResult Work(const TJob& job);
    void StartNext();
    void Finished(const TResult& result);
    std::list<TEntry>::iterator Find(const QString& folder, QSize cover);
    void Store(const QString& folder, const TKey& key, const QImage& image);

    const int MaxEntries;
    const qint64 MaxBytes;
    std::list<TEntry> Cache; // most recently used first
    quint64 Latest = 0;      // id of the request that is answered
    QImage Answered;         // what the latest request has been given so far
    std::optional<TJob> Waiting;
    bool Busy = false;
    int Decodes = 0;
    QThreadPool Pool; // one worker
};
