#include "platform/JpegDc.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <vector>

#include <pthread.h>
#include <sched.h>

namespace {

constexpr int kLookahead = 12;
// DC codes are short: a small table keeps the lookups in fewer cache lines.
constexpr int kDcLookahead = 9;
constexpr int kSkipBits = 12; // 13 and 14 measured slower: the tables outgrow the L1 cache
static_assert(kSkipBits >= kLookahead);
// Beyond the last byte: an MCU of up to 10 blocks may read ahead 64 codes of up to 31 bits each
// and the 8 bytes of a refill before the overrun check after it.
constexpr size_t kPadding = 4096;

// Zig-zag position to natural position; a run past the end lands on the last coefficient, as
// libjpeg lets it.
constexpr std::array<uint8_t, 80> kNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33,
    40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36,
    29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54,
    47, 55, 62, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

// A decoding table. Codes up to kLookahead bits come from Fast in one step: bits 0-4 the code's
// length plus its extra bits, 5-9 how far the coefficient index moves (0 for the end of the
// block), 10-14 the code's own length, 15 set. Longer codes go the canonical way.
struct THuffman {
    uint16_t Fast[1 << kLookahead] = {};
    uint16_t Small[1 << kDcLookahead] = {}; // the same for codes up to kDcLookahead bits
    // For skipping AC coefficients: as many whole codes with their extra bits as the lookahead
    // holds, in one step. Bits 0-3 their total length, 4-10 how far they move the coefficient
    // index, 11 set when the last one ends the block, 15 set; 0 where not even one fits.
    uint16_t Skip[1 << kSkipBits] = {};
    int32_t MaxCode[17] = {}; // largest code of each length, -1 if none
    int32_t Offset[17] = {};  // symbol index minus code for each length
    uint8_t Symbols[256] = {};
};

uint16_t Entry(int length, int symbol, bool dc) {
    const int r = symbol >> 4, s = symbol & 15;
    int advance = 0;
    if (dc)
        advance = 1;
    else if (s != 0)
        advance = r + 1;
    else if (r == 15)
        advance = 16; // sixteen zeros
    return static_cast<uint16_t>(0x8000 | length << 10 | advance << 5 |
                                 (length + (dc ? symbol : s)));
}

// The rules libjpeg applies: no more than 256 codes, no length overfull, and the code of all
// ones unused; DC symbols are bit counts up to 15.
bool BuildTable(const TJpegHuffmanTable& t, bool dc, THuffman& h) {
    int total = 0;
    for (int n : t.Counts)
        total += n;
    if (total > 256) return false;
    std::memcpy(h.Symbols, t.Symbols, sizeof h.Symbols);
    int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        const int n = t.Counts[length - 1];
        // Checked before the codes go into Fast: an overfull length would write past its end.
        if (code + n >= (int32_t{1} << length)) return false;
        h.Offset[length] = index - code;
        h.MaxCode[length] = n ? code + n - 1 : -1;
        for (int i = 0; i < n; ++i, ++index, ++code) {
            const int symbol = t.Symbols[index];
            if (dc && symbol > 15) return false;
            if (length <= kLookahead) {
                const int shift = kLookahead - length;
                const uint16_t e = Entry(length, symbol, dc);
                std::fill(h.Fast + (code << shift), h.Fast + ((code + 1) << shift), e);
            }
            if (length <= kDcLookahead) {
                const int shift = kDcLookahead - length;
                std::fill(h.Small + (code << shift), h.Small + ((code + 1) << shift),
                          Entry(length, symbol, dc));
            }
        }
        code <<= 1;
    }
    return true;
}

