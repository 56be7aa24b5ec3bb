#include "tags/ByteSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TMemoryByteSource::TMemoryByteSource(const void* data, std::size_t size)
    : Data_(static_cast<const std::uint8_t*>(data)), Size_(data ? size : 0) {}

std::size_t TMemoryByteSource::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) >= Size_ || count == 0) return 0;
    const std::size_t at = static_cast<std::size_t>(offset);
    const std::size_t n = count < Size_ - at ? count : Size_ - at;
    std::memcpy(buffer, Data_ + at, n);
    return n;
}

TFileByteSource::~TFileByteSource() {
    ::close(Fd_);
}

std::size_t TFileByteSource::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
    if (offset < 0 || offset >= Size_ || count == 0) return 0;
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (count >= kCacheBytes) return ReadDirect(offset, out, count);
    const auto cached = [&] {
        return offset >= CacheOffset_ &&
               static_cast<std::uint64_t>(offset - CacheOffset_) + count <= Cache_.size();
    };
    if (!cached()) {
        Cache_.resize(kCacheBytes);
        Cache_.resize(ReadDirect(offset, Cache_.data(), kCacheBytes));
        CacheOffset_ = offset;
    }
    const std::size_t at = static_cast<std::size_t>(offset - CacheOffset_);
    const std::size_t n = count < Cache_.size() - at ? count : Cache_.size() - at;
    std::memcpy(out, Cache_.data() + at, n);
    return n;
}

std::size_t TFileByteSource::ReadDirect(std::int64_t offset, std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(Fd_, out + done, count - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (got < 0) {
            if (errno == EINTR) continue;
            throw EByteSourceError("Read error on \"" + Path_ + "\". " + std::strerror(errno));
        }
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::unique_ptr<TByteSource> OpenByteSource(const std::string& path) {
    // O_NONBLOCK keeps a named pipe from blocking the open; fstat then turns it away.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EByteSourceError("Cannot open file \"" + path + "\". " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw EByteSourceError("Cannot open file \"" + path + "\". " + std::strerror(err));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::make_unique<TMemoryByteSource>();
    }
    return std::unique_ptr<TByteSource>(
        new TFileByteSource(fd, static_cast<std::int64_t>(st.st_size), path));
}
