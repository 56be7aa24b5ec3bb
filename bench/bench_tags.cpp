// Reading MediaInfo of 10,000 small MP3 files (ID3v2 + audio + ID3v1), warm cache, against
// TagLib reading the same fields of the same files, in one run: inside this process, and as
// whole processes (velodra-info against a TagLib reader and the raw-read floor: open, fstat, one
// read at the start and one of the last 128 bytes, close, a line of output per file).
#include "platform/FileName.h"
#include "player/UMediaInfo.h"
#include "support/TestAudio.h"
#include "tags/Builders.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/mpegproperties.h>
#include <taglib/tag.h>

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace build;

namespace {

constexpr int kFiles = 10000;
constexpr int kRounds = 3;
constexpr int kProcessRounds = 9;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One tag set per file, so no two files are alike.
std::string MakeFile(const std::string& audio, int i) {
    const std::string n = std::to_string(i);
    const std::string body =
        Frame23("TIT2", Text(0, "Title number " + n)) + Frame23("TPE1", Text(0, "Artist " + n)) +
        Frame23("TALB", Text(1, "\xFF\xFE" + Utf16LE("Album " + std::to_string(i / 12)))) +
        Frame23("TRCK", Text(0, std::to_string(i % 12 + 1))) + Frame23("TYER", Text(0, "2004")) +
        Frame23("TCON", Text(0, "(17)")) +
        Frame23("COMM", Text(0, std::string("eng\0", 4) + "Comment " + n)) + std::string(256, '\0');
    return Id3v2(3, body) + audio +
           Id3v1("Title number " + n, "Artist " + n, "Album", "2004", "Comment", i % 12 + 1, 17);
}

volatile std::size_t gSink = 0;

void ReadVelodra(const std::vector<std::string>& paths) {
    for (const auto& p : paths) {
        TMediaInfo info;
        info.FilePath = DecodeFileName(p);
        ReadStreamInfo(info);
        gSink = gSink +
                static_cast<std::size_t>(info.Title.size() + info.Artist.size() +
                                         info.Album.size() + info.Year.size() + info.Genre.size() +
                                         info.Comment.size() + info.ChannelMode.size()) +
                static_cast<std::size_t>(info.Track) + info.BitRate + info.SampleRate +
                static_cast<std::size_t>(info.Duration);
    }
}

QString FromTagLib(const TagLib::String& s) {
    return QString::fromStdWString(s.toWString());
}

void ReadTagLib(const std::vector<std::string>& paths) {
    for (const auto& p : paths) {
        TagLib::MPEG::File file(p.c_str(), true, TagLib::AudioProperties::Average);
        std::size_t n = 0;
        if (const TagLib::Tag* tag = file.tag()) {
            n += static_cast<std::size_t>(
                FromTagLib(tag->title()).size() + FromTagLib(tag->artist()).size() +
                FromTagLib(tag->album()).size() + FromTagLib(tag->genre()).size() +
                FromTagLib(tag->comment()).size());
            n += tag->track() + tag->year();
        }
        if (const TagLib::MPEG::Properties* props = file.audioProperties()) {
            n += static_cast<std::size_t>(props->lengthInMilliseconds() + props->bitrate() +
                                          props->sampleRate() + props->channels()) +
                 static_cast<std::size_t>(props->channelMode());
        }
        gSink = gSink + n;
    }
}

// The least a reader of these fields must do per file.
void ReadRaw(const std::vector<std::string>& paths) {
    static char head[8192], out[1 << 16];
    std::setvbuf(stdout, out, _IOFBF, sizeof out);
    for (const auto& p : paths) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd < 0) continue;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::pread(fd, head, sizeof head, 0) > 0 &&
            st.st_size >= 128)
            gSink = gSink + static_cast<std::size_t>(::pread(fd, head, 128, st.st_size - 128));
        ::close(fd);
        std::printf("%s: %d\n", p.c_str(), head[0]);
    }
    std::fflush(stdout);
}

// Seconds from fork to exit of a child with stdout on /dev/null that runs body (in this
// process image, so no start-up is counted) or, with body empty, execs argv.
double ChildSeconds(const std::function<void()>& body, const std::vector<std::string>& argv) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        if (body) {
            body();
            ::_exit(0);
        }
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_tags: child failed (status %d)\n", status);
        std::exit(1);
    }
    return dt.count();
}