// Chains the codes of Fast into Skip: most AC codes with their extra bits are 3 to 6 bits long,
// so one lookup passes two or three of them.
void BuildSkipTable(THuffman& h) {
    for (uint32_t i = 0; i < (1u << kSkipBits); ++i) {
        int used = 0, advance = 0;
        bool end = false;
        while (used < kSkipBits) {
            // The next kLookahead bits of the window, zeros beyond its end.
            const uint32_t window = (i << used) & ((1u << kSkipBits) - 1);
            const uint16_t e = h.Fast[window >> (kSkipBits - kLookahead)];
            const int length = e >> 10 & 31, total = e & 31, step = e >> 5 & 31;
            // The code must lie within the real bits, and the coefficient index stay in the
            // block, or the block's end decides what the following bits are.
            if (!e || length > kSkipBits - used || total > kSkipBits - used) break;
            if (advance + step >= 63) break;
            used += total;
            advance += step;
            if (step == 0) {
                end = true;
                break;
            }
        }
        h.Skip[i] =
            used ? static_cast<uint16_t>(0x8000 | (end ? 0x800 : 0) | advance << 4 | used) : 0;
    }
}

// Entropy-coded bytes with the stuffing removed, one segment per restart interval.
struct TSegments {
    std::vector<uint8_t> Bytes;
    std::vector<size_t> Starts;
    size_t End = 0; // the 0xFF of the marker after the scan, in the source
};

bool Unstuff(const uint8_t* data, size_t size, int restartInterval, TSegments& seg) {
    seg.Bytes.reserve(size + kPadding);
    seg.Starts.push_back(0);
    size_t i = 0;
    for (;;) {
        const void* hit = std::memchr(data + i, 0xFF, size - i);
        if (!hit) return false; // no marker after the data: cut short
        const size_t ff = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
        seg.Bytes.insert(seg.Bytes.end(), data + i, data + ff);
        size_t j = ff + 1;
        while (j < size && data[j] == 0xFF)
            ++j; // fill bytes
        if (j >= size) return false;
        const uint8_t code = data[j];
        if (code == 0x00) {
            seg.Bytes.push_back(0xFF);
        } else if (code >= 0xD0 && code <= 0xD7) {
            if (restartInterval == 0) return false;
            if (code != 0xD0 + (seg.Starts.size() - 1) % 8) return false;
            seg.Starts.push_back(seg.Bytes.size());
        } else {
            seg.End = j - 1;
            break;
        }
        i = j + 1;
    }
    seg.Bytes.insert(seg.Bytes.end(), kPadding, 0);
    return true;
}

// Bits from the top of a 64-bit word; a refill tops it up to at least 56 without a branch.
struct TBits {
    const uint8_t* Start;
    const uint8_t* P;
    uint64_t Buf = 0;
    int Count = 0;

    explicit TBits(const uint8_t* p) : Start(p), P(p) {}
    void Refill() {
        uint64_t next;
        std::memcpy(&next, P, 8);
        Buf |= __builtin_bswap64(next) >> Count;
        P += (63 - Count) >> 3;
        Count |= 56;
    }
    uint32_t Peek(int n) const { return static_cast<uint32_t>(Buf >> (64 - n)); }
    void Drop(int n) {
        Buf <<= n;
        Count -= n;
    }
    size_t Consumed() const {
        return static_cast<size_t>(P - Start) * 8 - static_cast<size_t>(Count);
    }
};

// A code longer than the lookahead: its length and symbol, or length 0 for a bad code.
int SlowDecode(const THuffman& h, const TBits& bits, int from, int& symbol) {
    const uint32_t peek = bits.Peek(16);
    for (int length = from; length <= 16; ++length) {
        const int32_t code = static_cast<int32_t>(peek >> (16 - length));
        if (code <= h.MaxCode[length]) {
            symbol = h.Symbols[(code + h.Offset[length]) & 0xFF];
            return length;
        }
    }
    return 0;
}

// The next entry, from the table or worked out for a long code; 0 for a bad code.
inline uint16_t NextEntry(const THuffman& h, TBits& bits, bool dc) {
    const uint16_t e = h.Fast[bits.Peek(kLookahead)];
    if (e) return e;
    int symbol = 0;
    const int length = SlowDecode(h, bits, kLookahead + 1, symbol);
    return length ? Entry(length, symbol, dc) : 0;
}

inline uint16_t NextDcEntry(const THuffman& h, TBits& bits) {
    const uint16_t e = h.Small[bits.Peek(kDcLookahead)];
    if (e) return e;
    int symbol = 0;
    const int length = SlowDecode(h, bits, kDcLookahead + 1, symbol);
    return length ? Entry(length, symbol, true) : 0;
}

