// The window's pure rules: the rate texts of the display and the about box, where the window
// may lie.
#include "ui/Rules.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace {

struct TRateCase {
    QLocale::Language Language;
    std::uint32_t SampleRate;
    std::uint32_t BitRate;
    const char* Want;
};

TEST(RateText, OneDecimalInTheUsersLocaleAndNoneWhenItIsZero) {
    const TRateCase cases[] = {
        {QLocale::English, 44100, 128, "44.1 kHz  128 kbps"},
        {QLocale::English, 48000, 320, "48 kHz  320 kbps"},
        {QLocale::English, 96000, 128, "96 kHz  128 kbps"},
        {QLocale::English, 88200, 128, "88.2 kHz  128 kbps"},
        {QLocale::German, 44100, 128, "44,1 kHz  128 kbps"},
        {QLocale::German, 48000, 64, "48 kHz  64 kbps"},
        {QLocale::German, 88200, 64, "88,2 kHz  64 kbps"},
        {QLocale::English, 8000, 8, "8 kHz  8 kbps"},
        {QLocale::English, 192000, 320, "192 kHz  320 kbps"},
        {QLocale::English, 22050, 0, ""},
    };
    for (const TRateCase& c : cases) {
        SCOPED_TRACE(c.Want);
        QLocale::setDefault(QLocale(c.Language));
        EXPECT_EQ(RateText(c.SampleRate, c.BitRate), QString::fromUtf8(c.Want));
    }
    QLocale::setDefault(QLocale::c());
}

TEST(KeepFrameOnArea, MovedOnlyAsFarAsNeeded) {
    const QRect area(0, 0, 1024, 740); // a panel below
    const struct {
        QRect Frame;
        QPoint Want;
    } cases[] = {
        {{199, 124, 202, 221}, {199, 124}},  // fits: stays
        {{-500, 99999, 202, 221}, {0, 519}}, // off at left and bottom
        {{900, -30, 202, 221}, {822, 0}},    // off at right and top
        {{822, 519, 202, 221}, {822, 519}},  // touches the corner: stays
        {{10, 10, 2000, 900}, {0, 0}},       // larger than the area: its corner inside
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepFrameOnArea(c.Frame, area), c.Want) << c.Frame.x() << "," << c.Frame.y();
}

} // namespace
