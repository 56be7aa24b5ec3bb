#include "platform/FileName.h"
#include "platform/JpegImage.h"
#include "support/JpegEncode.h"
#include "support/TestAudio.h"

#include <gtest/gtest.h>

#include <QColor>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace fs = std::filesystem;
using testsupport::EncodeJpeg;
using testsupport::TTempDir;

namespace {

const QSize kCover(200, 200);

QString Q(const std::string& s) {
    return DecodeFileName(std::string_view(s));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

QByteArray B(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

const QColor kRed(220, 30, 40), kBlue(30, 60, 220);

std::string ColourArg(QColor c) {
    return "'rgb(" + std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
           std::to_string(c.blue()) + ")'";
}

// A picture of two halves, written by ImageMagick.
std::string MakePicture(const TTempDir& dir, const std::string& name, int w, int h,
                        const std::string& options, QColor left = kRed, QColor right = kBlue) {
    const std::string path = dir / name;
    const std::string cmd =
        "convert -size " + std::to_string(w) + "x" + std::to_string(h) + " xc:" + ColourArg(left) +
        " -fill " + ColourArg(right) + " -draw 'rectangle " + std::to_string(w / 2) + ",0 " +
        std::to_string(w) + "," + std::to_string(h) + "' " + options + " '" + path + "'";
    if (std::system(cmd.c_str()) != 0 || !fs::exists(path)) return {};
    return path;
}

::testing::AssertionResult Near(QRgb got, QColor want, int tolerance = 28) {
    const int dr = std::abs(qRed(got) - want.red()), dg = std::abs(qGreen(got) - want.green()),
              db = std::abs(qBlue(got) - want.blue());
    if (dr <= tolerance && dg <= tolerance && db <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got rgb(" << qRed(got) << "," << qGreen(got) << "," << qBlue(got) << ") want rgb("
           << want.red() << "," << want.green() << "," << want.blue() << ")";
}

struct TPictureCase {
    const char* Name;
    int Width, Height;
    const char* Options;
    int ExpectW, ExpectH; // the smallest n/8 scale covering 200 x 200
    QColor Left, Right;
};

void PrintTo(const TPictureCase& c, std::ostream* os) {
    *os << c.Name;
}

class JpegDecode : public ::testing::TestWithParam<TPictureCase> {};

TEST_P(JpegDecode, DecodesAtTheSmallestCoveringScaleWithTheDrawnColours) {
    const TPictureCase& c = GetParam();
    TTempDir dir;
    const std::string path =
        MakePicture(dir, "folder.jpg", c.Width, c.Height, c.Options, c.Left, c.Right);
    ASSERT_FALSE(path.empty()) << "convert failed";
    const QImage img = LoadJpegScaled(Q(path), kCover);
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(c.ExpectW, c.ExpectH));
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    EXPECT_TRUE(Near(img.pixel(img.width() / 4, img.height() / 2), c.Left));
    EXPECT_TRUE(Near(img.pixel(img.width() * 3 / 4, img.height() / 2), c.Right));
    EXPECT_TRUE(Near(img.pixel(1, 1), c.Left)); // rows come out top first
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, JpegDecode,
    ::testing::Values(
        TPictureCase{"baseline", 1600, 1200, "-quality 90", 400, 300, kRed, kBlue},
        TPictureCase{"camera", 4000, 3000, "-quality 90", 500, 375, kRed, kBlue},
        TPictureCase{"exact_eighth", 1600, 1600, "", 200, 200, kRed, kBlue},
        TPictureCase{"one_short", 1592, 1600, "", 398, 400, kRed, kBlue},
        TPictureCase{"tall", 300, 2400, "", 225, 1800, kRed, kBlue}, // 5/8 is 188 wide
        TPictureCase{"small", 150, 100, "", 150, 100, kRed, kBlue},
        TPictureCase{"progressive", 1000, 1000, "-interlace JPEG", 250, 250, kRed, kBlue},
        TPictureCase{"unsubsampled", 1000, 800, "-sampling-factor 1x1", 250, 200, kRed, kBlue},
        TPictureCase{"grayscale", 800, 800, "-colorspace Gray", 200, 200, QColor(40, 40, 40),
                     QColor(210, 210, 210)},
        TPictureCase{"cmyk", 1600, 1200, "-colorspace CMYK", 400, 300, kRed, kBlue},
        TPictureCase{"cmyk_progressive", 1000, 1000, "-colorspace CMYK -interlace JPEG", 250, 250,
                     kRed, kBlue}),
    [](const auto& p) { return std::string(p.param.Name); });

// A CMYK JPEG written here: with Adobe's marker the inks are stored inverted, without it as is.
QByteArray EncodeCmyk(int w, int h, const unsigned char (&pixel)[4], bool adobe, bool ycck) {
    return EncodeJpeg(
        w, h, 4, JCS_CMYK,
        [&](jpeg_compress_struct& c) {
            if (ycck) jpeg_set_colorspace(&c, JCS_YCCK);
            c.write_Adobe_marker = adobe ? TRUE : FALSE;
        },
        [&](int, unsigned char* row) {
            for (int x = 0; x < w; ++x)
                std::copy(pixel, pixel + 4, row + x * 4);
        });
}

TEST(JpegCmyk, InvertedAdobeAndPlainInksBothGiveTheColour) {
    // Red is no cyan, full magenta, full yellow, no black.
    const unsigned char plain[4] = {0, 255, 255, 0};
    const unsigned char inverted[4] = {255, 0, 0, 255};
    const unsigned char darkPlain[4] = {0, 0, 0, 128}; // half black
    struct {
        const char* Name;
        QByteArray Data;
        QColor Want;
    } cases[] = {
        {"plain", EncodeCmyk(400, 400, plain, false, false), QColor(255, 0, 0)},
        {"adobe", EncodeCmyk(400, 400, inverted, true, false), QColor(255, 0, 0)},
        {"adobe ycck", EncodeCmyk(400, 400, inverted, true, true), QColor(255, 0, 0)},
        {"grey ink", EncodeCmyk(400, 400, darkPlain, false, false), QColor(127, 127, 127)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QImage img = DecodeJpegScaled(c.Data, kCover);
        ASSERT_FALSE(img.isNull());
        EXPECT_EQ(img.size(), QSize(200, 200));
        EXPECT_TRUE(Near(img.pixel(100, 100), c.Want, 12));
    }
}

// A grey progressive picture with the given number of scans: one for the DC, then the AC
// coefficients one at a time, each in `passes` successive-approximation steps.
QByteArray EncodeManyScans(int passes) {
    std::vector<jpeg_scan_info> script;
    script.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
    for (int k = 1; k < 64; ++k)
        for (int p = passes - 1; p >= 0; --p)
            script.push_back({1, {0, 0, 0, 0}, k, k, p == passes - 1 ? 0 : p + 1, p});
    return EncodeJpeg(
        256, 256, 1, JCS_GRAYSCALE,
        [&](jpeg_compress_struct& c) {
            c.scan_info = script.data();
            c.num_scans = static_cast<int>(script.size());
        },
        [](int y, unsigned char* row) {
            for (int x = 0; x < 256; ++x)
                row[x] = static_cast<unsigned char>((x * y) & 0xFF);
        });
}

TEST(JpegScans, AFewDozenScansDecodeAndHundredsAreRefused) {
    const QImage fine = DecodeJpegScaled(EncodeManyScans(1), kCover); // 64 scans
    ASSERT_FALSE(fine.isNull());
    EXPECT_EQ(fine.size(), QSize(224, 224));
    EXPECT_TRUE(DecodeJpegScaled(EncodeManyScans(4), kCover).isNull()); // 253 scans
}

qsizetype FindMarker(const QByteArray& d, unsigned char second) {
    for (qsizetype i = 2; i + 1 < d.size(); ++i)
        if (static_cast<unsigned char>(d[i]) == 0xFF &&
            static_cast<unsigned char>(d[i + 1]) == second)
            return i;
    return -1;
}

// Where each scan's entropy-coded data ends: the next marker that is neither a stuffed byte nor
// a restart.
std::vector<qsizetype> ScanEnds(const QByteArray& d) {
    std::vector<qsizetype> ends;
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(d[i]); };
    qsizetype i = 2;
    while (i + 3 < d.size() && at(i) == 0xFF && at(i + 1) != 0xD9) {
        const qsizetype segment = i + 2 + (at(i + 2) << 8 | at(i + 3));
        if (at(i + 1) != 0xDA) {
            i = segment;
            continue;
        }
        qsizetype j = segment;
        while (j + 1 < d.size() &&
               !(at(j) == 0xFF && at(j + 1) != 0 && (at(j + 1) < 0xD0 || at(j + 1) > 0xD7)))
            ++j;
        ends.push_back(j);
        i = j;
    }
    return ends;
}

struct TDiff {
    int Max = 0;
    double Mean = 0;
};

TDiff Compare(const QImage& a, const QImage& b) {
    TDiff d;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int e : {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))}) {
                d.Max = std::max(d.Max, e);
                sum += e;
            }
        }
    d.Mean = double(sum) / (3.0 * a.width() * a.height());
    return d;
}

