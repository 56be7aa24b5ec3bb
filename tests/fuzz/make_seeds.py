#!/usr/bin/env python3
"""Writes the small seed inputs of the reader fuzzers into tests/fuzz/seeds/<fuzzer>/."""
import os
import random
import struct

here = os.path.dirname(os.path.abspath(__file__))


def synchsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def tag(major, body, flags=0):
    return b"ID3" + bytes([major, 0, flags]) + synchsafe(len(body)) + body


def frame(major, fid, content, fmt=0):
    if major == 2:
        return fid + struct.pack(">I", len(content))[1:] + content
    size = synchsafe(len(content)) if major == 4 else struct.pack(">I", len(content))
    return fid + size + bytes([0, fmt]) + content


def mpeg(b1=0xFB, b2=0x90, b3=0x40, length=104, xing=None, vbri=None):
    f = bytearray([0xFF, b1, b2, b3]) + bytes(length - 4)
    if xing:
        f[36:52] = b"Xing" + struct.pack(">III", 3, 100, 41800)
    if vbri:
        f[36:62] = b"VBRI" + struct.pack(">HHHIIHHHH", 1, 1105, 75, 41800, 100, 0, 1, 2, 0)
    return bytes(f)


def id3v1(title=b"Title", track=3, genre=17):
    def fixed(s, n):
        return s[:n].ljust(n, b"\0")
    comment = fixed(b"Comment", 28) + bytes([0, track])
    return b"TAG" + fixed(title, 30) + fixed(b"Artist", 30) + fixed(b"Album", 30) + b"1999" + comment + bytes([genre])


def guid(text):
    a, b, c, d, e = text.split("-")
    return struct.pack("<IHH", int(a, 16), int(b, 16), int(c, 16)) + bytes.fromhex(d + e)


def asf_object(g, payload):
    return guid(g) + struct.pack("<Q", 24 + len(payload)) + payload


def utf16(s):
    return s.encode("utf-16-le") + b"\0\0"


def wma(undersized=False):
    fp = asf_object("8CABDCA1-A947-11CF-8EE4-00C00C205365", bytes(76) + struct.pack("<II", 128000, 0))
    sp = asf_object("B7DC0791-A9B7-11CF-8EE6-00C00C205365",
                    bytes(54) + struct.pack("<HHIIHHH", 0x161, 2, 44100, 16000, 0, 16, 0))
    strings = [utf16("Title"), utf16("Author"), b"", utf16("Comment"), b""]
    cd = asf_object("75B22633-668E-11CF-A6D9-00AA0062CE6C",
                    struct.pack("<5H", *map(len, strings)) + b"".join(strings))
    descs = [("WM/AlbumTitle", "Album"), ("WM/Track", "7"), ("WM/Year", "2001")]
    ext = struct.pack("<H", len(descs))
    for name, value in descs:
        n, v = utf16(name), utf16(value)
        ext += struct.pack("<H", len(n)) + n + struct.pack("<HH", 0, len(v)) + v
    ecd = asf_object("D2D0A440-E307-11D2-97F0-00A0C95EA850", ext)
    objects = fp + sp + cd + ecd
    if undersized:  # an object that claims less than its own header, between two others
        objects = fp + sp + guid("75B22633-668E-11CF-A6D9-00AA0062CE6C") + struct.pack("<Q", 10) + cd
    return guid("75B22630-668E-11CF-A6D9-00AA0062CE6C") + struct.pack("<QIBB", 30 + len(objects), 4, 1, 2) + objects


def text(enc, s):
    return bytes([enc]) + s



# The example Huffman tables of ITU T.81 Annex K (K.3 to K.6): counts of codes of length 1..16
# and the symbols in code order.
LUMA_DC = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
CHROMA_DC = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
LUMA_AC = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D], bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f0"
    "2433627282090a161718191a25262728292a3435363738393a434445464748494a"
    "535455565758595a636465666768696a737475767778797a838485868788898a"
    "92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6"
    "c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa"))
CHROMA_AC = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0"
    "156272d10a162434e125f11718191a262728292a35363738393a434445464748"
    "494a535455565758595a636465666768696a737475767778797a828384858687"
    "88898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3"
    "c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9fa"))


def huffman_codes(table):
    """Symbol to (code, length) the canonical way (T.81 Annex C)."""
    counts, symbols = table
    assert sum(counts) == len(symbols) == len(set(symbols))
    codes, code, k = {}, 0, 0
    for length, n in enumerate(counts, 1):
        for _ in range(n):
            codes[symbols[k]] = (code, length)
            code, k = code + 1, k + 1
        assert code < 1 << length  # the code of all ones stays unused
        code <<= 1
    return codes


# Every AC table above codes each run/size pair of sizes 1..10, the end of block and 16 zeros.
for t in (LUMA_AC, CHROMA_AC):
    assert set(t[1]) == {r << 4 | s for r in range(16) for s in range(1, 11)} | {0x00, 0xF0}
