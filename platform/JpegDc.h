#pragma once
// A 1/8 picture straight from the DC coefficients of a Huffman-coded JPEG scan: each 8 x 8
// block becomes one pixel. A reduced decode costs what its entropy decoding costs; skipping the
// AC coefficients by table, without storing them, takes well under half of libjpeg's time.
// Neither Qt nor libjpeg, so the fuzzer can take it on its own.
#include <cstddef>
#include <cstdint>

// One Huffman table as a DHT segment stores it.
struct TJpegHuffmanTable {
    uint8_t Counts[16] = {}; // codes of length 1..16
    uint8_t Symbols[256] = {};
};

struct TJpegDcComponent {
    int H = 1, V = 1;                // sampling factors
    const uint16_t* Quant = nullptr; // 64 steps in natural (row by row) order
    const TJpegHuffmanTable* Dc = nullptr;
    const TJpegHuffmanTable* Ac = nullptr; // unused by a progressive DC scan
};

// The frame and its scan, which must hold every component in frame order.
struct TJpegDcScan {
    int Width = 0, Height = 0;
    int Components = 0; // 1 (grey) or 3 (YCbCr)
    TJpegDcComponent Comp[3];
    bool Progressive = false; // the first DC scan of a progressive frame (Ss = Se = Ah = 0)
    int Al = 0;               // its point transform
    int RestartInterval = 0;  // MCUs, 0 without restarts
};

// Decodes the scan whose entropy-coded data starts at data[0] into out: (Width + 7) / 8 by
// (Height + 7) / 8 pixels 0xffRRGGBB, rows `stride` pixels apart. Colour comes out as libjpeg's
// own 1/8 decode gives it: chroma at full resolution from its DC, 4:2:0 chroma from the
// averages of each block's four quarters (which needs its AC coefficients; progressive scans
// do not have them here, so they must be unsubsampled).
// False for every layout it does not take and for anything irregular: a bad table or code, data
// that ends early, restart markers out of step, bytes left over. The caller then has libjpeg
// decide. On success *end is the offset of the 0xFF before the code of the marker that ends the
// scan.
bool DecodeJpegDcScan(const TJpegDcScan& scan, const uint8_t* data, size_t size, uint32_t* out,
                      size_t stride, size_t* end);

// For tests and the benchmark. Whether the last call on this thread had another core decode a
// later part of the scan (its second half from a guess, or the later half of the restart
// intervals), and whether that part was used. With GuessFirst that part runs first on this
// thread, so that whether a guess is taken depends on the data alone; with OneCore one core
// does all.
struct TJpegDcHalves {
    bool GuessFirst = false;
    bool OneCore = false;
    bool Started = false, Taken = false;
};
TJpegDcHalves& JpegDcHalves();
