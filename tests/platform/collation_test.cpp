// The library order: locale collation with case ignored, exact text between equal names.
#include "platform/Collation.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <vector>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {
int Sign(int v) {
    return (v > 0) - (v < 0);
}

struct TOrderCase {
    const char* Locale;
    const char* A;
    const char* B;
    int Expected; // sign of Compare(A, B)
    bool Natural = false;
};

class CollationOrderTest : public ::testing::TestWithParam<TOrderCase> {};
} // namespace

TEST_P(CollationOrderTest, ComparesAndKeysAgree) {
    const TOrderCase& c = GetParam();
    const TCollation coll{QLocale(QString::fromLatin1(c.Locale)), c.Natural};
    const QString a = QString::fromUtf8(c.A), b = QString::fromUtf8(c.B);
    EXPECT_EQ(Sign(coll.Compare(a, b)), c.Expected);
    EXPECT_EQ(Sign(coll.Compare(b, a)), -c.Expected);
    EXPECT_EQ(Sign(TCollation::CompareKeys(coll.Key(a), coll.Key(b))), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, CollationOrderTest,
    ::testing::Values(
        // The whole path is compared: a subfolder can sort before the folder's own files.
        TOrderCase{"en_US", "./A/B/y.mp3", "./A/x.mp3", -1},
        TOrderCase{"en_US", "./a.mp3", "./B.mp3", -1}, // case ignored
        TOrderCase{"en_US", "./Zed.mp3", "./apple.mp3", 1},
        TOrderCase{"en_US", "./10.mp3", "./9.mp3", -1},    // no number order
        TOrderCase{"de_DE", "\xc3\x84pfel", "Apfelz", -1}, // umlaut with its base letter
        TOrderCase{"de_DE", "\xc3\x96l", "Orange", -1},
        TOrderCase{"de_DE", "Zebra", "\xc3\xa4rger", 1},
        TOrderCase{"C", "rock/b", "Rock/c", -1}, // the C locale also ignores case
        TOrderCase{"C", "Rock/b", "rock/a", 1},
        // Natural order: numbers by value, in folder and file names alike.
        TOrderCase{"en_US", "./Disc 10/01.mp3", "./Disc 2/01.mp3", 1, true},
        TOrderCase{"de_DE", "./Track 9.mp3", "./track 10.mp3", -1, true},
        TOrderCase{"C", "./Disc 10/a.mp3", "./Disc 2/a.mp3", 1, true},
        TOrderCase{"C", "./Disc 10/a.mp3", "./Disc 2/a.mp3", -1}, // option off
        // Leading zeros: the value counts, the exact text only between equal values.
        TOrderCase{"en_US", "./007.mp3", "./8.mp3", -1, true},
        TOrderCase{"en_US", "./007.mp3", "./7.mp3", -1, true},
        // Mixed text: letters still decide before the number that follows them.
        TOrderCase{"en_US", "./a10b.mp3", "./a9c.mp3", 1, true},
        TOrderCase{"en_US", "./b1.mp3", "./a20.mp3", 1, true},
        TOrderCase{"de_DE", "\xc3\x84pfel 10", "Apfel 9", 1, true}));

TEST(CollationTest, NamesEqualButForCaseAreDistinctAndOrderedByExactText) {
    for (const char* locale : {"en_US", "de_DE", "C"}) {
        SCOPED_TRACE(locale);
        const TCollation coll{QLocale(QString::fromLatin1(locale))};
        EXPECT_TRUE(coll.Equivalent("Song.mp3", "song.mp3"));
        EXPECT_FALSE(coll.Equivalent("Song.mp3", "Sang.mp3"));
        EXPECT_NE(coll.Compare("Song.mp3", "song.mp3"), 0);
        EXPECT_EQ(Sign(coll.Compare("Song.mp3", "song.mp3")),
                  -Sign(coll.Compare("song.mp3", "Song.mp3")));
        EXPECT_EQ(coll.Compare("Song.mp3", "Song.mp3"), 0);
        EXPECT_EQ(TCollation::CompareKeys(coll.Key("Song.mp3"), coll.Key("Song.mp3")), 0);
    }
}

TEST(CollationTest, SortingByKeysMatchesSortingByCompare) {
    const TCollation coll{QLocale(QStringLiteral("de_DE"))};
    QStringList items{"./Rock/b.mp3",
                      "./rock/a.mp3",
                      "./Rock/A.mp3",
                      "./\xc3\x84/x.mp3",
                      "./A/x.mp3",
                      "./a.mp3",
                      "./A.mp3",
                      "./ä.mp3",
                      "./Z",
                      "./z/1.mp3",
                      QString(QChar(0xDCFF)) + ".mp3"};
    std::vector<TCollation::TKey> keys;
    for (const QString& s : items)
        keys.push_back(coll.Key(s));
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return TCollation::CompareKeys(a, b) < 0; });
    QStringList byKeys;
    for (const auto& k : keys)
        byKeys.append(k.Text);
    QStringList byCompare = items;
    std::sort(byCompare.begin(), byCompare.end(),
              [&](const QString& a, const QString& b) { return coll.Compare(a, b) < 0; });
    EXPECT_EQ(byKeys, byCompare);
    // A strict total order: every neighbour pair strictly ascends.
    for (qsizetype i = 1; i < byKeys.size(); ++i)
        EXPECT_LT(coll.Compare(byKeys[i - 1], byKeys[i]), 0);
}
