#include "Arguments.h"

#include "platform/FileName.h"

#include <QCoreApplication>
#include <string_view>

QStringList DecodeArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << DecodeFileName(std::string_view(argv[i]));
    return args;
}

namespace {
QString Usage(const QString& settingsFile) {
    return QCoreApplication::translate(
               "TCommandLine",
               "Usage: velodra [FOLDER | FILE]\n"
               "       velodra --help | --version\n"
               "\n"
               "Velodra plays the audio files below one root folder, folder by folder.\n"
               "\n"
               "  FOLDER     becomes the root folder: every folder below it that holds MP3\n"
               "             files is played (WMA files with \"Includes WMA\"; FLAC, Ogg\n"
               "             Vorbis, Opus, M4A and WAV files with \"Includes Other Formats\").\n"
               "  FILE       an audio file to play, in the library of its folder.\n"
               "             Without either, the last run's root, folder and file return.\n"
               "             While Velodra runs, a second start hands its argument over.\n"
               "  --help     prints this text.\n"
               "  --version  prints the version.\n"
               "\n"
               "Settings: $XDG_CONFIG_HOME/velodra.ini, else ~/.config/velodra.ini\n"
               "          (here %1).\n"
               "\n"
               "Tools:\n"
               "  velodra-info [--json] FILE...     prints what Velodra reads from audio files\n"
               "  velodra-scan ROOT [--include-wma] [--include-other] [--natural-order]\n"
               "               [--json]\n"
               "                                    lists the library Velodra makes of ROOT\n")
        .arg(DisplayFileName(settingsFile));
}
} // namespace

TCommandLine ParseCommandLine(const QStringList& args, const QString& version,
                              const QString& settingsFile) {
    TCommandLine out;
    bool options = true;
    for (const QString& a : args) {
        if (options && a == QLatin1String("--")) {
            options = false;
        } else if (options && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            out.Print = Usage(settingsFile);
            return out;
        } else if (options && a == QLatin1String("--version")) {
            out.Print = QStringLiteral("velodra %1\n").arg(version);
            return out;
        } else {
            (out.Args.isEmpty() ? out.Args : out.Ignored) << a;
        }
    }
    return out;
}
