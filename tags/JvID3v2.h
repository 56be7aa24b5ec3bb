#pragma once
// The ID3v2 tag component: the controller plus the text accessor and the embedded pictures.
#include "tags/JvID3v2Base.h"
#include "tags/StoredPicture.h"

#include <array>
#include <string>

class TJvID3v2;

// Text of the first frame with a given identifier, when that frame is a text, number or
// timestamp frame; and the first value of the list and comment frames the player shows.
class TJvID3Text {
public:
    explicit TJvID3Text(const TJvID3v2& owner) : Owner_(owner) {}
    std::u16string Get(TJvID3FrameID id) const;
    // The first string of the first simple-list frame with this identifier (TPE1, TCON).
    std::u16string FirstOfList(TJvID3FrameID id) const;
    std::u16string Title() const { return Get(fiTitle); }
    std::u16string Album() const { return Get(fiAlbum); }
    std::u16string SubTitle() const { return Get(fiSubTitle); }
    std::u16string Band() const { return Get(fiBand); }
    std::u16string TrackNum() const { return Get(fiTrackNum); }
    std::u16string PartInSet() const { return Get(fiPartInSet); }
    std::u16string Publisher() const { return Get(fiPublisher); }
    std::u16string EncodedBy() const { return Get(fiEncodedBy); }
    std::u16string Copyright() const { return Get(fiCopyright); }
    std::u16string Year() const { return Get(fiYear); }                   // TYER
    std::u16string RecordingTime() const { return Get(fiRecordingTime); } // TDRC
    std::u16string LeadArtist() const { return FirstOfList(fiLeadArtist); }
    std::u16string ContentType() const { return FirstOfList(fiContentType); }
    // The text of the first COMM whose description is empty or "eng": the others hold an
    // application's data (iTunNORM and the like).
    std::u16string Comment() const;

private:
    const TJvID3v2& Owner_;
};

// One embedded picture, kept as it was stored: no temporary file, no decoding.
struct TJvID3Picture {
    std::string MIMEType;
    TJvID3Bytes Data;
    bool Empty() const { return !Data || Data->empty(); }
};

class TJvID3v2 : public TJvID3Controller {
public:
    TJvID3v2() : Texts(*this) {}
    TJvID3Text Texts;
    // The first picture of each picture type, filled after every open.
    std::array<TJvID3Picture, kPictureTypeCount> Images;
    // The picture to show for the file: the front cover, else the first picture frame of any
    // type that holds one (empty when none does).
    TStoredPicture CoverPicture() const;

protected:
    void DoAfterOpen() override;
    void DoClose() override;
};