// Hostile values and steps would overflow the sums; real ones stay far below the cap.
int Dequantise(int64_t value, int step) {
    return static_cast<int>(std::clamp<int64_t>(value * step, -(1 << 24), 1 << 24));
}

// The value of s extra bits: a clear top bit means a negative value.
int Extend(uint32_t v, int s) {
    const int negative = static_cast<int>(v >> (s - 1)) - 1; // all ones or zero
    return static_cast<int>(v) + (negative & (1 - (1 << s)));
}

// A coefficient difference or value of s extra bits, s from the entry.
inline int TakeValue(TBits& bits, int s) {
    if (s == 0) return 0;
    const int v = Extend(bits.Peek(s), s);
    bits.Drop(s);
    return v;
}

// The difference to the previous DC of the component.
bool DcDifference(const THuffman& h, TBits& bits, int& diff) {
    bits.Refill();
    const uint16_t e = NextDcEntry(h, bits);
    if (!e) return false;
    const int length = e >> 10 & 31, total = e & 31, s = total - length;
    const uint64_t word = bits.Buf;
    bits.Drop(total); // the value's bits are taken apart off the path to the next code
    diff = s ? Extend(static_cast<uint32_t>((word << length) >> (64 - s)), s) : 0;
    return true;
}

bool DecodeDc(const THuffman& h, TBits& bits, int& pred) {
    int diff = 0;
    if (!DcDifference(h, bits, diff)) return false;
    pred += diff;
    return pred >= -32768 && pred <= 32767;
}

