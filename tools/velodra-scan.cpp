// velodra-scan ROOT [--include-wma] [--include-other] [--natural-order] [--json]: scans ROOT
// exactly as the player does and prints the library: each folder key followed by its files in
// library order, or one JSON document. With --snapshot FILE it prints the library a snapshot
// file holds instead.
#include "platform/Error.h"
#include "platform/FileName.h"
#include "platform/MediaDevice.h"
#include "player/LibrarySnapshot.h"
#include "player/UFormPlayer.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
void Put(std::string& out, const QString& s) {
    out += EncodeFileNameStd(s);
}

// JSON string: a byte of a name that is not UTF-8 (carried as U+DC80 + byte) is written as its
// \u escape, so the document stays valid UTF-8 and the name can be turned back into bytes.
void PutJson(std::string& out, const QString& s) {
    out += '"';
    char buf[8];
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s.at(i).unicode();
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && i + 1 < n && s.at(i + 1).unicode() >= 0xDC00 &&
            s.at(i + 1).unicode() <= 0xDFFF) {
            out += EncodeFileNameStd(s.mid(i, 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += EncodeFileNameStd(QString(QChar(c)));
        }
    }
    out += '"';
}

// On stdout with 0 when asked for, on stderr with 2 after a usage error.
int Usage(std::FILE* to = stderr) {
    std::fputs("usage: velodra-scan ROOT [--include-wma] [--include-other] [--natural-order]\n"
               "                    [--json]\n"
               "       velodra-scan --snapshot FILE [--json]\n"
               "Scans ROOT as the player does and prints each folder that holds audio files,\n"
               "followed by its files, in the player's order.\n"
               "  --snapshot FILE  the library a snapshot file holds (the player keeps one in\n"
               "                   ~/.cache/velodra/library.snapshot), with its root and kinds\n"
               "  --include-wma    WMA files too (\"Includes WMA\")\n"
               "  --include-other  FLAC, Ogg Vorbis, Opus, M4A and WAV files too\n"
               "                   (\"Includes Other Formats\")\n"
               "  --natural-order  numbers in names by their value (\"Natural Order\")\n"
               "  --json           one JSON document instead\n"
               "  --help           this text\n"
               "Exit status: 0 when the scan found files, 1 when it did not or ROOT is not a\n"
               "folder or FILE is no snapshot (the message on stderr), 2 for a usage error.\n",
               to);
    return to == stdout ? 0 : 2;
}
} // namespace

int main(int argc, char** argv) {
    QString root, snapshot;
    bool haveRoot = false, json = false, natural = false, haveSnapshot = false;
    TAudioTypes types;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--include-wma") == 0)
            types.Wma = true;
        else if (std::strcmp(argv[i], "--include-other") == 0)
            types.Other = true;
        else if (std::strcmp(argv[i], "--natural-order") == 0)
            natural = true;
        else if (std::strcmp(argv[i], "--json") == 0)
            json = true;
        else if (std::strcmp(argv[i], "--snapshot") == 0 && i + 1 < argc && !haveSnapshot) {
            snapshot = DecodeFileName(std::string_view(argv[++i]));
            haveSnapshot = true;
        } else if (std::strcmp(argv[i], "--help") == 0)
            return Usage(stdout);
        else if (std::strncmp(argv[i], "--", 2) == 0 || haveRoot)
            return Usage();
        else {
            root = DecodeFileName(std::string_view(argv[i]));
            haveRoot = true;
        }
    }
    if (haveRoot == haveSnapshot) return Usage();

    // No window and no application object: the scan reports to no one and needs no display.
    // Nothing is played, so the silent device stays on this thread: a thread of its own would
    // run an event loop, which without an application object only warns on stderr.
    TPlaybackEngine::TOptions options;
    options.OwnThread = false;
    TFormPlayer player(CreateSilentMediaDevice(), nullptr, options);
    if (haveSnapshot) {
        QFile file(snapshot);
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        std::optional<TLibrary> library = DecodeSnapshot(bytes);
        if (!library) {
            std::fprintf(stderr, "%s: not a snapshot this version reads (or damaged)\n",
                         EncodeFileName(snapshot).constData());
            return 1;
        }
        const TSnapshotHead head = *DecodeSnapshotHead(bytes);
        // The kinds on stderr: stdout stays in the scan's own formats.
        std::fprintf(stderr, "snapshot of %s, %zu folders read%s%s\n",
                     EncodeFileName(head.Root).constData(), library->Tree().size(),
                     head.Types.Wma ? ", with WMA" : "",
                     head.Types.Other ? ", with other formats" : "");
        player.Library = std::move(*library);
    } else {
        try {
            player.LoadFolder(root, types, natural);
        } catch (const EVelodraError& e) {
            std::fprintf(stderr, "%s\n", EncodeFileName(e.Message).constData());
            return 1;
        }
    }

    const TLibrary& library = player.Library;
    std::string out;
    out.reserve(static_cast<size_t>(library.Files().size()) * 48 + 64);
    if (json) {
        out += "{\"root\": ";
        PutJson(out, library.RootFolder);
        out += ", \"folders\": [";
        for (qsizetype f = 0; f < library.Folders().size(); ++f) {
            out += f ? ",\n  {\"key\": " : "\n  {\"key\": ";
            PutJson(out, library.Folders().at(f));
            out += ", \"files\": [";
            bool first = true;
            for (const QString& n : library.FilesInFolder(static_cast<int>(f))) {
                if (!first) out += ", ";
                first = false;
                PutJson(out, n);
            }
            out += "]}";
        }
        out += "\n], \"fileCount\": " + std::to_string(library.TotalFileCount()) + "}\n";
    } else {
        for (qsizetype f = 0; f < library.Folders().size(); ++f) {
            Put(out, library.Folders().at(f));
            out += '\n';
            for (const QString& n : library.FilesInFolder(static_cast<int>(f))) {
                out += "  ";
                Put(out, n);
                out += '\n';
            }
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