// A textured picture (plasma) written once as PNG, then as baseline and as progressive JPEG
// with the same settings: the same coefficients, only their order in the file differs.
struct TEighthCase {
    const char* Name;
    int Width, Height;
    const char* Options;
    int ExpectW, ExpectH;
    int MaxDiff; // any one channel of any pixel
};

void PrintTo(const TEighthCase& c, std::ostream* os) {
    *os << c.Name;
}

class JpegProgressiveEighth : public ::testing::TestWithParam<TEighthCase> {};

TEST_P(JpegProgressiveEighth, MatchesTheSequentialDecodeOfTheSamePicture) {
    const TEighthCase& c = GetParam();
    TTempDir dir;
    const std::string png = dir / "src.png", base = dir / "b.jpg", prog = dir / "p.jpg";
    const std::string size = std::to_string(c.Width) + "x" + std::to_string(c.Height);
    ASSERT_EQ(
        std::system(("convert -size " + size + " plasma:fractal -seed 7 '" + png + "'").c_str()),
        0);
    const std::string opts = std::string(" ") + c.Options + " ";
    ASSERT_EQ(std::system(("convert '" + png + "'" + opts + "'" + base + "'").c_str()), 0);
    ASSERT_EQ(
        std::system(("convert '" + png + "'" + opts + "-interlace JPEG '" + prog + "'").c_str()),
        0);
    const QImage want = LoadJpegScaled(Q(base), kCover);
    const QImage got = LoadJpegScaled(Q(prog), kCover);
    ASSERT_FALSE(want.isNull());
    ASSERT_FALSE(got.isNull());
    ASSERT_EQ(want.size(), QSize(c.ExpectW, c.ExpectH));
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got.format(), QImage::Format_RGB32);
    const TDiff d = Compare(got, want);
    EXPECT_LE(d.Max, c.MaxDiff);
    EXPECT_LT(d.Mean, 1.5);
    RecordProperty("max_diff", d.Max);
    RecordProperty("mean_diff", std::to_string(d.Mean));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, JpegProgressiveEighth,
    ::testing::Values(
        TEighthCase{"full_chroma", 1600, 1600, "-quality 90", 200, 200, 4},
        TEighthCase{"subsampled", 2000, 1600, "-quality 80 -sampling-factor 2x2", 250, 200, 12},
        TEighthCase{"grayscale", 1700, 1600, "-quality 85 -colorspace Gray", 213, 200, 4},
        TEighthCase{"cmyk", 1600, 1600, "-quality 90 -colorspace CMYK", 200, 200, 8}),
    [](const auto& p) { return std::string(p.param.Name); });

