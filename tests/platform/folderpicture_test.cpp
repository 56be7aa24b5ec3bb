// The folder-picture loader: a missing folder, delivery from the worker, later requests
// winning, the cache and its bounds, damaged files.
#include "platform/FileName.h"
#include "platform/FolderPicture.h"
#include "support/JpegEncode.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::TTempDir;
using testsupport::WriteFile;

namespace {

const QSize kCover(200, 200);
const QColor kRed(220, 30, 40), kBlue(30, 60, 220), kGreen(40, 200, 60);

std::string FlatJpeg(QColor c, int size = 400) {
    const QByteArray b = testsupport::EncodeJpeg(
        size, size, 3, JCS_RGB, [](jpeg_compress_struct&) {},
        [&](int, unsigned char* row) {
            for (int x = 0; x < size; ++x) {
                row[x * 3] = static_cast<unsigned char>(c.red());
                row[x * 3 + 1] = static_cast<unsigned char>(c.green());
                row[x * 3 + 2] = static_cast<unsigned char>(c.blue());
            }
        });
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

bool IsColour(const QImage& image, QColor want) {
    if (image.isNull()) return false;
    const QRgb p = image.pixel(image.width() / 2, image.height() / 2);
    return std::abs(qRed(p) - want.red()) < 12 && std::abs(qGreen(p) - want.green()) < 12 &&
           std::abs(qBlue(p) - want.blue()) < 12;
}

// ---- which file (the order of names is in the player's tests, with the files' own pictures) ----

TEST(FolderPictureChoiceMissing, AMissingFolderHasNoPicture) {
    TTempDir dir;
    EXPECT_FALSE(FindFolderPicture(QString::fromStdString(dir / "gone")).has_value());
    EXPECT_FALSE(FindFolderPicture(QString()).has_value()) << "not the file system's root";
}

// ---- the loader ----

class Loader : public ::testing::Test {
protected:
    void SetUp() override { MakeLoader(8, 32 * 1024 * 1024); }
    void MakeLoader(int maxEntries, qint64 maxBytes) {
        Pictures = std::make_unique<TFolderPicture>(nullptr, TFilePictureReader(), maxEntries,
                                                    maxBytes, QString());
        Delivered.clear();
        QObject::connect(Pictures.get(), &TFolderPicture::Ready,
                         [this](const QImage& image) { Delivered.push_back(image); });
    }
    QString Folder(const std::string& name, QColor colour) {
        WriteFile(Dir / (name + "/folder.jpg"), FlatJpeg(colour));
        return Path(name);
    }
    QString Path(const std::string& name) const { return QString::fromStdString(Dir / name); }
    // Until the worker is done and its answer has reached this thread.
    void Settle() {
        ASSERT_TRUE(testsupport::WaitFor([&] { return Pictures->IsIdle(); }, 10s));
    }
    QImage RequestAndSettle(const QString& folder, QSize cover = kCover) {
        const QImage now = Pictures->Request(folder, QString(), cover);
        Settle();
        return now;
    }

    TTempDir Dir;
    std::unique_ptr<TFolderPicture> Pictures;
    std::vector<QImage> Delivered;
};

TEST_F(Loader, DeliversLaterAndAtOnceOnTheWayBack) {
    const QString red = Folder("A", kRed), blue = Folder("B", kBlue);
    EXPECT_TRUE(RequestAndSettle(red).isNull()) << "nothing is known before the first decode";
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_TRUE(IsColour(Delivered[0], kRed));
    EXPECT_EQ(Delivered[0].size(), kCover);
    EXPECT_TRUE(RequestAndSettle(blue).isNull());
    ASSERT_EQ(Delivered.size(), 2u);
    EXPECT_TRUE(IsColour(Delivered[1], kBlue));

    // Back and forth: the pictures come at once, and nothing is decoded or delivered again.
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(IsColour(RequestAndSettle(red), kRed));
        EXPECT_TRUE(IsColour(RequestAndSettle(blue), kBlue));
    }
    EXPECT_EQ(Pictures->DecodeCount(), 2);
    EXPECT_EQ(Delivered.size(), 2u);

    // Another decode size is another picture.
    EXPECT_TRUE(RequestAndSettle(red, QSize(400, 400)).isNull());
    ASSERT_EQ(Delivered.size(), 3u);
    EXPECT_EQ(Delivered[2].size(), QSize(400, 400));
    EXPECT_EQ(Pictures->DecodeCount(), 3);
}

TEST_F(Loader, OnlyTheLatestRequestIsAnswered) {
    const QString a = Folder("A", kRed), b = Folder("B", kBlue), c = Folder("C", kGreen);
    // No event is handled in between: the first decode is still under way for the others.
    Pictures->Request(a, QString(), kCover);
    Pictures->Request(b, QString(), kCover);
    Pictures->Request(c, QString(), kCover);
    Settle();
    ASSERT_EQ(Delivered.size(), 1u);
    EXPECT_TRUE(IsColour(Delivered[0], kGreen));
    EXPECT_EQ(Pictures->DecodeCount(), 2) << "the waiting request for B was replaced";
    // The first one's picture was kept although it came too late.
    EXPECT_TRUE(IsColour(RequestAndSettle(a), kRed));
    EXPECT_EQ(Pictures->DecodeCount(), 2);

    Delivered.clear();
    Pictures->Request(b, QString(), kCover);
    Pictures->Cancel();
    Settle();
    EXPECT_TRUE(Delivered.empty()) << "a cancelled request is never answered";
}

TEST_F(Loader, AChangedOrRemovedPictureReplacesTheKnownOne) {
    const QString a = Folder("A", kRed);
    RequestAndSettle(a);
    WriteFile(Dir / "A/folder.jpg", FlatJpeg(kGreen));
    fs::last_write_time(Dir / "A/folder.jpg",
                        fs::last_write_time(Dir / "A/folder.jpg") + std::chrono::seconds(5));
    EXPECT_TRUE(IsColour(RequestAndSettle(a), kRed)) << "what is known comes first";
    ASSERT_EQ(Delivered.size(), 2u);
    EXPECT_TRUE(IsColour(Delivered[1], kGreen));

    fs::remove(Dir / "A/folder.jpg");
    EXPECT_TRUE(IsColour(RequestAndSettle(a), kGreen));
    ASSERT_EQ(Delivered.size(), 3u);
    EXPECT_TRUE(Delivered[2].isNull()) << "gone: the plain display";
    EXPECT_TRUE(RequestAndSettle(a).isNull()) << "and no longer known";
    EXPECT_EQ(Delivered.size(), 3u);
}

TEST_F(Loader, DamagedPicturesStaySilentAndAreNotTriedAgain) {
    const std::string good = FlatJpeg(kRed);
    const std::pair<const char*, std::string> damaged[] = {
        {"truncated", good.substr(0, good.size() / 3)},
        {"text", "not a picture\n"},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : damaged) {
        SCOPED_TRACE(name);
        WriteFile(Dir / (std::string(name) + "/FOLDER.JPG"), bytes);
        const int before = Pictures->DecodeCount();
        EXPECT_TRUE(RequestAndSettle(Path(name)).isNull());
        EXPECT_TRUE(RequestAndSettle(Path(name)).isNull());
        EXPECT_EQ(Pictures->DecodeCount(), before + 1);
    }
    EXPECT_TRUE(Delivered.empty()) << "no picture, nothing to say";
}

struct TBoundCase {
    const char* Name;
    int MaxEntries;
    qint64 MaxBytes;
    int DecodesAfterGoingBack; // after A, B, C and back to C, then A
};

void PrintTo(const TBoundCase& c, std::ostream* os) {
    *os << c.Name;
}

class LoaderBounds : public Loader, public ::testing::WithParamInterface<TBoundCase> {};

TEST_P(LoaderBounds, TheOldestPictureGoesFirst) {
    const TBoundCase& c = GetParam();
    MakeLoader(c.MaxEntries, c.MaxBytes);
    const QString a = Folder("A", kRed), b = Folder("B", kBlue), cc = Folder("C", kGreen);
    for (const QString& f : {a, b, cc})
        RequestAndSettle(f);
    EXPECT_TRUE(IsColour(RequestAndSettle(cc), kGreen)) << "the newest is always kept";
    const QImage atOnce = RequestAndSettle(a);
    EXPECT_EQ(Pictures->DecodeCount(), c.DecodesAfterGoingBack);
    const bool kept = c.DecodesAfterGoingBack == 3;
    EXPECT_EQ(!atOnce.isNull(), kept);
    EXPECT_TRUE(IsColour(kept ? atOnce : Delivered.back(), kRed));
}

constexpr qint64 kPictureBytes = 200 * 200 * 4;
INSTANTIATE_TEST_SUITE_P(
    Bounds, LoaderBounds,
    ::testing::Values(TBoundCase{"Roomy", 8, 32 * 1024 * 1024, 3},
                      TBoundCase{"TwoEntries", 2, 32 * 1024 * 1024, 4},
                      TBoundCase{"TwoPicturesOfBytes", 8, 2 * kPictureBytes, 4},
                      TBoundCase{"ThreePicturesOfBytes", 8, 3 * kPictureBytes, 3}),
    [](const auto& p) { return std::string(p.param.Name); });

// Files whose whole content is their "stored picture", so the loader's part is seen alone.
TEST_F(Loader, StoredPicturesBelongToTheirFileAndGoToTheDesktopAsFiles) {
    const auto whole = [](const QString& file) {
        QFile f(file);
        return TFilePicture{f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), 0};
    };
    Pictures = std::make_unique<TFolderPicture>(nullptr, whole, 8, 32 * 1024 * 1024, Path("art"));
    QString art;
    QObject::connect(Pictures.get(), &TFolderPicture::Ready,
                     [this](const QImage& image) { Delivered.push_back(image); });
    QObject::connect(Pictures.get(), &TFolderPicture::ArtReady, [&](const QString& p) { art = p; });
    WriteFile(Dir / "A/1.mp3", FlatJpeg(kRed));
    WriteFile(Dir / "A/2.mp3", FlatJpeg(kBlue));
    const auto request = [&](const char* file, bool decode = true) {
        const QImage now =
            Pictures->Request(Path("A"), Path(std::string("A/") + file), kCover, decode);
        Settle();
        return now;
    };
    request("1.mp3");
    const QString redArt = art;
    EXPECT_TRUE(IsColour(request("2.mp3"), kRed)) << "kept up within the album until the answer";
    ASSERT_EQ(Delivered.size(), 2u);
    EXPECT_TRUE(IsColour(Delivered[1], kBlue));
    EXPECT_EQ(Delivered[1].text(PictureFileKey), art);
    EXPECT_TRUE(art.startsWith(Path("art/")) && art != redArt);
    EXPECT_TRUE(IsColour(request("1.mp3"), kRed)) << "known by file";
    EXPECT_EQ(art, redArt);

