// Finding files by typing: the folding and matching rules as one table, and a seeded run of
// typing, deleting and library changes whose every settled answer is checked against a plain
// word-by-word comparison.
#include "player/JumpMatch.h"

#include <QCoreApplication>
#include <chrono>
#include <gtest/gtest.h>
#include <random>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

QStringList Lines(const TJumpIndex& index, const std::vector<TJumpMatch>& matches) {
    QStringList out;
    for (const TJumpMatch m : matches)
        out << index.LineText(m);
    return out;
}

TLibrary Sample() {
    return TLibrary(QStringLiteral("/m"), {QStringLiteral("/Café del Mar/01 Ærø Sunrise.mp3"),
                                           QStringLiteral("/Café del Mar/02 Night_Drive.mp3"),
                                           QStringLiteral("/Rock/Best Of/01 Intro.mp3"),
                                           QStringLiteral("/Rock/Best Of/02 Straße.wma"),
                                           QStringLiteral("/Øresund/Björk Live.mp3")});
}

TEST(JumpMatch, FoldsAndMatchesEveryWordInTheFolderOrTheName) {
    const QString sunrise = QStringLiteral("Café del Mar  –  01 Ærø Sunrise");
    const QString drive = QStringLiteral("Café del Mar  –  02 Night Drive");
    const QString intro = QStringLiteral("Rock / Best Of  –  01 Intro");
    const QString strasse = QStringLiteral("Rock / Best Of  –  02 Straße");
    const QString bjork = QStringLiteral("Øresund  –  Björk Live");
    const struct {
        const char* Query;
        QStringList Lines;
    } rows[] = {
        {"cafe", {sunrise, drive}},                     // accent in the folder
        {"CAFÉ", {sunrise, drive}},                     // case and accent in the query
        {"aero", {sunrise}},                            // Æ spelt AE, ø as o
        {"strasse", {strasse}},                         // ß as ss
        {"OresUND bjork", {bjork}},                     // Ø as O, ö as o
        {"best intro", {intro}},                        // words of the folder and the name
        {"intro best", {intro}},                        // in any order
        {"rock best", {intro, strasse}},                // the folder's words alone: its files
        {"night drive", {drive}},                       // underscores read as spaces
        {"\xef\xbc\x90\xef\xbc\x92", {drive, strasse}}, // full-width digits are digits
        {"  01\t", {sunrise, intro}},                   // blanks around words
        {"", {sunrise, drive, intro, strasse, bjork}},  // nothing typed: everything
        {"intro sunrise", {}},                          // the words in different files
        {"zzz", {}},                                    // nothing found
        {"mp3", {}},                                    // the extension is not shown
        {"mar–", {}},                                   // the separator is no part of either
    };
    const TJumpIndex index(Sample());
    for (const auto& row : rows) {
        std::vector<TJumpMatch> found;
        ASSERT_TRUE(index.Match(SearchWords(QString::fromUtf8(row.Query)), found));
        EXPECT_EQ(Lines(index, found), row.Lines) << row.Query;
    }
}

// The answer as a plain comparison gives it: each folded word in the folder's or the name's text.
QStringList Plain(const TLibrary& library, const QString& query) {
    const QStringList words = SearchWords(query);
    const TJumpIndex index(library);
    QStringList out;
    for (int f = 0; f < library.FolderCount(); ++f)
        for (int i = 0; i < library.FileCountInFolder(f); ++i) {
            const QStringList parts = index.LineText({f, i}).split(QStringLiteral("  –  "));
            const QString folder = FoldForSearch(parts[0]), name = FoldForSearch(parts[1]);
            if (std::all_of(words.cbegin(), words.cend(), [&](const QString& w) {
                    return folder.contains(w) || name.contains(w);
                }))
                out << index.LineText({f, i});
        }
    return out;
}

TEST(JumpSearch, EachSettledAnswerIsThatOfTheLastQueryOnTheLastLibrary) {
    std::mt19937 rng(29);
    const QString letters = QStringLiteral("aeiorsøéÆß 0123");
    auto randomLibrary = [&] {
        QStringList paths;
        for (int f = 0; f < 30; ++f)
            for (int i = 0; i < 1 + static_cast<int>(rng() % 4); ++i) {
                QString folder, name;
                for (int k = 0; k < 6; ++k) {
                    folder += letters[static_cast<qsizetype>(rng() % 15)];
                    name += letters[static_cast<qsizetype>(rng() % 15)];
                }
                paths << QStringLiteral("/%1 %2/%3 %4.mp3").arg(f).arg(folder).arg(i).arg(name);
            }
        return TLibrary(QStringLiteral("/r"), paths);
    };
    TJumpSearch search;
    TLibrary library = randomLibrary();
    search.SetLibrary(library);
    QString typed;
    for (int step = 0; step < 300; ++step) {
        const unsigned what = rng() % 10;
        if (what == 0) {
            library = randomLibrary();
            search.SetLibrary(library);
        } else if (what < 3 && !typed.isEmpty()) {
            typed.chop(1);
        } else {
            typed += letters[static_cast<qsizetype>(rng() % 15)];
        }
        if (what != 0) search.SetQuery(typed);
        if (rng() % 3 != 0) continue; // fast typing: the next key before this one's answer
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!search.Settled() && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(search.Settled()) << "no answer within 10 s";
        ASSERT_TRUE(search.Index());
        EXPECT_EQ(Lines(*search.Index(), search.Matches()), Plain(library, typed)) << step;
    }
}

} // namespace
