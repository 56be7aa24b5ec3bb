// The DC shortcut for 1/8 pictures against libjpeg's own reduced decode of the same bytes.
#include "platform/JpegDc.h"
#include "platform/JpegImage.h"
#include "support/JpegEncode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using testsupport::EncodeJpeg;

namespace {

const QSize kCover(200, 200);

// Smooth waves with noise on top: the noise makes the AC coefficients, and so the entropy-coded
// data, about as dense as in a photograph.
unsigned char Texture(int x, int y, int channel, int noise) {
    uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u ^
                 static_cast<uint32_t>(channel) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    const double wave = 70 * std::sin(x / 37.0 + channel) * std::cos(y / 23.0 - channel);
    const int v =
        128 + static_cast<int>(wave) + (noise ? static_cast<int>(h % (2u * noise + 1)) - noise : 0);
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
}

enum class TSampling { Full, FullWide /* every component 2 x 1 */, Sub420, Sub422 };

struct TPicture {
    int Width = 1700, Height = 1600;
    int Components = 3; // 1 for grey
    TSampling Sampling = TSampling::Full;
    int Quality = 90;
    bool Progressive = false;
    int RestartInterval = 0; // MCUs
    int RestartRows = 0;
    bool RgbInFile = false;
    int Noise = 12;
};

QByteArray Encode(const TPicture& p) {
    return EncodeJpeg(
        p.Width, p.Height, p.Components, p.Components == 1 ? JCS_GRAYSCALE : JCS_RGB,
        [&](jpeg_compress_struct& c) {
            jpeg_set_quality(&c, p.Quality, TRUE);
            if (p.RgbInFile) jpeg_set_colorspace(&c, JCS_RGB);
            if (p.Components == 3) {
                const int h[] = {1, 2, 2, 2}, v[] = {1, 1, 2, 1};
                const int i = static_cast<int>(p.Sampling);
                c.comp_info[0].h_samp_factor = h[i];
                c.comp_info[0].v_samp_factor = v[i];
                for (int k = 1; k < 3; ++k) {
                    c.comp_info[k].h_samp_factor = p.Sampling == TSampling::FullWide ? 2 : 1;
                    c.comp_info[k].v_samp_factor = 1;
                }
            }
            if (p.Progressive) jpeg_simple_progression(&c);
            c.restart_interval = static_cast<unsigned>(p.RestartInterval);
            c.restart_in_rows = p.RestartRows;
        },
        [&](int y, unsigned char* row) {
            for (int x = 0; x < p.Width; ++x)
                for (int ch = 0; ch < p.Components; ++ch)
                    row[x * p.Components + ch] = Texture(x, y, ch, p.Noise);
        });
}

// The largest difference of any channel of any pixel, or -1 for different sizes.
int MaxDiff(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int d = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            d = std::max({d, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
        }
    return d;
}

struct TShortcutCase {
    const char* Name;
    TPicture Picture;
    TJpegRoute Route;
    // 4:2:0 chroma is computed in floating point, libjpeg's in fixed point: a chroma level off
    // by one moves blue by up to two
    int Tolerance;
    qsizetype MinBytes = 0;
};

void PrintTo(const TShortcutCase& c, std::ostream* os) {
    *os << c.Name;
}

class JpegShortcut : public ::testing::TestWithParam<TShortcutCase> {};

TEST_P(JpegShortcut, TakesItsLayoutsAndGivesLibjpegsPicture) {
    const TShortcutCase& c = GetParam();
    const QByteArray data = Encode(c.Picture);
    ASSERT_GT(data.size(), c.MinBytes);
    TJpegRoute route = TJpegRoute::Failed;
    const QImage got = DecodeJpegScaled(data, kCover, &route);
    const QImage want = DecodeJpegScaledByLibjpeg(data, kCover);
    ASSERT_FALSE(want.isNull());
    ASSERT_FALSE(got.isNull());
    EXPECT_EQ(route, c.Route);
    EXPECT_EQ(got.format(), QImage::Format_RGB32);
    if (c.Route == TJpegRoute::DcShortcut) {
        EXPECT_EQ(got.size(), QSize((c.Picture.Width + 7) / 8, (c.Picture.Height + 7) / 8));
    }
    EXPECT_LE(MaxDiff(got, want), c.Tolerance);
    EXPECT_GE(MaxDiff(got, want), 0);
    if (c.MinBytes > 0) { // long enough for two halves: again, with the guess run first
        JpegDcHalves().GuessFirst = true;
        const QImage halves = DecodeJpegScaled(data, kCover, &route);
        JpegDcHalves().GuessFirst = false;
        EXPECT_TRUE(JpegDcHalves().Started);
        EXPECT_TRUE(JpegDcHalves().Taken);
        EXPECT_EQ(route, TJpegRoute::DcShortcut);
        // A block decoded from the guess comes out exactly as from the first half's decoder.
        EXPECT_EQ(MaxDiff(halves, got), 0);
        EXPECT_LE(MaxDiff(halves, want), c.Tolerance);
    }
}

TPicture With(void (*change)(TPicture&)) {
    TPicture p;
    change(p);
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, JpegShortcut,
    ::testing::Values(
        TShortcutCase{"full_chroma", TPicture{}, TJpegRoute::DcShortcut, 0},
        TShortcutCase{"odd_size", With([](TPicture& p) { p.Width = 1601, p.Height = 1603; }),
                      TJpegRoute::DcShortcut, 0},
        TShortcutCase{"grey", With([](TPicture& p) { p.Components = 1; }), TJpegRoute::DcShortcut,
                      0},
        TShortcutCase{"all_2x1", With([](TPicture& p) { p.Sampling = TSampling::FullWide; }),
                      TJpegRoute::DcShortcut, 0},
        TShortcutCase{"chroma_420", With([](TPicture& p) { p.Sampling = TSampling::Sub420; }),
                      TJpegRoute::DcShortcut, 2},
        TShortcutCase{"chroma_420_odd_size", With([](TPicture& p) {
                          p.Sampling = TSampling::Sub420, p.Width = 1609, p.Height = 1617;
                      }),
                      TJpegRoute::DcShortcut, 2},
        TShortcutCase{"restart_every_5_mcus", With([](TPicture& p) { p.RestartInterval = 5; }),
                      TJpegRoute::DcShortcut, 0},
        TShortcutCase{"restart_every_row_420",
                      With([](TPicture& p) { p.RestartRows = 1, p.Sampling = TSampling::Sub420; }),
                      TJpegRoute::DcShortcut, 2},
        TShortcutCase{"progressive", With([](TPicture& p) { p.Progressive = true; }),
                      TJpegRoute::DcShortcut, 0},
        TShortcutCase{"progressive_grey",
                      With([](TPicture& p) { p.Progressive = true, p.Components = 1; }),
                      TJpegRoute::DcShortcut, 0},
        // Long scans: the second half is decoded at the same time from a guess.
        TShortcutCase{"long_scan", With([](TPicture& p) {
                          p.Width = 2400, p.Height = 1800, p.Quality = 95, p.Noise = 40;
                      }),
                      TJpegRoute::DcShortcut, 0, 1 << 20},
        TShortcutCase{"long_scan_420", With([](TPicture& p) {
                          p.Sampling = TSampling::Sub420, p.Width = 2400, p.Height = 1800,
                          p.Quality = 95, p.Noise = 40;
                      }),
                      TJpegRoute::DcShortcut, 2, 1 << 19},
        TShortcutCase{"long_scan_restarts", With([](TPicture& p) {
                          p.RestartInterval = 9, p.Width = 2400, p.Height = 1800, p.Quality = 95,
                          p.Noise = 40;
                      }),
                      TJpegRoute::DcShortcut, 0, 1 << 20},
        TShortcutCase{"long_scan_grey", With([](TPicture& p) {
                          p.Components = 1, p.Width = 3000, p.Height = 2000, p.Quality = 95,
                          p.Noise = 40;
                      }),
                      TJpegRoute::DcShortcut, 0, 1 << 19},
        // Left to libjpeg.
        TShortcutCase{"progressive_420", With([](TPicture& p) {
                          p.Progressive = true, p.Sampling = TSampling::Sub420;
                      }),
                      TJpegRoute::Libjpeg, 0},
        TShortcutCase{"chroma_422", With([](TPicture& p) { p.Sampling = TSampling::Sub422; }),
                      TJpegRoute::Libjpeg, 0},
        TShortcutCase{"rgb_in_file", With([](TPicture& p) { p.RgbInFile = true; }),
                      TJpegRoute::Libjpeg, 0},
        TShortcutCase{"too_small_for_an_eighth",
                      With([](TPicture& p) { p.Width = 1200, p.Height = 1200; }),
                      TJpegRoute::Libjpeg, 0}),
    [](const auto& p) { return std::string(p.param.Name); });

qsizetype FindMarker(const QByteArray& d, unsigned char second, qsizetype from = 2) {
    for (qsizetype i = from; i + 1 < d.size(); ++i)
        if (static_cast<unsigned char>(d[i]) == 0xFF &&
            static_cast<unsigned char>(d[i + 1]) == second)
            return i;
    return -1;
}

// Whatever the bytes, the shortcut and libjpeg agree: the same picture or none from either.
// Damage often leaves valid codes, so both decode the same wrong coefficients.
void ExpectAgreement(const QByteArray& d, int tolerance, const std::string& what, int& shortcuts,
                     int& halves) {
    TJpegRoute route = TJpegRoute::Failed;
    const QImage got = DecodeJpegScaled(d, kCover, &route);
    if (JpegDcHalves().Taken) ++halves;
    const QImage want = DecodeJpegScaledByLibjpeg(d, kCover);
    ASSERT_EQ(got.isNull(), want.isNull()) << what;
    if (!got.isNull()) {
        EXPECT_LE(MaxDiff(got, want), tolerance) << what;
        EXPECT_GE(MaxDiff(got, want), 0) << what;
    }
    if (route == TJpegRoute::DcShortcut) ++shortcuts;
}

struct TDamageCase {
    const char* Name;
    TPicture Picture;
    int Tolerance;
    // The guess run first, so that the second half is decoded from it; otherwise the two halves
    // of a long scan race as they do in use
    bool Halves = false;
};

void PrintTo(const TDamageCase& c, std::ostream* os) {
    *os << c.Name;
}

class JpegShortcutDamage : public ::testing::TestWithParam<TDamageCase> {};

TEST_P(JpegShortcutDamage, AgreesWithLibjpegOnDamagedData) {
    const TDamageCase& c = GetParam();
    const QByteArray im = Encode(c.Picture);
    JpegDcHalves().GuessFirst = c.Halves;
    struct TReset {
        ~TReset() { JpegDcHalves().GuessFirst = false; }
    } reset;
    const qsizetype sos = FindMarker(im, 0xDA);
    const qsizetype eoi = im.size() - 2;
    ASSERT_GT(sos, 0);
    ASSERT_EQ(FindMarker(im, 0xD9, eoi), eoi);
    int shortcuts = 0, halves = 0;
    ExpectAgreement(im, c.Tolerance, "whole", shortcuts, halves);
    ASSERT_EQ(shortcuts, 1);
    if (c.Halves) {
        ASSERT_EQ(halves, 1);
    }

    const qsizetype data = sos + 20, mid = data + (eoi - data) / 2;
    std::vector<std::pair<std::string, QByteArray>> cases = {
        {"no end marker", im.left(eoi)},
        {"cut one byte short", im.left(eoi - 1)},
        {"cut in the first half", im.left(data + (eoi - data) / 3)},
        {"cut in the second half", im.left(mid + (eoi - data) / 4)},
        {"garbage before the end marker", im.left(eoi) + QByteArray("\x12\x34", 2) + im.right(2)},
        {"a second end marker in the middle", QByteArray(im).replace(mid, 2, "\xFF\xD9")},
        {"a restart marker nobody announced", QByteArray(im).insert(mid, "\xFF\xD0")},
    };
    std::mt19937 rng(static_cast<unsigned>(im.size()));
    for (int round = 0; round < 48; ++round) {
        QByteArray d = im;
        // Alternately in the first and the second half: the guess of a long scan meets the
        // damage before or after it falls into step.
        const qsizetype from = round % 2 ? mid : data, to = round % 2 ? eoi : mid;
        std::uniform_int_distribution<qsizetype> at(from, to - 1);
        for (int k = 0; k < 1 + round % 3; ++k) {
            const qsizetype i = at(rng);
            d[i] = static_cast<char>(d[i] ^ (1 << (rng() % 8)));
        }
        cases.emplace_back("flipped bits, round " + std::to_string(round), d);
    }
    // Tables libjpeg refuses: an overfull code length in the first Huffman table.
    const qsizetype dht = FindMarker(im, 0xC4);
    ASSERT_GT(dht, 0);
    QByteArray overfull = im;
    overfull[dht + 5] = 3; // three codes of length 1
    cases.emplace_back("overfull Huffman table", overfull);
    // 4 x 4 sampling for every component: 48 blocks an MCU where the format allows 10.
    const qsizetype sof = std::max(FindMarker(im, 0xC0), FindMarker(im, 0xC2));
    ASSERT_GT(sof, 0);
    QByteArray oversampled = im;
    for (int k = 0; k < static_cast<unsigned char>(im[sof + 9]); ++k)
        oversampled[sof + 11 + 3 * k] = 0x44;
    cases.emplace_back("sampling beyond the format's limit", oversampled);

    for (const auto& [what, d] : cases)
        ExpectAgreement(d, c.Tolerance, what, shortcuts, halves);
    // Flipped bits mostly leave a decodable scan: the shortcut must have taken some of them.
    EXPECT_GT(shortcuts, 5);
    if (c.Halves) {
        EXPECT_GT(halves, 5);
    }
    RecordProperty("shortcuts", shortcuts);
    RecordProperty("halves", halves);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, JpegShortcutDamage,
    ::testing::Values(
        TDamageCase{"full_chroma", With([](TPicture& p) { p.Width = 1700, p.Height = 1650; }), 0},
        TDamageCase{"chroma_420", With([](TPicture& p) { p.Sampling = TSampling::Sub420; }), 2},
        TDamageCase{"restarts", With([](TPicture& p) { p.RestartInterval = 7; }), 0},
        TDamageCase{"long_scan_restarts", With([](TPicture& p) {
                        p.RestartInterval = 9, p.Width = 2400, p.Height = 1800, p.Quality = 95,
                        p.Noise = 40;
                    }),
                    0, true},
        TDamageCase{"long_scan", With([](TPicture& p) {
                        p.Width = 2400, p.Height = 1800, p.Quality = 95, p.Noise = 40;
                    }),
                    0, true},
        TDamageCase{"long_scan_420", With([](TPicture& p) {
                        p.Sampling = TSampling::Sub420, p.Width = 2400, p.Height = 1800,
                        p.Quality = 95, p.Noise = 40;
                    }),
                    2, true},
        TDamageCase{"progressive", With([](TPicture& p) { p.Progressive = true; }), 0}),
    [](const auto& p) { return std::string(p.param.Name); });

} // namespace
