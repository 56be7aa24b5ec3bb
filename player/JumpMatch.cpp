#include "player/JumpMatch.h"

#include "platform/FileName.h"
#include "player/SessionRules.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <unicode/translit.h>
#include <unicode/unistr.h>
#include <utility>

namespace {

bool IsAscii(const QString& s) {
    return std::all_of(s.cbegin(), s.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// Latin letters that have no decomposition (Æ, Ø, Đ, Ł, ß, Þ) spelt as ICU spells them in ASCII.
// A transliterator is not to be shared between threads: one per thread that folds.
QString LatinToAscii(const QString& s) {
    thread_local const std::unique_ptr<icu::Transliterator> latin = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(
            icu::Transliterator::createInstance("Latin-ASCII", UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }();
    if (!latin) return s; // without ICU's data the letters stay as they are
    icu::UnicodeString u(reinterpret_cast<const char16_t*>(s.utf16()),
                         static_cast<int32_t>(s.size()));
    latin->transliterate(u);
    return QString(reinterpret_cast<const QChar*>(u.getBuffer()), u.length());
}

// A file's name as the file list shows it: without its extension, underscores as spaces.
QString FileText(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return DisplayFileName(CleanDisplayName(dot > 0 ? name.left(dot) : name));
}

} // namespace

QString FoldForSearch(const QString& text) {
    if (IsAscii(text)) return text.toLower();
    QString s = text.normalized(QString::NormalizationForm_KD);
    s.removeIf([](QChar c) {
        const QChar::Category k = c.category();
        return k == QChar::Mark_NonSpacing || k == QChar::Mark_Enclosing;
    });
    if (!IsAscii(s)) s = LatinToAscii(s);
    return s.toCaseFolded();
}

QStringList SearchWords(const QString& query) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words = FoldForSearch(query).split(blanks, Qt::SkipEmptyParts);
    words.removeDuplicates();
    return words;
}

void TJumpIndex::TTexts::Add(const QString& folded) {
    Start.push_back(static_cast<std::int32_t>(Buffer.size()));
    Buffer += folded.toStdString();
    Buffer += '\n';
}

void TJumpIndex::TTexts::Find(const std::string& word, std::vector<char>& holds) const {
    holds.assign(Start.size(), 0);
    const char* const begin = Buffer.data();
    const char* const end = begin + Buffer.size();
    auto next = Start.cbegin();
    for (const char* at = begin; at < end;) {
        const void* hit = memmem(at, static_cast<size_t>(end - at), word.data(), word.size());
        if (!hit) break;
        // The text the hit lies in; the search goes on at the next one.
        const auto offset = static_cast<std::int32_t>(static_cast<const char*>(hit) - begin);
        while (next != Start.cend() && *next <= offset) // hits come in order: a walk, no search
            ++next;
        holds[static_cast<size_t>(next - Start.cbegin() - 1)] = 1;
        at = next == Start.cend() ? end : begin + *next;
    }
}

TJumpIndex::TJumpIndex(const TLibrary& library) {
    const QStringList folders = library.FolderDisplayList();
    FolderStart.reserve(static_cast<size_t>(folders.size()) + 1);
    FileTexts.reserve(library.TotalFileCount());
    for (qsizetype f = 0; f < folders.size(); ++f) {
        // The folder as its list shows it ("Rock / Best Of").
        FolderTexts << DisplayFileName(CleanDisplayName(folders[f]))
                           .replace(QLatin1Char('/'), QStringLiteral(" / "));
        FolderFolded.Add(FoldForSearch(FolderTexts.back()));
        FolderStart.push_back(static_cast<std::int32_t>(FileTexts.size()));
        for (const QString& name : library.FilesInFolder(static_cast<int>(f))) {
            FileTexts << FileText(name);
            FileFolded.Add(FoldForSearch(FileTexts.back()));
        }
    }
    FolderStart.push_back(static_cast<std::int32_t>(FileTexts.size()));
}

QString TJumpIndex::LineText(TJumpMatch m) const {
    if (m.Folder < 0 || m.Folder >= FolderCount() || m.File < 0) return {};
    const std::int32_t at = FolderStart[static_cast<size_t>(m.Folder)] + m.File;
    if (at >= FolderStart[static_cast<size_t>(m.Folder) + 1]) return {};
    return FolderTexts[m.Folder] + QStringLiteral("  \u2013  ") + FileTexts[at];
}

bool TJumpIndex::Match(const QStringList& words, std::vector<TJumpMatch>& out,
                       const std::function<bool()>& stop) const {
    out.clear();
    // A word at a time, so that a pasted page of words costs time, not memory.
    std::vector<char> alive(static_cast<size_t>(FileCount()), 1), inFolder, inFile;
    for (const QString& w : words) {
        const std::string word = w.toStdString();
        FolderFolded.Find(word, inFolder);
        FileFolded.Find(word, inFile);
        for (size_t f = 0; f < inFolder.size(); ++f)
            for (auto at = static_cast<size_t>(FolderStart[f]);
                 at < static_cast<size_t>(FolderStart[f + 1]); ++at)
                alive[at] &= static_cast<char>(inFolder[f] | inFile[at]);
        if (stop && stop()) return false;
    }
    for (std::int32_t f = 0; f < FolderCount(); ++f)
        for (std::int32_t at = FolderStart[static_cast<size_t>(f)];
             at < FolderStart[static_cast<size_t>(f) + 1]; ++at)
            if (alive[static_cast<size_t>(at)])
                out.push_back({f, at - FolderStart[static_cast<size_t>(f)]});
    return true;
}

TJumpSearch::TJumpSearch(QObject* parent) : QObject(parent) {
    Worker.setMaxThreadCount(1); // tasks in order: a query waits for the index it needs
    Worker.setObjectName(QStringLiteral("JumpSearch"));
}

TJumpSearch::~TJumpSearch() {
    Latest = ~std::uint64_t{0};
    Worker.clear();
    Worker.waitForDone();
}

void TJumpSearch::SetLibrary(const TLibrary& library) {
    const std::uint64_t ticket = Latest = ++Asked;
    // The matches on screen name places in the old library: none are offered any more.
    Current.clear();
    CurrentIndex.reset();
    emit MatchesChanged();
    Worker.start([library, words = SearchWords(Query), ticket, state = State, this] {
        // The library is a value: the copy is the worker's own while the session moves on.
        state->Index = std::make_shared<const TJumpIndex>(library);
        if (Latest != ticket) return; // a newer query matches on this index
        Post(ticket, words);
    });
}

void TJumpSearch::SetQuery(const QString& query) {
    Query = query;
    const std::uint64_t ticket = Latest = ++Asked;
    Worker.start([words = SearchWords(query), ticket, this] { Post(ticket, words); });
}

// On the worker: the matches of words for the ticket, sent back unless a newer ticket came.
void TJumpSearch::Post(std::uint64_t ticket, const QStringList& words) {
    TWorkerState& s = *State;
    if (!s.Index) s.Index = std::make_shared<const TJumpIndex>(); // no library yet: no matches
    std::vector<TJumpMatch> found;
    if (!s.Index->Match(words, found, [&] { return Latest != ticket; })) return;
    QMetaObject::invokeMethod(
        this,
        [this, ticket, index = s.Index, found = std::move(found)]() mutable {
            if (ticket != Latest) return; // superseded while on its way
            Answered = ticket;
            Current = std::move(found);
            CurrentIndex = std::move(index);
            emit MatchesChanged();
        },
        Qt::QueuedConnection);
}
