// The 1/8 DC decoder over arbitrary scans. The first bytes choose the frame, the scan and its
// tables, the rest is entropy-coded data. Refusals are expected; a success must agree with a
// plain bit-by-bit decode of the same data, and whatever a plain decode takes must succeed.
#include "platform/JpegDc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_jpegdc: %s\n", what);
    std::abort();
}

// The example tables of ITU T.81 Annex K (K.3 to K.6), which most encoders write.
const TJpegHuffmanTable kLumaDc = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                   {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const TJpegHuffmanTable kChromaDc = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const TJpegHuffmanTable kLumaAc = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
     0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
     0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
     0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
     0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
     0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
     0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
     0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
     0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
     0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const TJpegHuffmanTable kChromaAc = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
     0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
     0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
     0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
     0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
     0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
     0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
     0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
     0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
     0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Flags, the input's first byte.
constexpr int kColour = 0x01;      // three components, else one
constexpr int kProgressive = 0x02; // a progressive first DC scan: no AC tables
constexpr int kAnnexK = 0x04;      // the example tables instead of tables from the input
constexpr int kAppendEnd = 0x08;   // an EOI marker after the data
constexpr int kLong = 0x10;        // the data repeated past the two-thread threshold
constexpr int kLarge = 0x20;       // up to 16384 pixels a side, else 256
constexpr int kShared = 0x40;      // chroma uses the luma tables from the input
constexpr int kRestarts = 0x80;    // a restart interval from the input

constexpr size_t kMaxOutputPixels = size_t{4} << 20;
constexpr size_t kTwoThreadBytes = 256 * 1024; // where the decoder starts a second thread

struct TInput {
    const uint8_t* P;
    size_t Left;
    uint8_t Byte() {
        if (!Left) return 0;
        --Left;
        return *P++;
    }
    uint16_t U16() {
        const int lo = Byte();
        return static_cast<uint16_t>(lo | Byte() << 8);
    }
    void Table(TJpegHuffmanTable& t) {
        int total = 0;
        for (uint8_t& n : t.Counts)
            total += n = Byte();
        // Counts beyond 256 in all stay: the decoder must refuse them.
        const size_t symbols = std::min({static_cast<size_t>(total), size_t{256}, Left});
        std::memcpy(t.Symbols, P, symbols);
        P += symbols;
        Left -= symbols;
    }
    void Quant(uint16_t* q) {
        const int given = Byte() % 65;
        uint16_t last = 1;
        for (int i = 0; i < 64; ++i)
            q[i] = last = i < given ? U16() : last;
    }
};

// The sampling layouts offered, luma first; chroma is 1 x 1 in all of them.
struct TLayout {
    int H, V;
    bool Taken; // with three components: the decoder handles only full and 4:2:0 chroma
};
constexpr TLayout kLayouts[] = {
    {1, 1, true}, {2, 2, true}, {2, 1, false}, {3, 1, false}, {1, 2, false}};

const TLayout& PickLayout(uint8_t b) {
    if (b < 112) return kLayouts[0];
    if (b < 224) return kLayouts[1];
    return kLayouts[2 + b % 3];
}

// --- The plain decode: T.81 F.2.2 bit by bit, as slow and obvious as it gets. ---------------
// Its branches are no guide for the fuzzer, and their comparison hooks took most of a long run.
#define PLAIN __attribute__((no_sanitize("coverage")))

struct TRefTable {
    int MaxCode[17], MinCode[17], ValPtr[17];
    uint8_t Values[256];
};

PLAIN bool BuildRef(const TJpegHuffmanTable& t, bool dc, TRefTable& r) {
    int total = 0;
    for (int n : t.Counts)
        total += n;
    if (total > 256) return false;
    int code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        const int n = t.Counts[len - 1];
        r.ValPtr[len] = k;
        r.MinCode[len] = code;
        code += n;
        k += n;
        r.MaxCode[len] = n ? code - 1 : -1;
        if (code > (1 << len) - 1) return false; // overfull, or the code of all ones used
        code <<= 1;
    }
    std::memcpy(r.Values, t.Symbols, sizeof r.Values);
    for (int i = 0; dc && i < total; ++i)
        if (t.Symbols[i] > 15) return false;
    return true;
}

