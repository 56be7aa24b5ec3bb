#include "ui/Rules.h"

#include <QLocale>

QString SampleRateText(std::uint32_t hz) {
    const QLocale locale;
    QString s = locale.toString(hz / 1000.0, 'f', 1) + QStringLiteral(" kHz");
    s.replace(locale.decimalPoint() + QStringLiteral("0 kHz"), QStringLiteral(" kHz"));
    return s;
}

QString RateText(std::uint32_t sampleRateHz, std::uint32_t bitRateKbps) {
    if (bitRateKbps == 0) return QString();
    return SampleRateText(sampleRateHz) + QStringLiteral("  ") + QString::number(bitRateKbps) +
           QStringLiteral(" kbps");
}

QString ArtistLine(const QString& artist, const QString& album,
                   const std::function<bool(const QString&)>& fits) {
    if (artist.isEmpty()) return album;
    if (album.isEmpty()) return artist;
    const QString both = artist + QStringLiteral(" - ") + album;
    return fits(both) ? both : artist;
}

QPoint KeepFrameOnArea(const QRect& frame, const QRect& area) {
    QRect r = frame;
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r.topLeft();
}
