#pragma once
// Failures travel as exceptions carrying the finished, user-facing text.
#include <QString>
#include <exception>

class EVelodraError : public std::exception {
public:
    explicit EVelodraError(QString message) : Message(std::move(message)), Utf8(Message.toUtf8()) {}
    const char* what() const noexcept override { return Utf8.constData(); }
    QString Message;

private:
    QByteArray Utf8;
};

// A name as a message shows it: one that no one could read in a box (a second start can be
// handed megabytes) is cut to its first 1,000 characters and an ellipsis.
inline QString ShortenedForDisplay(const QString& s) {
    constexpr qsizetype kMax = 1000;
    return s.size() <= kMax ? s : s.left(kMax) + QChar(0x2026);
}

// A path inside a message: in single quotes, inner single quotes doubled; cut as above.
inline QString QuotedStr(const QString& s) {
    QString inner = ShortenedForDisplay(s);
    inner.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}
