#include "tags/JvID3v2.h"

// A frame's class follows from its identifier (CreateFrame), so no cast needs to ask.
std::u16string TJvID3Text::Get(TJvID3FrameID id) const {
    if (!Owner_.Active()) return {};
    const TJvID3FrameClass c = FrameClassOf(id);
    for (const auto& frame : Owner_.Frames) {
        if (frame->FrameID != id) continue;
        if (c != fcText && c != fcNumber && c != fcTimestamp) return {};
        return static_cast<const TJvID3CustomTextFrame&>(*frame).Text;
    }
    return {};
}

std::u16string TJvID3Text::FirstOfList(TJvID3FrameID id) const {
    if (!Owner_.Active() || FrameClassOf(id) != fcSimpleList) return {};
    for (const auto& frame : Owner_.Frames) {
        if (frame->FrameID != id) continue;
        const auto& list = static_cast<const TJvID3SimpleListFrame&>(*frame).List;
        return list.empty() ? std::u16string() : list.front();
    }
    return {};
}

std::u16string TJvID3Text::Comment() const {
    if (!Owner_.Active()) return {};
    for (const auto& frame : Owner_.Frames) {
        if (frame->FrameID != fiComment) continue;
        const auto& comment = static_cast<const TJvID3ContentFrame&>(*frame);
        if (comment.Description.empty() || comment.Description == u"eng") return comment.Text;
    }
    return {};
}

void TJvID3v2::DoAfterOpen() {
    // Nothing shown depends on the pictures, so nothing here may fail the open. The first
    // picture frame of each type decides that type's image, even when it holds none.
    std::array<bool, kPictureTypeCount> decided{};
    for (auto& image : Images)
        image = TJvID3Picture();
    for (const auto& frame : Frames) {
        if (FrameClassOf(frame->FrameID) != fcPicture) continue;
        const auto& pic = static_cast<const TJvID3PictureFrame&>(*frame);
        const std::size_t type = pic.PictureType;
        if (type >= decided.size() || decided[type]) continue;
        decided[type] = true;
        if (pic.Data && !pic.Data->empty() && pic.MIMEType != "-->")
            Images[type] = {pic.MIMEType, pic.Data};
    }
}

TStoredPicture TJvID3v2::CoverPicture() const {
    TPicturePick pick;
    if (!Active()) return {};
    for (const auto& frame : Frames) {
        if (FrameClassOf(frame->FrameID) != fcPicture) continue;
        const auto& pic = static_cast<const TJvID3PictureFrame&>(*frame);
        // "-->" marks a link to a picture elsewhere, not a picture.
        const bool link = pic.MIMEType == "-->";
        const std::size_t size = pic.Data && !link ? pic.Data->size() : 0;
        if (pick.Offer(pic.PictureType, pic.MIMEType, size ? pic.Data->data() : nullptr, size))
            break;
    }
    return std::move(pick.Picked);
}

void TJvID3v2::DoClose() {
    for (auto& image : Images)
        image = TJvID3Picture();
}