LUMA = (huffman_codes(LUMA_DC), huffman_codes(LUMA_AC))
CHROMA = (huffman_codes(CHROMA_DC), huffman_codes(CHROMA_AC))


class Bits:
    def __init__(self):
        self.bits = []

    def put(self, code, length):
        self.bits += [code >> (length - 1 - i) & 1 for i in range(length)]

    def value(self, codes, symbol_high, v):
        """A category symbol, then the extra bits of v (T.81 F.1.2.1)."""
        s = abs(v).bit_length()
        self.put(*codes[symbol_high | s])
        if s:
            self.put(v if v > 0 else v + (1 << s) - 1, s)

    def block(self, tables, dc_diff, ac=None):
        """One block: the DC difference, then AC values by zig-zag index (none for a DC scan)."""
        dc, acs = tables
        self.value(dc, 0, dc_diff)
        if ac is None:
            return
        last = 0
        for k in sorted(ac):
            run = k - last - 1
            while run > 15:
                self.put(*acs[0xF0])
                run -= 16
            self.value(acs, run << 4, ac[k])
            last = k
        if last < 63:
            self.put(*acs[0x00])

    def data(self):
        """The bytes with one bits up to a whole byte, and a zero byte stuffed after each 0xFF."""
        bits = self.bits + [1] * (-len(self.bits) % 8)
        out = bytearray()
        for i in range(0, len(bits), 8):
            out.append(int("".join(map(str, bits[i:i + 8])), 2))
            if out[-1] == 0xFF:
                out.append(0)
        return bytes(out)


def coded(mcus, dc_only=False):
    """MCUs given as lists of (tables, component, dc, ac) blocks, DC predicted per component."""
    bits, pred = Bits(), {}
    for mcu in mcus:
        for tables, comp, dc, ac in mcu:
            bits.block(tables, dc - pred.get(comp, 0), None if dc_only else ac)
            pred[comp] = dc
    return bits


def scan(mcus, restart=0, dc_only=False):
    """Entropy-coded data, with a restart marker after every `restart` MCUs."""
    step = restart or len(mcus)
    parts = [coded(mcus[i:i + step], dc_only).data() for i in range(0, len(mcus), step)]
    return b"".join(part + (bytes([0xFF, 0xD0 + n % 8]) if n + 1 < len(parts) else b"")
                    for n, part in enumerate(parts))


# The fuzzer's first bytes: flags, layout, size, Al and stride, restart interval, quantisation,
# Huffman tables (unless the Annex K flag), then the data.
COLOUR, PROGRESSIVE, ANNEX_K, APPEND_END, LONG, LARGE, SHARED, RESTARTS = (1 << i for i in range(8))
FULL, SUBSAMPLED = 0, 112  # layout bytes: all 1 x 1, 2 x 2 luma


def jpegdc(flags, layout, width, height, quants, data, al=0, stride_extra=0, restart=0, tables=()):
    out = bytes([flags, layout]) + struct.pack("<HHBB", width - 1, height - 1, al | stride_extra << 4, restart)
    for q in quants:
        out += bytes([len(q)]) + struct.pack("<%dH" % len(q), *q)
    for counts, symbols in tables:
        out += bytes(counts) + bytes(symbols)
    return out + data


def grey(blocks, dc=lambda i: 0, ac=lambda i: {}):
    return [[(LUMA, 0, dc(i), ac(i))] for i in range(blocks)]


def colour(mcus, luma_blocks, dc=lambda i, c: 0, ac=lambda i, c: {}, chroma=CHROMA):
    return [[(LUMA, 0, dc(i, 0), ac(i, 0))] * luma_blocks +
            [(chroma, c, dc(i, c), ac(i, c)) for c in (1, 2)] for i in range(mcus)]


def aligned(make):
    """MCUs from make(rng) coded in whole bytes: the fuzzer repeats such a tile into a long scan."""
    rng = random.Random(7)
    while True:
        mcus = make(rng)
        if len(coded(mcus).bits) % 8 == 0:
            return mcus


def random_ac(rng, count):
    return {rng.randrange(1, 64): rng.choice([-1, 1]) * rng.randrange(1, 8) for _ in range(count)}


def long_grey(rng):
    n = 256
    dcs = [rng.randrange(-60, 60) for _ in range(n - 1)] + [0]
    return grey(n, lambda i: dcs[i], lambda i: random_ac(rng, rng.randrange(3)))


def long_colour(rng):
    n = 96
    dcs = [[rng.randrange(-40, 40) for _ in range(3)] for _ in range(n - 1)] + [[0, 0, 0]]
    return colour(n, 1, lambda i, c: dcs[i][c], lambda i, c: random_ac(rng, rng.randrange(3)))


