// velodra-info [--json] FILE...: the information the player shows for each file.
#include "platform/FileName.h"
#include "player/UMediaInfo.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void Usage() {
    std::fputs("usage: velodra-info [--json] FILE...\n"
               "Prints title, artist, album, track, year, genre, comment, channel mode,\n"
               "sample rate (Hz), bit rate (kbit/s) and duration (ms) of each file.\n",
               stderr);
}

// Whether the file can be read at all, with the reason when it cannot.
bool CanRead(const std::string& path, std::string& reason) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok) reason = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
    ::close(fd);
    return ok;
}

QByteArray JsonString(const QString& s) {
    QByteArray out = "\"";
    for (const char c : s.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20)
                out += QByteArray("\\u00") + QByteArray::number(u, 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out + "\"";
}

void PrintPlain(const QString& shownPath, const TMediaInfo& m) {
    const QString text = QStringLiteral("Path: %1\nTitle: %2\nArtist: %3\nAlbum: %4\nTrack: %5\n"
                                        "Year: %6\nGenre: %7\nComment: %8\nChannelMode: %9\n")
                             .arg(shownPath, m.Title, m.Artist, m.Album, QString::number(m.Track),
                                  m.Year, m.Genre, m.Comment, m.ChannelMode) +
                         QStringLiteral("SampleRate: %1\nBitRate: %2\nDuration: %3\n")
                             .arg(m.SampleRate)
                             .arg(m.BitRate)
                             .arg(m.Duration);
    std::fputs(text.toUtf8().constData(), stdout);
}

void PrintJson(const QString& shownPath, const TMediaInfo& m) {
    QByteArray line = "{\"path\":" + JsonString(shownPath) + ",\"title\":" + JsonString(m.Title) +
                      ",\"artist\":" + JsonString(m.Artist) + ",\"album\":" + JsonString(m.Album) +
                      ",\"track\":" + QByteArray::number(m.Track) +
                      ",\"year\":" + JsonString(m.Year) + ",\"genre\":" + JsonString(m.Genre) +
                      ",\"comment\":" + JsonString(m.Comment) +
                      ",\"channelMode\":" + JsonString(m.ChannelMode) +
                      ",\"sampleRate\":" + QByteArray::number(m.SampleRate) +
                      ",\"bitRate\":" + QByteArray::number(m.BitRate) +
                      ",\"durationMs\":" + QByteArray::number(m.Duration) + "}\n";
    std::fputs(line.constData(), stdout);
}

} // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool options = true;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (options && a == "--")
            options = false;
        else if (options && a == "--json")
            json = true;
        else if (options && (a == "-h" || a == "--help")) {
            Usage();
            return 2;
        } else if (options && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "velodra-info: unknown option %s\n", a.c_str());
            Usage();
            return 2;
        } else
            files.push_back(a);
    }
    if (files.empty()) {
        Usage();
        return 2;
    }

    int status = 0;
    bool first = true;
    for (const std::string& path : files) {
        const QString name = DecodeFileName(path);
        const QString shown = DisplayFileName(name);
        std::string reason;
        if (!CanRead(path, reason)) {
            std::fprintf(stderr, "velodra-info: cannot read %s: %s\n", shown.toUtf8().constData(),
                         reason.c_str());
            status = 1;
            continue;
        }
        TMediaInfo info;
        info.FilePath = name;
        ReadStreamInfo(info);
        if (json) {
            PrintJson(shown, info);
        } else {
            if (!first) std::fputs("\n", stdout);
            PrintPlain(shown, info);
        }
        first = false;
        std::fflush(stdout);
    }
    return status;
}