// A colour picture without subsampling whose DC arrives one component per scan, then the AC of each
// component.
QByteArray EncodeSeparateDcScans(int w, int h) {
    std::vector<jpeg_scan_info> script;
    for (int ci = 0; ci < 3; ++ci)
        script.push_back({1, {ci, 0, 0, 0}, 0, 0, 0, 0});
    for (int ci = 0; ci < 3; ++ci)
        script.push_back({1, {ci, 0, 0, 0}, 1, 63, 0, 0});
    return EncodeJpeg(
        w, h, 3, JCS_RGB,
        [&](jpeg_compress_struct& c) {
            c.comp_info[0].h_samp_factor = c.comp_info[0].v_samp_factor = 1; // no subsampling
            c.scan_info = script.data();
            c.num_scans = static_cast<int>(script.size());
        },
        [&](int y, unsigned char* row) {
            for (int x = 0; x < w; ++x) {
                row[x * 3] = static_cast<unsigned char>(x * 255 / w);
                row[x * 3 + 1] = static_cast<unsigned char>(y * 255 / h);
                row[x * 3 + 2] = static_cast<unsigned char>((x ^ y) & 0xFF);
            }
        });
}

// At 1/8 a progressive file needs no more than its DC scans, plus a first pass over the AC of
// subsampled chroma; at any other scale all of it.
TEST(JpegProgressiveCut, PictureOnlyWhenEveryComponentsDcIsInAndTheScaleIsAnEighth) {
    TTempDir dir;
    const QByteArray im = B(ReadAll(MakePicture(dir, "p.jpg", 1600, 1600, "-interlace JPEG")));
    const QByteArray sub =
        B(ReadAll(MakePicture(dir, "s.jpg", 1600, 1600, "-interlace JPEG -sampling-factor 2x2")));
    const QByteArray separate = EncodeSeparateDcScans(1600, 1600);
    const std::vector<qsizetype> imEnds = ScanEnds(im), subEnds = ScanEnds(sub),
                                 sepEnds = ScanEnds(separate);
    // DC of all components first, then AC: the brightness's lowest, then each chroma's
    ASSERT_GE(imEnds.size(), 2u);
    ASSERT_GE(subEnds.size(), 4u);
    ASSERT_EQ(sepEnds.size(), 6u);
    const QSize twoEighths(400, 400);
    const auto halves = [](const QImage& img) {
        EXPECT_TRUE(Near(img.pixel(50, 100), kRed));
        EXPECT_TRUE(Near(img.pixel(img.width() - 50, 100), kBlue));
    };
    const auto ramps = [](const QImage& img) { // red rises to the right, green downwards
        const QRgb p = img.pixel(50, 150);
        EXPECT_NEAR(qRed(p), 50 * 255 / 200, 3);
        EXPECT_NEAR(qGreen(p), 150 * 255 / 200, 3);
    };
    const struct {
        const char* Name;
        QByteArray Data;
        QSize Cover;
        bool Picture;
        std::function<void(const QImage&)> Check;
    } cases[] = {
        {"whole file", im, kCover, true, halves},
        {"cut after the DC scan", im.left(imEnds[0]), kCover, true, halves},
        {"cut after the second scan", im.left(imEnds[1]), kCover, true, halves},
        {"cut inside the DC scan", im.left(imEnds[0] - 100), kCover, false, halves},
        {"cut after the DC scan, 2/8", im.left(imEnds[0]), twoEighths, false, halves},
        {"whole file, 2/8", im, twoEighths, true, halves},
        {"subsampled, cut after the DC scan", sub.left(subEnds[0]), kCover, false, halves},
        {"subsampled, one chroma's AC missing", sub.left(subEnds[2]), kCover, false, halves},
        {"subsampled, both chroma's AC in", sub.left(subEnds[3]), kCover, true, halves},
        {"first of three DC scans", separate.left(sepEnds[0]), kCover, false, ramps},
        {"two of three DC scans", separate.left(sepEnds[1]), kCover, false, ramps},
        {"all three DC scans", separate.left(sepEnds[2]), kCover, true, ramps},
        {"separate DC scans, whole file", separate, kCover, true, ramps},
    };
    const QImage whole = DecodeJpegScaled(im, kCover);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QImage img = DecodeJpegScaled(c.Data, c.Cover);
        ASSERT_EQ(!img.isNull(), c.Picture);
        if (!img.isNull()) {
            EXPECT_EQ(img.size(), c.Cover == kCover ? QSize(200, 200) : QSize(400, 400));
            c.Check(img);
        }
    }
    // What the DC scan gives is the whole picture's 1/8, not an early rough pass.
    EXPECT_EQ(Compare(DecodeJpegScaled(im.left(imEnds[0]), kCover), whole).Max, 0);
}