seeds = {
    "fuzz_id3v1": {
        "v11": b"\x55" * 64 + id3v1(),
        "v10": id3v1(b"T" * 30, 0, 147)[:125] + b"x" * 2 + b"\x93",
    },
    "fuzz_id3v2": {
        "v22": tag(2, frame(2, b"TT2", text(0, b"Title")) + frame(2, b"TAL", text(0, b"Album")) +
                   frame(2, b"PIC", text(0, b"JPG\x03\0\xff\xd8"))) + mpeg(),
        "v23": tag(3, frame(3, b"TIT2", text(1, b"\xff\xfeT\0i\0")) + frame(3, b"COMM", text(0, b"eng\0c")) +
                   frame(3, b"APIC", text(0, b"image/jpeg\0\x03\0\xff\xd8")) + bytes(16)) + mpeg(xing=True) + id3v1(),
        "v24": tag(4, synchsafe(15) + bytes([1, 0x70, 0, 5, 0, 0, 1, 2, 1, 1, 0xB5]) +
                   frame(4, b"TIT2", text(3, b"Gr\xc3\xbc\0x")) + frame(4, b"TALB", synchsafe(3) + text(2, b"\0A"), 0x01) +
                   frame(4, b"TPE1", text(0, b"x\xff\0\xe1"), 0x02) + frame(4, b"TXXX", text(0, b"k\0v")), 0x40) +
               mpeg(0xF3, 0x80, 0xC0),
        "vbri": tag(3, frame(3, b"TIT2", text(0, b"Vbri"))) + mpeg(b3=0x00, vbri=True) + mpeg(),
        "unsync24": tag(4, frame(4, b"TIT2", text(0, b"a\xff\0\xe0b")) + frame(4, b"TALB", text(0, b"\xff\0"), 0x02),
                        0x80) + mpeg(),
        "unsync": tag(3, frame(3, b"TIT2", text(0, b"a\xff\xe0b")).replace(b"\xff\xe0", b"\xff\0\xe0"), 0x80) + mpeg(),
    },
    "fuzz_wma": {"header": wma(), "undersized": wma(undersized=True)},
    "fuzz_jpegdc": {
        # Flat grey: each block a DC difference of 0, then the end of block.
        "grey16": jpegdc(ANNEX_K | APPEND_END, FULL, 16, 16, [[16]], scan(grey(4))),
        "colour32_420": jpegdc(COLOUR | ANNEX_K | APPEND_END, SUBSAMPLED, 32, 32, [[16], [17, 12, 9, 30]],
                               scan(colour(4, 4, lambda i, c: 3 * i - 4 if c else 2 * i,
                                           lambda i, c: {1: 5, 2: -3, 8: 2, 20: 1} if c else {}))),
        "colour16_restart": jpegdc(COLOUR | ANNEX_K | RESTARTS, FULL, 16, 16, [[8], [8]],
                                   scan(colour(4, 1, lambda i, c: (5, -3, 1)[c] * (i + 1)), restart=1) +
                                   b"\xff\xd9", restart=1),
        "colour48_420_restart": jpegdc(COLOUR | ANNEX_K | RESTARTS | APPEND_END, SUBSAMPLED, 48, 32, [[10], [10]],
                                       scan(colour(6, 4, lambda i, c: i - c,
                                                   lambda i, c: {3: i + 1, 9: -2} if c else {1: -1}), restart=2),
                                       restart=2),
        "grey_progressive": jpegdc(PROGRESSIVE | APPEND_END, FULL, 24, 16, [[20]],
                                   scan(grey(6, lambda i: (3, -7, 12, 0, -1, 9)[i]), dc_only=True),
                                   al=2, stride_extra=3, tables=[LUMA_DC]),
        # Codes of 16 bits, runs of more than 16 zeros and a block without an end of block.
        "grey_long_codes": jpegdc(ANNEX_K | APPEND_END, FULL, 16, 8, [[1]],
                                  scan(grey(2, ac=lambda i: {1: 1000, 17: -1, 40: 300, 63: -1} if i == 0
                                            else {2: 40, 63: 5}))),
        "colour16_tables": jpegdc(COLOUR | SHARED | APPEND_END, FULL, 16, 16, [[4, 5, 6], [7]],
                                  scan(colour(4, 1, lambda i, c: i * c, lambda i, c: {c + 1: i + 1}, LUMA)),
                                  stride_extra=1, tables=[LUMA_DC, LUMA_AC]),
        # Tiles the fuzzer repeats past the size at which a second thread takes the second half.
        "grey_long": jpegdc(ANNEX_K | APPEND_END | LONG | LARGE, FULL, 512, 32, [[3]], scan(aligned(long_grey))),
        "colour_long": jpegdc(COLOUR | ANNEX_K | APPEND_END | LONG | LARGE, FULL, 768, 8, [[4], [6]],
                              scan(aligned(long_colour))),
    },
}

for fuzzer, files in seeds.items():
    folder = os.path.join(here, "seeds", fuzzer)
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