struct TRefBits {
    const std::vector<uint8_t>& Bytes;
    size_t Pos = 0;
    PLAIN int Bit() {
        if (Pos >= Bytes.size() * 8) return -1;
        const int b = Bytes[Pos / 8] >> (7 - Pos % 8) & 1;
        ++Pos;
        return b;
    }
    PLAIN bool Value(int s, int& v) { // the extra bits of a category, extended (F.2.2.1)
        int raw = 0;
        for (int i = 0; i < s; ++i) {
            const int b = Bit();
            if (b < 0) return false;
            raw = raw << 1 | b;
        }
        v = s && raw < (1 << (s - 1)) ? raw - (1 << s) + 1 : raw;
        return true;
    }
    PLAIN int Decode(const TRefTable& t) {
        int code = 0;
        for (int len = 1; len <= 16; ++len) {
            const int b = Bit();
            if (b < 0) return -1;
            code = code << 1 | b;
            if (code <= t.MaxCode[len]) return t.Values[t.ValPtr[len] + code - t.MinCode[len]];
        }
        return -1;
    }
};

struct TPlain {
    size_t End = 0; // the ending marker's 0xFF
    // The block DCs of each component as 1/8 pixels, where every component has one block an MCU.
    std::vector<uint8_t> Planes[3];
    bool InRange = true; // no pixel needed clamping: nothing that looks like damage
};

// Whether the scan is regular.
PLAIN bool PlainDecode(const TJpegDcScan& scan, const uint8_t* data, size_t size, TPlain& plain) {
    const int n = scan.Components;
    if (scan.Al > 13) return false; // T.81 B.2.3
    TRefTable dc[3], ac[3];
    int hMax = 1, vMax = 1;
    std::vector<int> slots; // the component of each block of an MCU
    for (int c = 0; c < n; ++c) {
        const TJpegDcComponent& comp = scan.Comp[c];
        if (!BuildRef(*comp.Dc, true, dc[c])) return false;
        if (!scan.Progressive && !BuildRef(*comp.Ac, false, ac[c])) return false;
        // A scan of one component has one block per MCU whatever its sampling factors.
        const int blocks = n == 1 ? 1 : comp.H * comp.V;
        slots.insert(slots.end(), static_cast<size_t>(blocks), c);
        hMax = std::max(hMax, comp.H);
        vMax = std::max(vMax, comp.V);
    }
    if (n == 1) hMax = vMax = 1;
    const size_t mcus = static_cast<size_t>((scan.Width + 8 * hMax - 1) / (8 * hMax)) *
                        static_cast<size_t>((scan.Height + 8 * vMax - 1) / (8 * vMax));
    const bool pixels = slots.size() == static_cast<size_t>(n);

    // Segments between restart markers, stuffing removed (B.1.1.2, B.1.1.5).
    std::vector<std::vector<uint8_t>> segments(1);
    size_t i = 0;
    for (;;) {
        if (i >= size) return false; // no marker after the data
        if (data[i] != 0xFF) {
            segments.back().push_back(data[i++]);
            continue;
        }
        size_t j = i + 1;
        while (j < size && data[j] == 0xFF)
            ++j; // fill bytes
        if (j >= size) return false;
        if (data[j] == 0) {
            segments.back().push_back(0xFF);
        } else if (data[j] >= 0xD0 && data[j] <= 0xD7) {
            if (!scan.RestartInterval ||
                data[j] - 0xD0 != static_cast<int>((segments.size() - 1) % 8))
                return false;
            segments.emplace_back();
        } else {
            plain.End = j - 1;
            break;
        }
        i = j + 1;
    }
    const size_t interval = scan.RestartInterval ? static_cast<size_t>(scan.RestartInterval) : mcus;
    if (segments.size() != (mcus + interval - 1) / interval) return false;

    for (int c = 0; c < n && pixels; ++c)
        plain.Planes[c].assign(mcus, 0);
    for (size_t s = 0; s < segments.size(); ++s) {
        TRefBits bits{segments[s]};
        int pred[3] = {};
        for (size_t m = s * interval; m < std::min(mcus, (s + 1) * interval); ++m) {
            for (const int c : slots) {
                const int t = bits.Decode(dc[c]);
                int diff = 0;
                if (t < 0 || !bits.Value(t, diff)) return false;
                pred[c] += diff;
                if (pred[c] < -32768 || pred[c] > 32767) return false; // libjpeg's 16 bits
                for (int k = 1; !scan.Progressive && k < 64;) {
                    const int rs = bits.Decode(ac[c]);
                    int value = 0;
                    if (rs < 0 || !bits.Value(rs & 15, value)) return false;
                    if (rs & 15)
                        k += (rs >> 4) + 1;
                    else if (rs == 0xF0)
                        k += 16;
                    else
                        break; // end of block
                }
                if (pixels) {
                    // The 1 x 1 inverse DCT: the mean of the block.
                    const int64_t coef =
                        (int64_t{pred[c]} * (int64_t{1} << scan.Al)) * scan.Comp[c].Quant[0];
                    const int64_t v = (coef + 4) >> 3;
                    plain.InRange = plain.InRange && v >= -128 && v <= 127;
                    plain.Planes[c][m] =
                        static_cast<uint8_t>(std::clamp<int64_t>(v, -128, 127) + 128);
                }
            }
        }
        if ((bits.Pos + 7) / 8 != segments[s].size()) return false; // bytes left over
    }
    return true;
}