    // Hidden: only the desktop's file is looked for; nothing is decoded or delivered.
    const int decodes = Pictures->DecodeCount();
    EXPECT_TRUE(request("2.mp3", false).isNull());
    EXPECT_EQ(Pictures->DecodeCount(), decodes);
    EXPECT_EQ(Delivered.size(), 2u);
    EXPECT_NE(art, redArt);

    WriteFile(Dir / "A/cover.png", FlatJpeg(kGreen)); // a picture file wins over them all
    request("2.mp3");
    EXPECT_TRUE(IsColour(Delivered.back(), kGreen));
    EXPECT_EQ(art, Path("A/cover.png"));
}

TEST(ArtFiles, NamedByTheirBytesAndBounded) {
    TTempDir dir;
    const QString folder = QString::fromStdString(dir / "art");
    std::vector<QString> paths;
    for (char c : std::string("abcab")) {
        paths.push_back(StoreArtFile(QByteArray(100, c), folder, 3));
        std::this_thread::sleep_for(20ms); // the ages differ by more than the clock's step
    }
    EXPECT_EQ(std::pair(paths[0], paths[1]), std::pair(paths[3], paths[4]));
    EXPECT_TRUE(paths[0].endsWith(".img"));
    EXPECT_TRUE(StoreArtFile(QByteArray("\xFF\xD8\xFFjpeg"), folder, 3).endsWith(".jpg"));
    // Four names, room for three: the one used longest ago went (c), the ones used again stay.
    EXPECT_FALSE(QFile::exists(paths[2]));
    EXPECT_TRUE(QFile::exists(paths[0]) && QFile::exists(paths[1]));
    EXPECT_TRUE(StoreArtFile(QByteArray(), folder).isEmpty());
    WriteFile(dir / "file", "not a folder");
    EXPECT_TRUE(StoreArtFile("x", QString::fromStdString(dir / "file/art")).isEmpty());
}

TEST_F(Loader, LetsADecodeFinishWhenDestroyed) {
    WriteFile(Dir / "Big/folder.jpg", FlatJpeg(kRed, 3000));
    Pictures->Request(Path("Big"), QString(), kCover);
    Pictures.reset(); // waits for the worker; its answer goes nowhere
    QCoreApplication::processEvents();
    EXPECT_TRUE(Delivered.empty());
}

} // namespace
