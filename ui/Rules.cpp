#include "ui/Rules.h"

#include <QLocale>

TCommandStates DecideCommandStates(const TCommandInput& in) {
    TCommandStates s = in.Last;
    s.Play = in.FolderIndex >= 0 && in.FileIndex >= 0;
    s.Pause = s.Play && in.PlayerIsPlaying;
    s.Stop = s.Pause;
    // While a list is dropped down its moves keep their states: the selection shown there is
    // not yet acted on.
    if (in.edFolderTag == 0) {
        s.PrevFolder = !in.Random && in.FolderIndex > 0;
        s.NextFolder = !in.Random && in.FolderIndex < in.FolderCount - 1;
        if (in.edFileTag == 0) {
            s.PrevFile = !in.Random && (s.PrevFolder || in.FileIndex > 0);
            s.NextFile = in.Random || in.Repeat ? in.FolderCount > 1 || in.FileCount > 1
                                                : s.NextFolder || in.FileIndex < in.FileCount - 1;
        }
    }
    s.FolderList = in.FolderCount > 0;
    s.FileList = in.FileCount > 0;
    s.LoopLit = in.Repeat;
    s.ShuffleLit = in.Random;
    return s;
}

QString CleanDisplayName(const QString& s) {
    QString r = s;
    r.replace(QLatin1Char('_'), QLatin1Char(' '));
    while (r.contains(QLatin1String("  ")))
        r.replace(QLatin1String("  "), QLatin1String(" "));
    return r;
}

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

QPoint KeepFrameOnArea(const QRect& frame, const QRect& area) {
    QRect r = frame;
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r.topLeft();
}

int ResumePosition(int saved, int duration) {
    // Resuming in the last seconds would only play the end and move on at once.
    constexpr int kTailMs = 5000;
    if (saved <= 0 || duration <= 0 || saved > duration - kTailMs) return 0;
    return saved;
}
