// velodra-info [--json] FILE...: the information the player shows for each file.
#include "platform/FileName.h"
#include "player/UMediaInfo.h"
#include "tags/ByteSource.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// On stdout when asked for, on stderr after a usage error.
void Usage(std::FILE* to) {
    std::fputs("usage: velodra-info [--json] FILE...\n"
               "Prints title, artist, album, track, year, genre, comment, channel mode,\n"
               "sample rate (Hz), bit rate (kbit/s) and duration (ms) of each file: MP3, WMA,\n"
               "FLAC, Ogg Vorbis, Opus, M4A or WAV.\n"
               "  --json   one JSON object per file per line\n"
               "  --help   this text\n"
               "Exit status: 0 when every file was read, 1 when one could not be, 2 for a\n"
               "usage error.\n",
               to);
}

// Everything for stdout gathers here and goes out in large writes.
class TOutput {
public:
    ~TOutput() { Flush(); }
    void Flush() {
        if (!Text.empty()) std::fwrite(Text.data(), 1, Text.size(), stdout);
        Text.clear();
        std::fflush(stdout);
    }
    void FlushIfFull() {
        if (Text.size() >= kChunk) Flush();
    }
    TOutput& operator<<(std::string_view s) {
        Text.append(s);
        return *this;
    }
    TOutput& operator<<(long long n) {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        Text.append(digits, end);
        return *this;
    }
    // JSON string: quotes, backslashes and control characters escaped.
    void Json(const QString& s) {
        static const TEscapes kJson = [] {
            TEscapes e;
            for (int c = 0; c < 0x20; ++c)
                e[c] = std::string("\\u00") + kHex[c >> 4] + kHex[c & 15];
            e['\n'] = "\\n";
            e['\r'] = "\\r";
            e['\t'] = "\\t";
            e['"'] = "\\\"";
            e['\\'] = "\\\\";
            return e;
        }();
        Text += '"';
        Utf8(s, kJson);
        Text += '"';
    }
    // Plain text: the whole value on its line, each control character shown as its Unicode
    // control picture (U+0000 as U+2400 and so on, DEL as U+2421).
    void Plain(const QString& s) {
        static const TEscapes kPlain = [] {
            TEscapes e;
            for (int c = 0; c < 0x20; ++c)
                e[c] = std::string("\xE2\x90") + static_cast<char>(0x80 + c);
            e[0x7F] = "\xE2\x90\xA1";
            return e;
        }();
        Utf8(s, kPlain);
    }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    static constexpr char kHex[] = "0123456789abcdef";
    // What each ASCII character is written as; empty: itself.
    using TEscapes = std::array<std::string, 128>;

    // UTF-8 of s straight into the text, as QString::toUtf8 writes it (a lone surrogate as
    // '?'), with ASCII characters escaped. No unit takes more than 6 bytes.
    void Utf8(const QString& s, const TEscapes& escapes) {
        const std::size_t start = Text.size();
        Text.resize(start + 6 * static_cast<std::size_t>(s.size()));
        char* out = Text.data() + start;
        const auto put = [&out](char32_t b) { *out++ = static_cast<char>(b); };
        const char16_t* p = reinterpret_cast<const char16_t*>(s.constData());
        const char16_t* end = p + s.size();
        while (p < end) {
            const char16_t c = *p++;
            if (c < 0x80) {
                const std::string& e = escapes[c];
                if (e.empty()) {
                    put(c);
                } else {
                    std::memcpy(out, e.data(), e.size());
                    out += e.size();
                }
            } else if (c < 0x800) {
                put(0xC0 | (c >> 6));
                put(0x80 | (c & 0x3F));
            } else if (c < 0xD800 || c > 0xDFFF) {
                put(0xE0 | (c >> 12));
                put(0x80 | ((c >> 6) & 0x3F));
                put(0x80 | (c & 0x3F));
            } else if (c < 0xDC00 && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
                const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (*p++ - 0xDC00);
                put(0xF0 | (u >> 18));
                put(0x80 | ((u >> 12) & 0x3F));
                put(0x80 | ((u >> 6) & 0x3F));
                put(0x80 | (u & 0x3F));
            } else {
                put('?');
            }
        }
        Text.resize(static_cast<std::size_t>(out - Text.data()));
    }

    std::string Text;
};

void PrintPlain(TOutput& out, const QString& shownPath, const TMediaInfo& m) {
    const std::pair<const char*, const QString*> texts[] = {{"Path: ", &shownPath},
                                                            {"\nTitle: ", &m.Title},
                                                            {"\nArtist: ", &m.Artist},
                                                            {"\nAlbum: ", &m.Album}};
    for (const auto& [key, value] : texts) {
        out << key;
        out.Plain(*value);
    }
    out << "\nTrack: " << m.Track;
    const std::pair<const char*, const QString*> more[] = {{"\nYear: ", &m.Year},
                                                           {"\nGenre: ", &m.Genre},
                                                           {"\nComment: ", &m.Comment},
                                                           {"\nChannelMode: ", &m.ChannelMode}};
    for (const auto& [key, value] : more) {
        out << key;
        out.Plain(*value);
    }
    out << "\nSampleRate: " << m.SampleRate << "\nBitRate: " << m.BitRate
        << "\nDuration: " << m.Duration << "\n";
}

void PrintJson(TOutput& out, const QString& shownPath, const TMediaInfo& m) {
    out << "{\"path\":";
    out.Json(shownPath);
    out << ",\"title\":";
    out.Json(m.Title);
    out << ",\"artist\":";
    out.Json(m.Artist);
    out << ",\"album\":";
    out.Json(m.Album);
    out << ",\"track\":" << m.Track << ",\"year\":";
    out.Json(m.Year);
    out << ",\"genre\":";
    out.Json(m.Genre);
    out << ",\"comment\":";
    out.Json(m.Comment);
    out << ",\"channelMode\":";
    out.Json(m.ChannelMode);
    out << ",\"sampleRate\":" << m.SampleRate << ",\"bitRate\":" << m.BitRate
        << ",\"durationMs\":" << m.Duration << "}\n";
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
            Usage(stdout);
            return 0;
        } else if (options && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "velodra-info: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else
            files.push_back(a);
    }
    if (files.empty()) {
        Usage(stderr);
        return 2;
    }

    int status = 0;
    bool first = true;
    TOutput out;
    for (const std::string& path : files) {
        const QString name = DecodeFileName(path);
        const QString shown = DisplayFileName(name);
        // One open serves both the check and the readers; only regular files are read.
        const TOpenedSource opened = TryOpenByteSource(path);
        if (opened.Kind != TOpenKind::File) {
            out.Flush(); // keeps the report in order with the files before it
            std::fprintf(stderr, "velodra-info: cannot read %s: %s\n", shown.toUtf8().constData(),
                         opened.Reason.c_str());
            status = 1;
            continue;
        }
        TMediaInfo info;
        info.FilePath = name;
        ReadStreamInfo(info, *opened.Source);
        if (json) {
            PrintJson(out, shown, info);
        } else {
            if (!first) out << "\n";
            PrintPlain(out, shown, info);
        }
        first = false;
        out.FlushIfFull();
    }
    return status;
}
