#pragma once
// Test fixtures made at test time: temporary folders and audio generated with ffmpeg.
#include "support/Poll.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <unistd.h>

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

} // namespace testsupport
