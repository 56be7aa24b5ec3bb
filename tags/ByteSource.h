#pragma once
// Where the readers take their bytes from: a file opened read-only, or a buffer in memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

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

enum class TOpenKind { File, NotRegular, Failed };

struct TOpenedSource {
    TOpenKind Kind = TOpenKind::Failed;
    // A regular file; an empty source for something else (a pipe, a device, a folder), so that
    // it reads as "no tag" at once; none when it could not be opened.
    std::unique_ptr<TByteSource> Source;
    // Why it could not be opened (the system's text), or "Is a directory" / "Not a regular
    // file"; empty for a regular file.
    std::string Reason;
};

// Opens path read-only without blocking. Raises nothing of its own.
TOpenedSource TryOpenByteSource(const std::string& path);
// The same, raising EByteSourceError with "Cannot open file "<path>". <reason>" when the file
// cannot be opened.
std::unique_ptr<TByteSource> OpenByteSource(const std::string& path);