// libjpeg's YCbCr to RGB (jdcolor.c): 16-bit fixed point, rounded.
uint32_t Rgb(int y, int cb, int cr) {
    const auto fix = [](double v) { return static_cast<int>(v * 65536 + 0.5); };
    const int x = cr - 128, z = cb - 128;
    const int r = y + ((fix(1.40200) * x + 32768) >> 16);
    const int g = y + ((-fix(0.34414) * z - fix(0.71414) * x + 32768) >> 16);
    const int b = y + ((fix(1.77200) * z + 32768) >> 16);
    const auto c = [](int v) { return static_cast<uint32_t>(std::clamp(v, 0, 255)); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TInput in{data, size};
    const int flags = in.Byte();
    const TLayout& layout = PickLayout(in.Byte());
    TJpegDcScan scan;
    scan.Components = flags & kColour ? 3 : 1;
    scan.Progressive = flags & kProgressive;
    const int side = flags & kLarge ? 16384 : 256;
    scan.Width = 1 + in.U16() % side;
    scan.Height = 1 + in.U16() % side;
    const int misc = in.Byte();
    scan.Al = misc & 15;
    const size_t strideExtra = static_cast<size_t>(misc >> 4 & 3);
    const int restart = in.Byte();
    scan.RestartInterval = flags & kRestarts ? restart & 31 : 0;

    uint16_t quant[2][64];
    in.Quant(quant[0]);
    if (scan.Components == 3) in.Quant(quant[1]);
    TJpegHuffmanTable tables[4];
    if (flags & kAnnexK) {
        tables[0] = kLumaDc;
        tables[1] = kLumaAc;
        tables[2] = kChromaDc;
        tables[3] = kChromaAc;
    } else {
        const int sets = scan.Components == 3 && !(flags & kShared) ? 2 : 1;
        for (int t = 0; t < sets; ++t) {
            in.Table(tables[2 * t]);
            if (!scan.Progressive) in.Table(tables[2 * t + 1]);
        }
        if (sets == 1) {
            tables[2] = tables[0];
            tables[3] = tables[1];
        }
    }
    for (int c = 0; c < scan.Components; ++c) {
        TJpegDcComponent& comp = scan.Comp[c];
        const int t = c == 0 ? 0 : 1;
        comp.H = c == 0 ? layout.H : 1;
        comp.V = c == 0 ? layout.V : 1;
        comp.Quant = quant[t];
        comp.Dc = &tables[2 * t];
        comp.Ac = scan.Progressive ? nullptr : &tables[2 * t + 1];
    }

    std::vector<uint8_t> scanData(in.P, in.P + in.Left);
    const size_t outW = static_cast<size_t>(scan.Width + 7) / 8;
    if (flags & kLong && !scanData.empty()) {
        // Tiles of the data, past the threshold even without the stuffed bytes, and the picture
        // as many MCU rows taller: a tile that holds a whole picture makes a long one that holds.
        size_t stuffed = 0;
        for (size_t i = 0; i + 1 < scanData.size(); ++i)
            stuffed += scanData[i] == 0xFF && scanData[i + 1] == 0;
        const size_t tile = scanData.size(), tiles = kTwoThreadBytes / (tile - stuffed) + 2;
        const int rowHeight = 8 * (scan.Components == 3 ? layout.V : 1);
        const int64_t rows = (scan.Height + rowHeight - 1) / rowHeight;
        const int64_t height = static_cast<int64_t>(tiles - 1) * rows * rowHeight + scan.Height;
        if (outW * static_cast<size_t>((height + 7) / 8) <= kMaxOutputPixels)
            scan.Height = static_cast<int>(height);
        const std::vector<uint8_t> once = scanData; // insert() must not read from its own vector
        scanData.reserve(tile * tiles + 2);
        for (size_t i = 1; i < tiles; ++i)
            scanData.insert(scanData.end(), once.begin(), once.end());
    }
    if (flags & kAppendEnd) {
        scanData.push_back(0xFF);
        scanData.push_back(0xD9);
    }
    const size_t outH = static_cast<size_t>(scan.Height + 7) / 8;

    // Exactly as many pixels as the last row needs, so that a write past it is caught. The
    // gaps between rows must stay as they are.
    const size_t stride = outW + strideExtra;
    std::vector<uint32_t> out((outH - 1) * stride + outW, 0);
    static const uint8_t kNothing = 0;
    const uint8_t* bytes = scanData.empty() ? &kNothing : scanData.data();
    size_t end = 0;
    const bool ok = DecodeJpegDcScan(scan, bytes, scanData.size(), out.data(), stride, &end);

    const bool taken =
        scan.Components == 1 || (layout.Taken && !(scan.Progressive && layout.H > 1));
    if (!taken) {
        Check(!ok, "a layout it does not take decoded");
        return 0;
    }
    TPlain plain;
    const bool regular = PlainDecode(scan, bytes, scanData.size(), plain);
    if (!ok) {
        // Values that need clamping may be damage the decoder leaves to libjpeg; 4:2:0 chroma
        // is beyond the plain decode.
        Check(!regular || !plain.InRange || plain.Planes[0].empty(), "refused a regular scan");
        return 0;
    }
    Check(regular, "decoded an irregular scan");

    Check(end < scanData.size() && bytes[end] == 0xFF, "end not at a marker's 0xFF");
    Check(end + 1 < scanData.size(), "end at the last byte");
    const uint8_t code = bytes[end + 1];
    Check(code != 0x00 && code != 0xFF && !(code >= 0xD0 && code <= 0xD7), "end before no marker");
    Check(end == plain.End, "end elsewhere than the plain decode's");
    for (size_t y = 0; y < outH; ++y) {
        const uint32_t* row = out.data() + y * stride;
        for (size_t x = 0; x < outW; ++x) {
            Check(row[x] >> 24 == 0xFF, "pixel left unwritten");
            const std::vector<uint8_t>(&p)[3] = plain.Planes;
            if (p[0].empty()) continue; // 4:2:0: no plain colour to compare with
            const size_t at = y * outW + x;
            const uint32_t want = scan.Components == 1 ? 0xFF000000u | p[0][at] * 0x010101u
                                                       : Rgb(p[0][at], p[1][at], p[2][at]);
            Check(row[x] == want, "pixel differs from the plain decode");
        }
        for (size_t x = outW; x < stride && y + 1 < outH; ++x)
            Check(row[x] == 0, "write between rows");
    }
    return 0;
}
