#include "ui/UAbout.h"

#include "platform/FileName.h"
#include "ui/Rules.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <sys/stat.h>

QString VersionText() {
    return QStringLiteral("3.4");
}
QString CopyrightText() {
    return QCoreApplication::translate("TAbout", "(c) 2026 the Velodra developers");
}
QString CountryText() {
    return QCoreApplication::translate("TAbout", "Made in Europe.");
}
QString ContactAddress() {
    return QStringLiteral("velodra@example.org");
}

qint64 FileSizeOf(const QString& path) {
    if (path.isEmpty()) return -1;
    const QByteArray name = EncodeFileName(path);
    struct stat st {};
    // A link that leads nowhere still has an entry of its own.
    if (::stat(name.constData(), &st) != 0 && ::lstat(name.constData(), &st) != 0) return -1;
    return static_cast<qint64>(st.st_size);
}

QString StripTrailingZeros(const QString& text) {
    const QString sep = QLocale().decimalPoint();
    if (sep.isEmpty() || !text.contains(sep)) return text;
    QString s = text;
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(sep)) s.chop(sep.size());
    return s;
}

QString FormatFileSize(qint64 count) {
    struct TUnit {
        qint64 Threshold;
        double Divisor;
        const char* Name;
    };
    // The thresholds sit below the divisors so that 1,030,000 bytes read 0.98 MB, not 1006 KB.
    static const TUnit units[] = {
        {1024000000, 1073741824.0, " GB"},
        {1024000, 1048576.0, " MB"},
        {1000, 1024.0, " KB"},
    };
    for (const TUnit& u : units)
        if (count >= u.Threshold)
            return StripTrailingZeros(
                       QLocale().toString(static_cast<double>(count) / u.Divisor, 'f', 2)) +
                   QLatin1String(u.Name);
    return QString::number(count) + QStringLiteral(" B");
}

namespace {

QString NamePart(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace

QString BuildAboutText(const TAboutInput& in) {
    QStringList lines;
    const auto translated = [](const char* text) {
        return QCoreApplication::translate("TAbout", text);
    };
    lines << in.BaseCaption
          << translated(QT_TRANSLATE_NOOP("TAbout", "version %1")).arg(VersionText()) << QString()
          << translated(QT_TRANSLATE_NOOP(
                 "TAbout",
                 "Folder oriented audio files player. Supports MP3, WMA, FLAC, Ogg Vorbis, "
                 "Opus, M4A and WAV."))
          << QString() << translated(QT_TRANSLATE_NOOP("TAbout", "please, send donation."))
          << QString() << CopyrightText() << CountryText();
    if (in.IsOpen) {
        const TMediaInfo& m = in.Info;
        const QLocale locale;
        const QString indent = QStringLiteral("    ");
        auto add = [&](const char* label, const QString& value) {
            lines << indent + translated(label) + value;
        };
        lines << QString() << translated(QT_TRANSLATE_NOOP("TAbout", "Current media:"));
        if (!m.Title.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Title: "), m.Title);
        if (!m.Artist.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Artist: "), m.Artist);
        if (!m.Album.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Album: "), m.Album);
        if (m.Track > 0) add(QT_TRANSLATE_NOOP("TAbout", "Track: "), QString::number(m.Track));
        if (!m.Year.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Year: "), m.Year);
        if (!m.Genre.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Genre: "), m.Genre);
        if (!m.ChannelMode.isEmpty())
            add(QT_TRANSLATE_NOOP("TAbout", "Channel: "), ChannelModeText(m.ChannelMode));
        if (m.SampleRate > 0)
            add(QT_TRANSLATE_NOOP("TAbout", "Sample rate: "), SampleRateText(m.SampleRate));
        if (m.BitRate > 0)
            add(QT_TRANSLATE_NOOP("TAbout", "Bit rate: "),
                QString::number(m.BitRate) + QStringLiteral(" kbps"));
        add(QT_TRANSLATE_NOOP("TAbout", "Duration: "),
            QStringLiteral("%1m %2s").arg(m.Duration / 60000).arg((m.Duration % 60000) / 1000));
        if (in.FolderText != QStringLiteral("."))
            add(QT_TRANSLATE_NOOP("TAbout", "Folder: "), in.FolderText);
        add(QT_TRANSLATE_NOOP("TAbout", "File: "), DisplayFileName(NamePart(m.FilePath)));
        add(QT_TRANSLATE_NOOP("TAbout", "Size: "), FormatFileSize(FileSizeOf(m.FilePath)));
        add(QT_TRANSLATE_NOOP("TAbout", "Root: "), DisplayFileName(in.RootFolder));
        add(QT_TRANSLATE_NOOP("TAbout", "Count: "),
            translated(QT_TRANSLATE_NOOP("TAbout", "%1 folders, %2 files"))
                .arg(locale.toString(in.FolderCount), locale.toString(in.TotalFileCount)));
        if (!m.Comment.isEmpty()) add(QT_TRANSLATE_NOOP("TAbout", "Comment: "), m.Comment);
    }
    return lines.join(QLatin1Char('\r'));
}

QStringList MixerCandidates() {
    return {QStringLiteral("pavucontrol"), QStringLiteral("pavucontrol-qt"),
            QStringLiteral("gnome-control-center sound"),
            QStringLiteral("kcmshell6 kcm_pulseaudio"), QStringLiteral("kcmshell5 kcm_pulseaudio")};
}

bool StartMixer() {
    for (const QString& command : MixerCandidates()) {
        QStringList args = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (args.isEmpty()) continue;
        const QString program = QStandardPaths::findExecutable(args.takeFirst());
        if (program.isEmpty()) continue;
        if (QProcess::startDetached(program, args)) return true;
    }
    return false;
}

QUrl MailUrl() {
    return QUrl(QStringLiteral("mailto:") + ContactAddress() +
                QStringLiteral("?subject=[Velodra]"));
}

void StartMail() {
    QDesktopServices::openUrl(MailUrl());
}
