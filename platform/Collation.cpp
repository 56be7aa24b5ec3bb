#include "platform/Collation.h"

namespace {
// The C locale compares code points and knows no numbers: natural order there takes ICU's
// common rules (English adds no tailoring to them).
QLocale CollationLocale(const QLocale& locale, bool natural) {
    return natural && locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}
} // namespace

TCollation::TCollation(const QLocale& locale, bool natural)
    : Collator(CollationLocale(locale, natural)) {
    Collator.setCaseSensitivity(Qt::CaseInsensitive);
    Collator.setNumericMode(natural);
    FoldFirst = Collator.locale().language() == QLocale::C;
}

int TCollation::Compare(const QString& a, const QString& b) const {
    const int c = Collator.compare(Prepared(a), Prepared(b));
    return c != 0 ? c : QString::compare(a, b, Qt::CaseSensitive);
}

bool TCollation::Equivalent(const QString& a, const QString& b) const {
    return Collator.compare(Prepared(a), Prepared(b)) == 0;
}