// Cuts and damage anywhere in a progressive file decoded at 1/8: never a crash, never a picture
// of another size, and once the DC scan is whole always a picture.
TEST(JpegProgressiveCut, CutsAndDamageAroundTheFirstScanAreSafe) {
    TTempDir dir;
    const QByteArray im = B(ReadAll(MakePicture(dir, "p.jpg", 1600, 1600, "-interlace JPEG")));
    const std::vector<qsizetype> ends = ScanEnds(im);
    ASSERT_GE(ends.size(), 2u);
    const qsizetype sos = FindMarker(im, 0xDA);
    ASSERT_GT(sos, 0);
    for (qsizetype cut = sos; cut < ends[1] + 64 && cut <= im.size(); cut += 37) {
        SCOPED_TRACE(cut);
        const QImage img = DecodeJpegScaled(im.left(cut), kCover);
        if (cut >= ends[0]) {
            ASSERT_FALSE(img.isNull());
        }
        if (!img.isNull()) {
            EXPECT_EQ(img.size(), QSize(200, 200));
        }
    }
    std::mt19937 rng(17);
    std::uniform_int_distribution<qsizetype> at(sos + 20, ends[0] - 1);
    for (int round = 0; round < 40; ++round) {
        QByteArray d = im;
        for (int k = 0; k < 1 + round % 5; ++k)
            d[at(rng)] = static_cast<char>(rng());
        const QImage img = DecodeJpegScaled(d, kCover);
        if (!img.isNull()) {
            EXPECT_EQ(img.size(), QSize(200, 200)) << "round " << round;
        }
    }
}

