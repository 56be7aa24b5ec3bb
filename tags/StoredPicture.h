#pragma once
// A picture kept inside an audio file, as it is stored there: the bytes of a JPEG, a PNG or
// whatever the tagger put in. Nothing is decoded here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Larger pictures are passed over: no cover needs more, and a hostile length costs nothing.
constexpr std::size_t kMaxStoredPicture = 16 * 1024 * 1024;
// The picture type of the front cover, as ID3v2, FLAC and ASF number them.
constexpr int kFrontCoverType = 3;

struct TStoredPicture {
    std::string MIMEType;
    std::vector<std::uint8_t> Data;
    int Position = -1; // which of the file's pictures (0 = the first stored), -1 = none
    bool Empty() const { return Data.empty(); }
};

// Picks the picture to show from a file's pictures as they come: the first front cover, else
// the first picture of any type; empty and oversized ones never count.
class TPicturePick {
public:
    // Returns true once nothing later can change the pick (a front cover was taken).
    bool Offer(int type, const std::string& mime, const std::uint8_t* data, std::size_t size) {
        const int position = Count++;
        if (size == 0 || size > kMaxStoredPicture || Front) return Front;
        const bool front = type == kFrontCoverType;
        if (front || Picked.Empty()) {
            Picked.MIMEType = mime;
            Picked.Data.assign(data, data + size);
            Picked.Position = position;
            Front = front;
        }
        return Front;
    }
    TStoredPicture Picked;

private:
    int Count = 0;
    bool Front = false;
};
