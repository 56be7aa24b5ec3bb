#include "tags/JvID3v2.h"

std::u16string TJvID3Text::Get(TJvID3FrameID id) const {
    if (!Owner_.Active()) return {};
    for (const auto& frame : Owner_.Frames) {
        if (frame->FrameID != id) continue;
        const auto* text = dynamic_cast<const TJvID3TextFrame*>(frame.get());
        return text ? text->Text : std::u16string();
    }
    return {};
}

void TJvID3v2::DoAfterOpen() {
    // Nothing shown depends on the pictures, so nothing here may fail the open.
    for (auto& image : Images)
        image = TJvID3Picture();
    for (int type = 0; type < kPictureTypeCount; ++type) {
        for (const auto& frame : Frames) {
            const auto* pic = dynamic_cast<const TJvID3PictureFrame*>(frame.get());
            if (!pic || pic->PictureType != type) continue;
            if (pic->Data && !pic->Data->empty() && pic->MIMEType != "-->")
                Images[static_cast<std::size_t>(type)] = {pic->MIMEType, pic->Data};
            break;
        }
    }
}

void TJvID3v2::DoClose() {
    for (auto& image : Images)
        image = TJvID3Picture();
}