// Beyond 1/8 a progressive file decodes exactly as its baseline twin: all scans, no shortcut.
TEST(JpegProgressiveCut, OtherScalesDecodeAllScans) {
    TTempDir dir;
    const std::string png = dir / "src.png", base = dir / "b.jpg", prog = dir / "p.jpg";
    ASSERT_EQ(std::system(("convert -size 1600x1600 plasma:fractal -seed 3 '" + png + "'").c_str()),
              0);
    ASSERT_EQ(std::system(("convert '" + png + "' -quality 90 '" + base + "'").c_str()), 0);
    ASSERT_EQ(
        std::system(("convert '" + png + "' -quality 90 -interlace JPEG '" + prog + "'").c_str()),
        0);
    for (const QSize cover : {QSize(400, 400), QSize(800, 800), QSize(1600, 1600)}) {
        SCOPED_TRACE(cover.width());
        const QImage want = LoadJpegScaled(Q(base), cover), got = LoadJpegScaled(Q(prog), cover);
        ASSERT_FALSE(got.isNull());
        ASSERT_EQ(got.size(), cover);
        ASSERT_EQ(want.size(), cover);
        EXPECT_EQ(Compare(got, want).Max, 0);
    }
}

// The frame header's height and width, big-endian after length and precision.
QByteArray WithDeclaredSize(QByteArray d, int w, int h) {
    qsizetype sof = FindMarker(d, 0xC0);
    if (sof < 0) sof = FindMarker(d, 0xC2);
    if (sof < 0) return {};
    d[sof + 5] = static_cast<char>(h >> 8);
    d[sof + 6] = static_cast<char>(h & 0xFF);
    d[sof + 7] = static_cast<char>(w >> 8);
    d[sof + 8] = static_cast<char>(w & 0xFF);
    return d;
}

// What is written to stderr while fn runs: a bad picture must not say anything there.
std::string StderrOf(const std::function<void()>& fn) {
    std::fflush(stderr);
    FILE* capture = std::tmpfile();
    const int saved = ::dup(2);
    ::dup2(::fileno(capture), 2);
    fn();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    std::rewind(capture);
    std::string text;
    char buffer[256];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;)
        text.append(buffer, n);
    std::fclose(capture);
    return text;
}

class JpegFailures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Dir = new TTempDir("velodra-jpeg");
        Baseline = B(ReadAll(MakePicture(*Dir, "b.jpg", 1200, 900, "-quality 85")));
        Progressive = B(ReadAll(MakePicture(*Dir, "p.jpg", 1200, 900, "-interlace JPEG")));
    }
    static void TearDownTestSuite() {
        delete Dir;
        Dir = nullptr;
    }
    static TTempDir* Dir;
    static QByteArray Baseline, Progressive;
};
TTempDir* JpegFailures::Dir = nullptr;
QByteArray JpegFailures::Baseline, JpegFailures::Progressive;

TEST_F(JpegFailures, BadDataGivesANullImage) {
    ASSERT_GT(Baseline.size(), 1000);
    ASSERT_GT(Progressive.size(), 1000);
    ASSERT_FALSE(DecodeJpegScaled(Baseline, kCover).isNull()); // the sources themselves are fine
    ASSERT_FALSE(DecodeJpegScaled(Progressive, kCover).isNull());

    const qsizetype sos = FindMarker(Baseline, 0xDA);
    ASSERT_GT(sos, 0);
    QByteArray markerInData = Baseline;
    markerInData[Baseline.size() / 2] = static_cast<char>(0xFF);
    markerInData[Baseline.size() / 2 + 1] = static_cast<char>(0xD9); // an early end of image
    QByteArray png;
    {
        const std::string p = *Dir / "x.png";
        ASSERT_EQ(std::system(("convert -size 300x300 xc:red '" + p + "'").c_str()), 0);
        png = B(ReadAll(p));
    }
    const struct {
        const char* Name;
        QByteArray Data;
    } cases[] = {
        {"empty", QByteArray()},
        {"text", QByteArray("this is not a picture\n")},
        {"png", png},
        {"only the start marker", Baseline.left(2)},
        {"cut after the headers", Baseline.left(sos + 20)},
        {"cut in half", Baseline.left(Baseline.size() / 2)},
        {"cut before the end marker", Baseline.left(Baseline.size() - 200)},
        {"progressive cut in half", Progressive.left(Progressive.size() / 2)},
        {"end marker inside the data", markerInData},
        {"zero width", WithDeclaredSize(Baseline, 0, 900)},
        {"huge declared size", WithDeclaredSize(Baseline, 60000, 60000)},
    };
    const std::string said = StderrOf([&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.Name);
            EXPECT_TRUE(DecodeJpegScaled(c.Data, kCover).isNull());
        }
    });
    EXPECT_EQ(said, "");
}

