#pragma once
// Where the readers take their bytes from: a file opened read-only, or a buffer in memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// Raised when a file cannot be opened or read; the text is the finished message.
class EByteSourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TByteSource {
public:
    virtual ~TByteSource() = default;
    virtual std::int64_t Size() const = 0;
    // Copies up to count bytes from offset; returns how many were there (0 at or past the end).
    // Raises EByteSourceError when the underlying read fails.
    virtual std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count) = 0;
};

class TMemoryByteSource : public TByteSource {
public:
    TMemoryByteSource() = default;
    TMemoryByteSource(const void* data, std::size_t size);
    explicit TMemoryByteSource(std::string_view bytes)
        : TMemoryByteSource(bytes.data(), bytes.size()) {}
    explicit TMemoryByteSource(std::string&&) = delete; // would not outlive the source
    std::int64_t Size() const override { return static_cast<std::int64_t>(Size_); }
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count) override;

private:
    // Not owned: the buffer must outlive the source.
    const std::uint8_t* Data_ = nullptr;
    std::size_t Size_ = 0;
};

class TFileByteSource : public TByteSource {
public:
    ~TFileByteSource() override;
    TFileByteSource(const TFileByteSource&) = delete;
    TFileByteSource& operator=(const TFileByteSource&) = delete;
    std::int64_t Size() const override { return Size_; }
    std::size_t ReadAt(std::int64_t offset, void* buffer, std::size_t count) override;

private:
    friend std::unique_ptr<TByteSource> OpenByteSource(const std::string& path);
    TFileByteSource(int fd, std::int64_t size, std::string path)
        : Fd_(fd), Size_(size), Path_(std::move(path)) {}
    std::size_t ReadDirect(std::int64_t offset, std::uint8_t* out, std::size_t count);
    int Fd_;
    std::int64_t Size_;
    std::string Path_;
    // Small reads near each other (tag header, tag body, first audio block) come from one
    // read of the file.
    static constexpr std::size_t kCacheBytes = 8192;
    std::vector<std::uint8_t> Cache_;
    std::int64_t CacheOffset_ = 0;
};

// Opens path read-only without blocking. Something that is not a regular file (a pipe, a
// device, a folder) gives an empty source, so it reads as "no tag" at once. Raises
// EByteSourceError with "Cannot open file "<path>". <reason>" when the file cannot be opened.
std::unique_ptr<TByteSource> OpenByteSource(const std::string& path);