uint8_t Clamp(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// Sample values this far out only come from damaged data, where libjpeg's range limiting
// wraps instead of clamping: the shortcut leaves them to it.
constexpr int kSampleLimit = 256;

bool DcPixel(int pred, int al, int step, uint8_t& out) {
    const int64_t value = (((int64_t{pred} << al) * step) + 4) >> 3;
    if (value < -kSampleLimit || value >= kSampleLimit) return false;
    out = Clamp(static_cast<int>(value) + 128);
    return true;
}

bool SkipAc(const THuffman& h, TBits& bits) {
    int k = 1;
    for (;;) {
        // A refill leaves at least 56 bits: four steps of up to 14 each.
        bits.Refill();
        for (int step = 0; step < 4; ++step) {
            const uint16_t e = h.Skip[bits.Peek(kSkipBits)];
            const int advance = e >> 4 & 127;
            if (!e || k + advance >= 64) goto single;
            bits.Drop(e & 15);
            k += advance;
            if (e & 0x800) return true;
        }
        continue;
    single: // a long code, or near the block's end: one code at a time
        bits.Refill();
        const uint16_t e = NextEntry(h, bits, false);
        if (!e) return false;
        bits.Drop(e & 31);
        const int advance = e >> 5 & 31;
        if (!advance) return true;
        k += advance;
        if (k >= 64) return true;
    }
}

// The AC coefficients, dequantised, at their natural positions.
bool DecodeAc(const THuffman& h, TBits& bits, const uint16_t* quant, int* coef) {
    for (int k = 1; k < 64;) {
        bits.Refill();
        const uint16_t e = NextEntry(h, bits, false);
        if (!e) return false;
        const int length = e >> 10 & 31, s = (e & 31) - length, advance = e >> 5 & 31;
        bits.Drop(length);
        if (!advance) break;
        if (s) {
            const int at = kNatural[static_cast<size_t>(k + advance - 1)];
            coef[at] = Dequantise(TakeValue(bits, s), quant[at]);
        }
        k += advance;
    }
    return true;
}

// The mean of each 4 x 4 quarter of a block's inverse DCT. Only the coefficients 0, 1, 3, 5
// and 7 of each direction contribute: the even ones average out over half a block.
struct TQuarterWeights {
    static constexpr int kUsed[5] = {0, 1, 3, 5, 7};
    float W[5][2]; // C(u) times the mean of cos((2x + 1) u pi / 16) over each half

    TQuarterWeights() {
        for (int n = 0; n < 5; ++n) {
            const int u = kUsed[n];
            for (int half = 0; half < 2; ++half) {
                double sum = 0;
                for (int x = half * 4; x < half * 4 + 4; ++x)
                    sum += std::cos((2 * x + 1) * u * std::numbers::pi / 16);
                W[n][half] = static_cast<float>((u == 0 ? 1 / std::sqrt(2.0) : 1.0) * sum / 4);
            }
        }
    }
};

// What the AC coefficients (coef[0] is left out) add to each quarter, top left first.
void QuarterAc(const int* coef, float out[4]) {
    static const TQuarterWeights w;
    float rows[5][2];
    for (int m = 0; m < 5; ++m) {
        const int* row = coef + TQuarterWeights::kUsed[m] * 8;
        for (int half = 0; half < 2; ++half) {
            float sum = 0;
            for (int n = 1; n < 5; ++n)
                sum += w.W[n][half] * static_cast<float>(row[TQuarterWeights::kUsed[n]]);
            rows[m][half] = m == 0 ? sum : sum + w.W[0][half] * static_cast<float>(row[0]);
        }
    }
    for (int yHalf = 0; yHalf < 2; ++yHalf)
        for (int xHalf = 0; xHalf < 2; ++xHalf) {
            float sum = 0;
            for (int m = 0; m < 5; ++m)
                sum += w.W[m][yHalf] * rows[m][xHalf];
            out[yHalf * 2 + xHalf] = sum;
        }
}

// The four pixels of a block from its AC part and its dequantised DC. The DC comes last, so a
// block decoded from a guess, whose DC is known only later, comes out the same.
bool QuarterPixels(const float ac[4], int dc, uint8_t* at, size_t width) {
    uint8_t out[4];
    for (int q = 0; q < 4; ++q) {
        // C(0) squared is one half: the DC's share of every quarter is dc / 2 before the / 4.
        const float value = std::floor((ac[q] + static_cast<float>(dc) * 0.5f) / 4 + 0.5f);
        if (!(value >= -kSampleLimit && value < kSampleLimit)) return false;
        out[q] = Clamp(static_cast<int>(value) + 128);
    }
    at[0] = out[0];
    at[1] = out[1];
    at[width] = out[2];
    at[width + 1] = out[3];
    return true;
}

// libjpeg's fixed-point YCbCr to RGB.
struct TColourTables {
    int CrR[256], CbB[256], CrG[256], CbG[256];
    TColourTables() {
        const auto fix = [](double v) { return static_cast<int>(v * 65536 + 0.5); };
        for (int i = 0; i < 256; ++i) {
            const int x = i - 128;
            CrR[i] = (fix(1.40200) * x + 32768) >> 16;
            CbB[i] = (fix(1.77200) * x + 32768) >> 16;
            CrG[i] = -fix(0.71414) * x;
            CbG[i] = -fix(0.34414) * x + 32768;
        }
    }
};

struct TPlane {
    std::vector<uint8_t> Pixels;
    size_t Width = 0;
    int Factor = 1; // output pixels per block and direction: 1, or 2 for 4:2:0 chroma
};

// A block's AC coefficients: skipped, or for 4:2:0 chroma (quarters given) their share of the
// four quarters.
bool BlockAc(const THuffman& h, TBits& bits, const uint16_t* quant, float* quarters) {
    if (!quarters) return SkipAc(h, bits);
    int coef[64] = {};
    if (!DecodeAc(h, bits, quant, coef)) return false;
    QuarterAc(coef, quarters);
    return true;
}

// A block's pixels in its plane from its DC prediction (and the AC share of its quarters).
bool BlockPixels(const TPlane& p, int pred, int al, const uint16_t* quant, const float* quarters,
                 uint8_t* at) {
    if (p.Factor == 1) return DcPixel(pred, al, quant[0], *at);
    return QuarterPixels(quarters, Dequantise(pred, quant[0]), at, p.Width);
}

// One block of an MCU in stream order: its component and its place relative to the MCU's corner.
struct TSlot {
    int Comp;
    size_t Offset;
};

// Scans at least this long are decoded in two halves at once.
constexpr size_t kGuessMinBytes = 256 * 1024;

// The second half of a long scan, decoded on another core from a guess: from a byte a little past
// its middle on as if an MCU began there. Huffman codes fall into step after a few dozen; once a
// block of the guess starts exactly where the true decode starts an MCU, and as the first block of
// its MCU, everything after it is the true decode, its DC predictions off by one constant per
// component. Bad codes before that point are stepped over bit by bit.
struct TGuess {
    const uint8_t* Bytes = nullptr; // the scan's first byte
    size_t StartBit = 0, LimitBit = 0;
    const THuffman* Dc[3] = {};
    const THuffman* Ac[3] = {};
    const uint16_t* Quant[3] = {};
    bool Quarters[3] = {}; // 4:2:0 chroma
    const std::vector<TSlot>* Slots = nullptr;
    size_t Capacity = 0;
    std::unique_ptr<uint32_t[]> Pos;  // where each block starts
    std::unique_ptr<int32_t[]> Pred;  // its component's DC prediction after it, wrapping
    std::unique_ptr<float[]> Ac4;     // with quarters: their AC parts, four per block
    std::vector<uint32_t> Errors;     // where blocks with a bad code start
    std::atomic<size_t> Published{0}; // blocks whose records are complete
    std::atomic<bool> Finished{false}, Cancel{false};
    bool Failed = false;

    void Run() {
        size_t i = 0;
        try {
            TBits bits(Bytes + StartBit / 8);
            uint32_t pred[3] = {};
            const size_t slots = Slots->size();
            for (; i < Capacity; ++i) {
                const size_t pos = StartBit + bits.Consumed();
                if (pos > LimitBit) break;
                if ((i & 1023) == 0) {
                    Published.store(i, std::memory_order_release);
                    if (Cancel.load(std::memory_order_relaxed)) break;
                }
                Pos[i] = static_cast<uint32_t>(pos);
                const int c = (*Slots)[i % slots].Comp;
                int diff = 0;
                if (!DcDifference(*Dc[c], bits, diff) ||
                    !BlockAc(*Ac[c], bits, Quant[c], Quarters[c] ? Ac4.get() + 4 * i : nullptr)) {
                    Errors.push_back(static_cast<uint32_t>(pos));
                    bits.Drop(1); // a failed lookup follows a refill: bits are there
                }
                pred[c] += static_cast<uint32_t>(diff);
                Pred[i] = static_cast<int32_t>(pred[c]);
            }
        } catch (...) { // no memory for the error list
            Failed = true;
        }
        Published.store(i, std::memory_order_release);
        Finished.store(true, std::memory_order_release);
    }
};

// A second thread, joined on every way out and told to stop first.
struct TSecondCore {
    std::function<void()> Body;
    std::atomic<bool>* Cancel = nullptr;
    bool Running = false;
    pthread_t Thread{};
    cpu_set_t Cpus{}; // where the calling thread may run
    bool Pinned = false;

    // The two on two cores, each kept on its own for the few milliseconds of the decode: left
    // to the scheduler, a new thread here waited a whole tick (3 to 4 ms) on this core before
    // it moved, or the two shared one core later on, which took longer than one alone.
    // With `here` (tests) the body runs to its end on this thread instead.
    bool Start(std::function<void()> body, std::atomic<bool>* cancel, bool here) {
        if (here) {
            body();
            return true;
        }
        pthread_attr_t attr;
        if (pthread_attr_init(&attr) != 0) return false;
        const int self = sched_getcpu();
        if (self >= 0 && sched_getaffinity(0, sizeof Cpus, &Cpus) == 0 && CPU_COUNT(&Cpus) > 1) {
            cpu_set_t others = Cpus, mine;
            CPU_CLR(self, &others);
            CPU_ZERO(&mine);
            CPU_SET(self, &mine);
            if (pthread_attr_setaffinity_np(&attr, sizeof others, &others) == 0)
                Pinned = pthread_setaffinity_np(pthread_self(), sizeof mine, &mine) == 0;
        }
        Body = std::move(body);
        Cancel = cancel;
        const auto run = [](void* me) -> void* {
            static_cast<TSecondCore*>(me)->Body();
            return nullptr;
        };
        Running = pthread_create(&Thread, &attr, run, this) == 0;
        pthread_attr_destroy(&attr);
        return Running;
    }
    void Join() {
        if (!Running) return;
        pthread_join(Thread, nullptr);
        Running = false;
    }
    ~TSecondCore() {
        if (Running && Cancel) *Cancel = true;
        Join();
        if (Pinned) pthread_setaffinity_np(pthread_self(), sizeof Cpus, &Cpus); // as before
    }
};

bool SeveralCores() {
    cpu_set_t cpus;
    return sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 1;
}

} // namespace

