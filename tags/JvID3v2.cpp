#include "tags/JvID3v2.h"

// A frame's class follows from its identifier (CreateFrame), so no cast needs to ask.
std::u16string TJvID3Text::Get(TJvID3FrameID id) const {
    if (!Owner_.Active()) return {};
    for (const auto& frame : Owner_.Frames) {
        if (frame->FrameID != id) continue;
        if (FrameClassOf(id) != fcText) return {};
        return static_cast<const TJvID3TextFrame&>(*frame).Text;
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

void TJvID3v2::DoClose() {
    for (auto& image : Images)
        image = TJvID3Picture();
}
