// The faces and pictures the windows are drawn with: every command slot and tray frame has a
// picture of the right size, and the display's faces resolve to real fonts.
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QApplication>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <gtest/gtest.h>

namespace {

class LookTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitVelodraResources(); }
};

TEST_F(LookTest, EveryCommandSlotHasItsOwnSixteenPixelPicture) {
    const int used[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 14, 16, 17};
    QList<QImage> seen;
    for (int slot : used) {
        SCOPED_TRACE(slot);
        const QString resource = MenuIconResource(slot);
        ASSERT_FALSE(resource.isEmpty());
        const QImage image(resource);
        ASSERT_FALSE(image.isNull()) << qPrintable(resource) << " is not in the resources";
        EXPECT_EQ(image.size(), QSize(16, 16));
        EXPECT_TRUE(image.hasAlphaChannel());
        for (const QImage& other : seen)
            EXPECT_NE(image, other) << "two slots share a picture";
        seen << image;
        EXPECT_FALSE(MenuIcon(slot).isNull());
    }
    for (int slot : {-1, 12, 15, 18, 99}) {
        EXPECT_TRUE(MenuIcon(slot).isNull()) << slot;
        EXPECT_TRUE(MenuIconResource(slot).isEmpty()) << slot;
    }
}

TEST_F(LookTest, TrayFramesDifferAndRepeatEveryThree) {
    QImage frames[TrayFrameCount];
    for (int i = 0; i < TrayFrameCount; ++i) {
        frames[i] = QImage(TrayFrameResource(i));
        ASSERT_FALSE(frames[i].isNull()) << i;
        EXPECT_EQ(frames[i].size(), QSize(16, 16));
        EXPECT_FALSE(TrayFrame(i).pixmap(16, 16).isNull());
    }
    EXPECT_NE(frames[0], frames[1]);
    EXPECT_NE(frames[1], frames[2]);
    EXPECT_NE(frames[0], frames[2]);
    EXPECT_EQ(TrayFrameResource(3), TrayFrameResource(0));
    EXPECT_EQ(TrayFrameResource(-1), TrayFrameResource(2));
}

TEST_F(LookTest, NotesPictureIsTwoHalvesOnATransparentGround) {
    const QImage notes = NotesPicture().toImage();
    ASSERT_EQ(notes.size(), QSize(32, 16));
    EXPECT_EQ(notes.pixelColor(0, 15).alpha(), 0);
    EXPECT_NE(notes.copy(0, 0, 16, 16), notes.copy(16, 0, 16, 16));
}

TEST_F(LookTest, DisplayFaceIsTahomaWhenItsFileIsInstalled) {
    if (!QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf")))
        GTEST_SKIP() << "fonts-wine is not installed";
    EXPECT_EQ(DisplayFamily(), QStringLiteral("Tahoma"));
    const QFontInfo regular(DisplayFont(11));
    EXPECT_EQ(regular.family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(regular.pixelSize(), 11);
    const QFontInfo bold(DisplayFont(13, true));
    EXPECT_EQ(bold.family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(bold.bold());
}

TEST_F(LookTest, SerifFaceIsATimesFaceWhereOneIsInstalled) {
    const QString family = SerifFamily();
    EXPECT_TRUE(family == QStringLiteral("Times New Roman") ||
                family == QStringLiteral("Liberation Serif") ||
                family == QStringLiteral("DejaVu Serif"))
        << qPrintable(family);
    const QFontInfo info(SerifFont(15));
    EXPECT_EQ(info.family(), family);
    EXPECT_EQ(info.pixelSize(), 15);
}

} // namespace
