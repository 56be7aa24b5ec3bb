#pragma once
// Test fixtures made at test time: temporary folders and audio generated with ffmpeg.
#include "support/Poll.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace testsupport {

// A temporary folder removed with the object.
class TTempDir {
public:
    explicit TTempDir(const std::string& prefix = "velodra-test") {
        std::string templ =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (!mkdtemp(templ.data())) std::abort();
        Path = templ;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(Path, ec);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    std::string operator/(const std::string& rel) const { return (Path / rel).string(); }
    std::filesystem::path Path;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs ffmpeg with a sine source of the given length and the given output options; true when
// the file was written. Example: GenerateTone(p, 3.0, "-c:a libmp3lame -b:a 128k").
inline bool GenerateTone(const std::string& path, double seconds, const std::string& outputArgs,
                         int sampleRate = 44100, int channels = 2, int frequency = 440) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string cmd = "ffmpeg -nostdin -y -hide_banner -loglevel error -f lavfi -i "
                            "\"sine=frequency=" +
                            std::to_string(frequency) +
                            ":sample_rate=" + std::to_string(sampleRate) +
                            ":duration=" + std::to_string(seconds) + "\" -ac " +
                            std::to_string(channels) + " " + outputArgs + " \"" + path + "\"";
    return std::system(cmd.c_str()) == 0 && std::filesystem::exists(path);
}

// One continuous tone cut into files of the given lengths (stem-1.ext, stem-2.ext...), each
// encoded with the given ffmpeg output options, or with the lame program when they start with
// "lame". Returns the files' paths, or none when a step failed.
inline std::vector<std::string> CutTone(const std::string& dir, const std::string& stem,
                                        const std::string& ext, const std::vector<double>& seconds,
                                        const std::string& encoder, int frequency = 440) {
    double total = 0;
    for (double s : seconds)
        total += s;
    const std::string whole = dir + "/" + stem + "-whole.wav";
    if (!GenerateTone(whole, total, "", 44100, 2, frequency)) return {};
    std::vector<std::string> files;
    long from = 0;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const long to = from + std::lround(seconds[i] * 44100);
        const std::string part = dir + "/" + stem + "-" + std::to_string(i) + ".wav";
        const std::string file = dir + "/" + stem + "-" + std::to_string(i + 1) + "." + ext;
        std::string cmd = "ffmpeg -nostdin -y -hide_banner -loglevel error -i \"" + whole +
                          "\" -af atrim=start_sample=" + std::to_string(from) +
                          ":end_sample=" + std::to_string(to) + " \"" + part + "\" && ";
        if (encoder.rfind("lame", 0) == 0)
            cmd += encoder + " --quiet \"" + part + "\" \"" + file + "\"";
        else
            cmd += "ffmpeg -nostdin -y -hide_banner -loglevel error -i \"" + part + "\" " +
                   encoder + " \"" + file + "\"";
        if (std::system(cmd.c_str()) != 0) return {};
        files.push_back(file);
        from = to;
    }
    return files;
}

} // namespace testsupport