template <typename Fn> double BestRate(Fn&& read, const std::vector<std::string>& paths) {
    double best = 0;
    for (int r = 0; r < kRounds; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        read(paths);
        const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
        best = std::max(best, static_cast<double>(paths.size()) / dt.count());
    }
    return best;
}

} // namespace

int main() {
    testsupport::TTempDir dir("velodra-bench-tags");
    // One second of 128 kbit/s audio from the encoder, without tags of its own.
    const std::string source = dir / "source.mp3";
    if (!testsupport::GenerateTone(source, 1.0,
                                   "-c:a libmp3lame -b:a 128k -map_metadata -1 -id3v2_version 0 "
                                   "-write_id3v1 0")) {
        std::fprintf(stderr, "bench_tags: ffmpeg could not make the source file\n");
        return 1;
    }
    const std::string audio = ReadAll(source);
    std::vector<std::string> paths;
    paths.reserve(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(dir /
                        ("f" + std::to_string(i / 500) + "/track " + std::to_string(i) + ".mp3"));
        testsupport::WriteFile(paths.back(), MakeFile(audio, i));
    }
    // Warm the cache and check both see the same title.
    ReadVelodra(paths);
    ReadTagLib(paths);
    TMediaInfo probe;
    probe.FilePath = DecodeFileName(paths[42]);
    ReadStreamInfo(probe);
    TagLib::MPEG::File check(paths[42].c_str());
    if (probe.Title != FromTagLib(check.tag()->title()) || probe.SampleRate != 44100) {
        std::fprintf(stderr, "bench_tags: readers disagree on %s\n", paths[42].c_str());
        return 1;
    }

    const double velodra = BestRate(ReadVelodra, paths);
    const double taglib = BestRate(ReadTagLib, paths);
    std::printf("bench_tags: %d files of %zu bytes, warm cache, best of %d rounds\n", kFiles,
                MakeFile(audio, 0).size(), kRounds);
    std::printf("  Velodra ReadStreamInfo: %10.0f files/s\n", velodra);
    std::printf("  TagLib MPEG::File:      %10.0f files/s\n", taglib);
    std::printf("  ratio Velodra/TagLib:   %10.2fx (target at least 2x)\n", velodra / taglib);

    // Whole processes over the same files; velodra-info sits beside this program's folder.
    char self[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string tool =
        (std::filesystem::path(std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0))
             .parent_path()
             .parent_path() /
         "tools" / "velodra-info")
            .string();
    if (::access(tool.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "bench_tags: %s is not built\n", tool.c_str());
        return 1;
    }
    std::vector<std::string> plain{tool}, json{tool, "--json"};
    plain.insert(plain.end(), paths.begin(), paths.end());
    json.insert(json.end(), paths.begin(), paths.end());
    // Rounds take turns, so that a busy moment of the machine weighs on all of them alike.
    double floor = 1e9, info = 1e9, infoJson = 1e9, taglibProcess = 1e9;
    for (int r = 0; r < kProcessRounds; ++r) {
        floor = std::min(floor, ChildSeconds([&] { ReadRaw(paths); }, {}));
        info = std::min(info, ChildSeconds({}, plain));
        infoJson = std::min(infoJson, ChildSeconds({}, json));
        if (r < 3)
            taglibProcess = std::min(taglibProcess, ChildSeconds([&] { ReadTagLib(paths); }, {}));
    }
    std::printf("bench_tags: whole process over the %d files, best of %d\n", kFiles,
                kProcessRounds);
    std::printf("  raw-read floor:         %8.1f ms\n", floor * 1000);
    std::printf("  velodra-info:           %8.1f ms  %5.2fx the floor (target at most 1.6x)\n",
                info * 1000, info / floor);
    std::printf("  velodra-info --json:    %8.1f ms  %5.2fx the floor (target at most 1.6x)\n",
                infoJson * 1000, infoJson / floor);
    std::printf("  TagLib reader:          %8.1f ms  %5.2fx the floor\n", taglibProcess * 1000,
                taglibProcess / floor);
    return 0;
}
