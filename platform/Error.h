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

// A path inside a message: in single quotes, inner single quotes doubled.
inline QString QuotedStr(const QString& s) {
    QString inner = s;
    inner.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}
