#include "tags/ByteSource.h"

#include <algorithm>
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
    const std::size_t n = std::min(count, Size_ - at);
    std::memcpy(buffer, Data_ + at, n);
    return n;
}

namespace {

// A regular file read with pread. Small reads come from two windows of it, so that no byte is
// read from the system twice on the readers' usual path: the last 128 bytes (the ID3v1 tag,
// which the stream scan looks at again), and 8 KiB from the latest other read (tag header, tag
// body and the first audio block are usually all in it). A file that fits in 8 KiB is read once.
class TFileByteSource : public TByteSource {
public:
    TFileByteSource(int fd, std::int64_t size, std::string path)
        : Fd_(fd), Size_(size), Path_(std::move(path)) {}
    ~TFileByteSource() override { ::close(Fd_); }
    TFileByteSource(const TFileByteSource&) = delete;
    TFileByteSource& operator=(const TFileByteSource&) = delete;
    std::int64_t Size() const override { return Size_; }

    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count) override {
        if (offset < 0 || offset >= Size_ || count == 0) return 0;
        auto* out = static_cast<std::uint8_t*>(buffer);
        if (count >= kWindowBytes) return ReadDirect(offset, out, count);
        if (Window_.Holds(offset, count)) return Window_.Copy(offset, out, count);
        if (Size_ > static_cast<std::int64_t>(kWindowBytes) && offset >= Size_ - kTailBytes) {
            if (Tail_.Length == 0) Fill(Tail_, Size_ - kTailBytes, kTailBytes);
            return Tail_.Copy(offset, out, count);
        }
        Fill(Window_, Size_ <= static_cast<std::int64_t>(kWindowBytes) ? 0 : offset, kWindowBytes);
        return Window_.Copy(offset, out, count);
    }

private:
    static constexpr std::size_t kWindowBytes = 8192;
    static constexpr std::int64_t kTailBytes = 128;

    struct TWindow {
        std::unique_ptr<std::uint8_t[]> Bytes; // not zero-filled: every byte used was read
        std::int64_t Offset = 0;
        std::size_t Length = 0;
        bool Holds(std::int64_t offset, std::size_t count) const {
            return Length > 0 && offset >= Offset &&
                   static_cast<std::uint64_t>(offset - Offset) + count <= Length;
        }
        // What the window has from offset on (offset inside it).
        std::size_t Copy(std::int64_t offset, std::uint8_t* out, std::size_t count) const {
            const std::size_t at = static_cast<std::size_t>(offset - Offset);
            if (offset < Offset || at >= Length) return 0;
            const std::size_t n = std::min(count, Length - at);
            std::memcpy(out, Bytes.get() + at, n);
            return n;
        }
    };

    void Fill(TWindow& w, std::int64_t offset, std::size_t capacity) {
        if (!w.Bytes) w.Bytes.reset(new std::uint8_t[capacity]);
        w.Length = 0; // stays empty when the read fails
        w.Length = ReadDirect(offset, w.Bytes.get(), capacity);
        w.Offset = offset;
    }

    std::size_t ReadDirect(std::int64_t offset, std::uint8_t* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got =
                ::pread(Fd_, out + done, count - done,
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

    int Fd_;
    std::int64_t Size_;
    std::string Path_;
    TWindow Window_;
    TWindow Tail_;
};

} // namespace

TOpenedSource TryOpenByteSource(const std::string& path) {
    TOpenedSource r;
    // O_NONBLOCK keeps a named pipe from blocking the open; fstat then turns it away.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        r.Reason = std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return r;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        r.Kind = TOpenKind::NotRegular;
        r.Source = std::make_unique<TMemoryByteSource>();
        r.Reason = S_ISDIR(st.st_mode) ? "Is a directory" : "Not a regular file";
        return r;
    }
    r.Kind = TOpenKind::File;
    r.Source = std::make_unique<TFileByteSource>(fd, static_cast<std::int64_t>(st.st_size), path);
    return r;
}

std::unique_ptr<TByteSource> OpenByteSource(const std::string& path) {
    TOpenedSource opened = TryOpenByteSource(path);
    if (!opened.Source)
        throw EByteSourceError("Cannot open file \"" + path + "\". " + opened.Reason);
    return std::move(opened.Source);
}
