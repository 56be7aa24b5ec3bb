#pragma once
// The library order: the user's locale collation with case ignored. Names that collate equal
// but differ in their exact text ("Song.mp3", "song.mp3") are different files on Linux, so they
// are ordered between themselves by their exact text instead of being taken for one.
// In natural order, numbers within names compare by their value ("Disc 2" before "Disc 10"),
// through ICU's numeric collation.
#include <QCollator>
#include <QLocale>
#include <QString>

class TCollation {
public:
    // The default locale is the user's one unless the program chose another.
    explicit TCollation(const QLocale& locale = QLocale(), bool natural = false);

    // <0, 0 or >0; 0 only for identical texts.
    int Compare(const QString& a, const QString& b) const;
    // True when a and b collate equal with case ignored (exact text may differ).
    bool Equivalent(const QString& a, const QString& b) const;

    // A key to sort many strings fast: compare keys with CompareKeys.
    struct TKey {
        QCollatorSortKey Collated;
        QString Text;
    };
    TKey Key(const QString& s) const { return TKey{Collator.sortKey(Prepared(s)), s}; }
    static int CompareKeys(const TKey& a, const TKey& b) {
        const int c = a.Collated.compare(b.Collated);
        return c != 0 ? c : QString::compare(a.Text, b.Text, Qt::CaseSensitive);
    }

private:
    // The C locale's keys are plain code points that keep case: there case is folded first.
    QString Prepared(const QString& s) const { return FoldFirst ? s.toCaseFolded() : s; }

    QCollator Collator;
    bool FoldFirst = false;
};