TEST_F(JpegFailures, WhatIsNotARegularFileGivesANullImage) {
    const std::string missing = *Dir / "missing/folder.jpg";
    const std::string asDir = *Dir / "dir/folder.jpg";
    fs::create_directories(asDir);
    const std::string fifo = *Dir / "fifo.jpg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = *Dir / "zero.jpg";
    testsupport::WriteFile(zero, "");
    for (const std::string& p : {missing, asDir, fifo, zero}) {
        SCOPED_TRACE(p);
        EXPECT_TRUE(LoadJpegScaled(Q(p), kCover).isNull()); // the FIFO must not block
    }
}

TEST_F(JpegFailures, LoadsThroughANonUtf8Name) {
    const std::string name = *Dir / "caf\xe9-\xff.jpg";
    testsupport::WriteFile(name,
                           std::string(Baseline.constData(), static_cast<size_t>(Baseline.size())));
    EXPECT_EQ(LoadJpegScaled(Q(name), kCover).size(), QSize(300, 225));
}

TEST_F(JpegFailures, FilesOverTheByteCapAreNotRead) {
    const std::string path = *Dir / "padded.jpg";
    testsupport::WriteFile(path,
                           std::string(Baseline.constData(), static_cast<size_t>(Baseline.size())));
    // Zeros after the end marker do not disturb the decoder; only the size is refused.
    fs::resize_file(path, static_cast<std::uintmax_t>(MaxJpegFileSize));
    EXPECT_FALSE(LoadJpegScaled(Q(path), kCover).isNull());
    fs::resize_file(path, static_cast<std::uintmax_t>(MaxJpegFileSize) + 1);
    EXPECT_TRUE(LoadJpegScaled(Q(path), kCover).isNull());
}

// Damage that the decoder may or may not notice: never a crash, and a picture that does come
// out has the size the header promised.
TEST_F(JpegFailures, RandomDamageNeverCrashes) {
    std::mt19937 rng(99);
    int nulls = 0;
    for (int round = 0; round < 60; ++round) {
        QByteArray d = round % 2 ? Progressive : Baseline;
        const qsizetype sos = FindMarker(d, 0xDA);
        ASSERT_GT(sos, 0);
        std::uniform_int_distribution<qsizetype> at(sos + 20, d.size() - 1);
        for (int k = 0; k < 1 + round % 8; ++k)
            d[at(rng)] = static_cast<char>(rng());
        const QImage img = DecodeJpegScaled(d, kCover);
        if (img.isNull())
            ++nulls;
        else
            EXPECT_EQ(img.size(), QSize(300, 225)) << "round " << round;
    }
    RecordProperty("null_results", nulls);
}

// Damaged headers may declare any size; what comes out stays within the limits.
TEST_F(JpegFailures, DamagedHeadersStayWithinTheLimits) {
    const qsizetype sos = FindMarker(Baseline, 0xDA);
    ASSERT_GT(sos, 0);
    std::mt19937 rng(5);
    std::uniform_int_distribution<qsizetype> at(2, sos + 10);
    for (int round = 0; round < 200; ++round) {
        QByteArray d = Baseline;
        for (int k = 0; k < 1 + round % 4; ++k)
            d[at(rng)] = static_cast<char>(rng());
        const QImage img = DecodeJpegScaled(d, kCover);
        if (!img.isNull()) {
            EXPECT_LE(qint64(img.width()) * img.height(), MaxJpegOutputPixels);
        }
    }
}

} // namespace
