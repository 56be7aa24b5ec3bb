#pragma once
// Finding a file by typing: every folder and file of the library as the two lists show them,
// folded once per library (case and accents aside), and the words of a query matched against
// them, each anywhere in the folder's text or the file's. The search runs on a worker of its
// own, so the UI thread never waits for a pass over a big library.
#include "player/Library.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Text as the search compares it: compatibility-decomposed, combining marks dropped, Latin
// letters without a decomposition spelt in ASCII (Æ as AE, Ø as O, ß as ss), case-folded.
QString FoldForSearch(const QString& text);
// The folded words of what the user typed; none for blanks.
QStringList SearchWords(const QString& query);

struct TJumpMatch {
    std::int32_t Folder = -1;
    std::int32_t File = -1;
    bool operator==(const TJumpMatch&) const = default;
};

// The library's texts as shown and as folded, in library order (folder by folder).
class TJumpIndex {
public:
    TJumpIndex() = default;
    explicit TJumpIndex(const TLibrary& library);

    std::int32_t FolderCount() const { return static_cast<std::int32_t>(FolderTexts.size()); }
    std::int32_t FileCount() const { return static_cast<std::int32_t>(FileTexts.size()); }
    // "Folder / Sub - File" as the window lists a match; empty outside the index.
    QString LineText(TJumpMatch m) const;

    // The files whose folder and name hold every word, in library order; all for no words.
    // Gives up and returns false as soon as `stop` says so.
    bool Match(const QStringList& words, std::vector<TJumpMatch>& out,
               const std::function<bool()>& stop = {}) const;

private:
    // The folded texts one after the other in UTF-8, each ended by a line break (no word holds
    // one), with where each begins: one search of the whole buffer per word.
    struct TTexts {
        std::string Buffer;
        std::vector<std::int32_t> Start;
        void Add(const QString& folded);
        // Each text's flag: it holds word.
        void Find(const std::string& word, std::vector<char>& holds) const;
    };
    QStringList FolderTexts, FileTexts; // as shown; the files of all folders one after the other
    TTexts FolderFolded, FileFolded;
    std::vector<std::int32_t> FolderStart; // where each folder's files begin; one past the end
};

// The search of one window: the index follows the library, each query supersedes the last,
// and the matches come back on the thread that asked.
class TJumpSearch : public QObject {
    Q_OBJECT

public:
    explicit TJumpSearch(QObject* parent = nullptr);
    ~TJumpSearch() override;

    // Folds the library's texts anew on the worker; the last query is matched again after.
    void SetLibrary(const TLibrary& library);
    void SetQuery(const QString& query);
    // Nothing is pending: the matches shown are those of the last query on the last library.
    bool Settled() const { return Answered == Asked; }

    const std::vector<TJumpMatch>& Matches() const { return Current; }
    // The index the matches refer to.
    const std::shared_ptr<const TJumpIndex>& Index() const { return CurrentIndex; }

signals:
    void MatchesChanged();

private:
    void Post(std::uint64_t ticket, const QStringList& words);

    QThreadPool Worker;
    std::atomic<std::uint64_t> Latest{0}; // the newest request: older passes give up
    std::uint64_t Asked = 0, Answered = 0;
    QString Query;
    std::vector<TJumpMatch> Current;
    std::shared_ptr<const TJumpIndex> CurrentIndex;

    // Touched by the worker's tasks only (they run one at a time, in order).
    struct TWorkerState {
        std::shared_ptr<const TJumpIndex> Index;
    };
    std::shared_ptr<TWorkerState> State = std::make_shared<TWorkerState>();
};
