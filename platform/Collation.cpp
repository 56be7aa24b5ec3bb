#include "platform/Collation.h"

TCollation::TCollation(const QLocale& locale) : Collator(locale) {
    Collator.setCaseSensitivity(Qt::CaseInsensitive);
    Collator.setNumericMode(false);
    FoldFirst = locale.language() == QLocale::C;
}

int TCollation::Compare(const QString& a, const QString& b) const {
    const int c = Collator.compare(Prepared(a), Prepared(b));
    return c != 0 ? c : QString::compare(a, b, Qt::CaseSensitive);
}

bool TCollation::Equivalent(const QString& a, const QString& b) const {
    return Collator.compare(Prepared(a), Prepared(b)) == 0;
}