TJpegDcHalves& JpegDcHalves() {
    thread_local TJpegDcHalves halves;
    return halves;
}

bool DecodeJpegDcScan(const TJpegDcScan& scan, const uint8_t* data, size_t size, uint32_t* out,
                      size_t stride, size_t* end) {
    TJpegDcHalves& halves = JpegDcHalves();
    halves.Started = halves.Taken = false;
    const int n = scan.Components;
    if ((n != 1 && n != 3) || scan.Width <= 0 || scan.Height <= 0) return false;
    if (scan.Al < 0 || scan.Al > 13 || scan.RestartInterval < 0) return false;
    int hMax = 1, vMax = 1, blocks = 0;
    for (int c = 0; c < n; ++c) {
        const TJpegDcComponent& comp = scan.Comp[c];
        if (comp.H < 1 || comp.H > 4 || comp.V < 1 || comp.V > 4) return false;
        if (!comp.Quant || !comp.Dc || (!scan.Progressive && !comp.Ac)) return false;
        hMax = std::max(hMax, comp.H);
        vMax = std::max(vMax, comp.V);
        blocks += comp.H * comp.V;
    }
    // The format's own limit, which the padding after the data counts on.
    if (n > 1 && blocks > 10) return false;

    // Geometry: one block per MCU for a single component, else the interleaved MCU grid.
    const size_t outW = static_cast<size_t>(scan.Width + 7) / 8,
                 outH = static_cast<size_t>(scan.Height + 7) / 8;
    size_t mcusX = outW, mcusY = outH;
    if (n > 1) {
        mcusX = static_cast<size_t>(scan.Width + 8 * hMax - 1) / static_cast<size_t>(8 * hMax);
        mcusY = static_cast<size_t>(scan.Height + 8 * vMax - 1) / static_cast<size_t>(8 * vMax);
    }
    THuffman dcTables[3], acTables[3];
    TPlane planes[3];
    for (int c = 0; c < n; ++c) {
        const TJpegDcComponent& comp = scan.Comp[c];
        const int h = n > 1 ? comp.H : 1, v = n > 1 ? comp.V : 1;
        const int fx = hMax / comp.H, fy = vMax / comp.V;
        if (n > 1 && (hMax % comp.H || vMax % comp.V || fx != fy || fx > 2)) return false;
        TPlane& p = planes[c];
        p.Factor = n > 1 ? fx : 1;
        if (scan.Progressive && p.Factor != 1) return false;
        p.Width = mcusX * static_cast<size_t>(h) * static_cast<size_t>(p.Factor);
        p.Pixels.assign(p.Width * mcusY * static_cast<size_t>(v * p.Factor), 0);
        if (!BuildTable(*comp.Dc, true, dcTables[c])) return false;
        if (!scan.Progressive) {
            if (!BuildTable(*comp.Ac, false, acTables[c])) return false;
            BuildSkipTable(acTables[c]);
        }
    }

    TSegments seg;
    if (!Unstuff(data, size, scan.RestartInterval, seg)) return false;
    const size_t mcus = mcusX * mcusY;
    const size_t interval = scan.RestartInterval ? static_cast<size_t>(scan.RestartInterval) : mcus;
    if (seg.Starts.size() != (mcus + interval - 1) / interval) return false;

    std::vector<TSlot> slots;
    size_t stepX[3] = {}, stepY[3] = {};
    for (int c = 0; c < n; ++c) {
        const TPlane& p = planes[c];
        const size_t h = n > 1 ? static_cast<size_t>(scan.Comp[c].H) : 1,
                     v = n > 1 ? static_cast<size_t>(scan.Comp[c].V) : 1,
                     f = static_cast<size_t>(p.Factor);
        for (size_t by = 0; by < v; ++by)
            for (size_t bx = 0; bx < h; ++bx)
                slots.push_back({c, by * f * p.Width + bx * f});
        stepX[c] = h * f;
        stepY[c] = v * f * p.Width;
    }

    const auto originOf = [&](int c, size_t mx, size_t my) {
        return planes[c].Pixels.data() + my * stepY[c] + mx * stepX[c];
    };
    bool anyQuarters = false;
    for (int c = 0; c < n; ++c)
        anyQuarters = anyQuarters || planes[c].Factor == 2;
    const size_t nslots = slots.size();
    const bool twoCores = !halves.OneCore && (halves.GuessFirst || SeveralCores());

    // One restart interval, or the whole scan without restarts.
    const auto decodeSegment = [&](size_t s) -> bool {
        const size_t segBytes =
            (s + 1 < seg.Starts.size() ? seg.Starts[s + 1] : seg.Bytes.size() - kPadding) -
            seg.Starts[s];
        TBits bits(seg.Bytes.data() + seg.Starts[s]);
        int pred[3] = {0, 0, 0};
        const size_t first = s * interval, last = std::min(mcus, first + interval);

        // A long scan without restarts: its second half on another core.
        std::unique_ptr<TGuess> guess;
        TSecondCore guessThread;
        if (seg.Starts.size() == 1 && !scan.Progressive && segBytes >= kGuessMinBytes && twoCores) {
            guess = std::make_unique<TGuess>();
            guess->Bytes = seg.Bytes.data();
            // Past the middle: the guess keeps records and so runs about a quarter slower.
            guess->StartBit = segBytes / 20 * 11 * 8;
            guess->LimitBit = segBytes * 8;
            for (int c = 0; c < n; ++c) {
                guess->Dc[c] = &dcTables[c];
                guess->Ac[c] = &acTables[c];
                guess->Quant[c] = scan.Comp[c].Quant;
                guess->Quarters[c] = planes[c].Factor == 2;
            }
            guess->Slots = &slots;
            guess->Capacity = mcus * nslots + 1;
            guess->Pos.reset(new uint32_t[guess->Capacity]);
            guess->Pred.reset(new int32_t[guess->Capacity]);
            if (anyQuarters) guess->Ac4.reset(new float[4 * guess->Capacity]);
            if (!guessThread.Start([g = guess.get()] { g->Run(); }, &guess->Cancel,
                                   halves.GuessFirst))
                guess.reset();
            halves.Started = guess != nullptr;
        }
        bool watching = guess != nullptr;
        size_t guessAt = 0; // the first record not yet passed

        // Takes the guess from record j on as MCUs m and up; false if it does not hold.
        const auto takeGuess = [&](size_t m, size_t j) {
            guessThread.Join();
            const TGuess& g = *guess;
            const size_t records = g.Published.load(std::memory_order_acquire);
            const size_t endAt = j + (last - m) * nslots;
            if (g.Failed || endAt >= records) return false;
            if ((g.Pos[endAt] + 7) / 8 != segBytes) return false;
            const auto error = std::lower_bound(g.Errors.begin(), g.Errors.end(), g.Pos[j]);
            if (error != g.Errors.end() && *error < g.Pos[endAt]) return false;
            uint32_t delta[3];
            for (int c = 0; c < n; ++c) {
                uint32_t before = 0; // the guess's prediction before record j
                for (size_t i = j; i-- > 0 && i + nslots >= j;)
                    if (slots[i % nslots].Comp == c) {
                        before = static_cast<uint32_t>(g.Pred[i]);
                        break;
                    }
                delta[c] = static_cast<uint32_t>(pred[c]) - before;
            }
            size_t mx = m % mcusX, my = m / mcusX;
            for (size_t i = j; i < endAt; i += nslots) {
                for (size_t k = 0; k < nslots; ++k) {
                    const TSlot& slot = slots[k];
                    const int c = slot.Comp;
                    const int value =
                        static_cast<int32_t>(static_cast<uint32_t>(g.Pred[i + k]) + delta[c]);
                    if (value < -32768 || value > 32767) return false;
                    const float* quarters = g.Ac4 ? g.Ac4.get() + 4 * (i + k) : nullptr;
                    if (!BlockPixels(planes[c], value, scan.Al, scan.Comp[c].Quant, quarters,
                                     originOf(c, mx, my) + slot.Offset))
                        return false;
                }
                if (++mx == mcusX) {
                    mx = 0;
                    ++my;
                }
            }
            return true;
        };

        size_t mx = first % mcusX, my = first / mcusX;
        uint8_t* origin[3] = {};
        const auto placeRow = [&] {
            for (int c = 0; c < n; ++c)
                origin[c] = originOf(c, mx, my);
        };
        placeRow();
        bool done = false;
        for (size_t mcu = first; mcu < last; ++mcu) {
            if (watching) {
                const size_t pos = bits.Consumed();
                if (pos >= guess->StartBit) {
                    const bool finished = guess->Finished.load(std::memory_order_acquire);
                    const size_t records = guess->Published.load(std::memory_order_acquire);
                    while (guessAt < records && guess->Pos[guessAt] < pos)
                        ++guessAt;
                    if (guessAt < records && guess->Pos[guessAt] == pos && guessAt % nslots == 0) {
                        if (takeGuess(mcu, guessAt)) {
                            halves.Taken = done = true;
                            break;
                        }
                        watching = false; // it did not hold: on alone
                    } else if (guessAt >= records && finished) {
                        watching = false;
                    }
                }
            }
            for (const TSlot& slot : slots) {
                const int c = slot.Comp;
                float ac[4];
                float* quarters = planes[c].Factor == 2 ? ac : nullptr;
                if (!DecodeDc(dcTables[c], bits, pred[c])) return false;
                // A progressive DC scan holds no AC coefficients.
                if (!scan.Progressive && !BlockAc(acTables[c], bits, scan.Comp[c].Quant, quarters))
                    return false;
                if (!BlockPixels(planes[c], pred[c], scan.Al, scan.Comp[c].Quant, quarters,
                                 origin[c] + slot.Offset))
                    return false;
            }
            if (bits.Consumed() > segBytes * 8) return false; // ran past its data
            if (++mx == mcusX) {
                mx = 0;
                ++my;
                placeRow();
            } else {
                for (int c = 0; c < n; ++c)
                    origin[c] += stepX[c];
            }
        }
        // The interval must end in its last byte: what is left are padding bits only.
        return done || (bits.Consumed() + 7) / 8 == segBytes;
    };

    // Restart intervals are independent: the later half of them on another core.
    const size_t segments = seg.Starts.size();
    size_t split = segments;
    std::atomic<bool> secondCancel{false};
    bool secondOk = true;
    TSecondCore second; // after what it uses: joined before they go
    if (segments >= 4 && seg.Bytes.size() >= kGuessMinBytes + kPadding && twoCores) {
        split = segments / 2;
        const auto rest = [&, split] {
            for (size_t s = split; s < segments && !secondCancel.load(std::memory_order_relaxed);
                 ++s)
                if (!decodeSegment(s)) {
                    secondOk = false;
                    return;
                }
        };
        halves.Started = second.Start(rest, &secondCancel, halves.GuessFirst);
        if (!halves.Started) split = segments;
    }
    for (size_t s = 0; s < split; ++s)
        if (!decodeSegment(s)) return false;
    second.Join();
    if (!secondOk) return false;
    if (split < segments) halves.Taken = true;

    static const TColourTables t;
    for (size_t y = 0; y < outH; ++y) {
        uint32_t* row = out + y * stride;
        const uint8_t* lum = planes[0].Pixels.data() + y * planes[0].Width;
        if (n == 1) {
            for (size_t x = 0; x < outW; ++x)
                row[x] = 0xFF000000u | lum[x] * 0x010101u;
            continue;
        }
        const uint8_t* cb = planes[1].Pixels.data() + y * planes[1].Width;
        const uint8_t* cr = planes[2].Pixels.data() + y * planes[2].Width;
        for (size_t x = 0; x < outW; ++x) {
            const int l = lum[x];
            const uint32_t r = Clamp(l + t.CrR[cr[x]]);
            const uint32_t g = Clamp(l + ((t.CbG[cb[x]] + t.CrG[cr[x]]) >> 16));
            const uint32_t b = Clamp(l + t.CbB[cb[x]]);
            row[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    *end = seg.End;
    return true;
}
