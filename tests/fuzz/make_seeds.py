#!/usr/bin/env python3
"""Writes the small seed inputs of the reader fuzzers into tests/fuzz/seeds/<fuzzer>/. The
TagLib fuzzer's seeds are short tagged tones that ffmpeg encodes."""
import base64
import os
import struct
import subprocess
import tempfile

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


def wma(undersized=False, picture=None):
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
    if picture:  # WM/Picture: type, size, MIME type, description, bytes
        n, v = utf16("WM/Picture"), bytes([3]) + struct.pack("<I", len(picture)) + utf16("image/jpeg") + utf16("") + picture
        ext = struct.pack("<H", len(descs) + 1) + ext[2:] + struct.pack("<H", len(n)) + n + struct.pack("<HH", 1, len(v)) + v
    ecd = asf_object("D2D0A440-E307-11D2-97F0-00A0C95EA850", ext)
    objects = fp + sp + cd + ecd
    if undersized:  # an object that claims less than its own header, between two others
        objects = fp + sp + guid("75B22633-668E-11CF-A6D9-00AA0062CE6C") + struct.pack("<Q", 10) + cd
    return guid("75B22630-668E-11CF-A6D9-00AA0062CE6C") + struct.pack("<QIBB", 30 + len(objects), 4, 1, 2) + objects


def text(enc, s):
    return bytes([enc]) + s


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
        "pictures": tag(3, frame(3, b"APIC", text(0, b"image/png\0\x04back\0\x89PNG")) +
                        frame(3, b"APIC", text(0, b"-->\0\x03\0http://x")) +
                        frame(3, b"APIC", text(1, b"image/jpeg\0\x03\xff\xfe\0\0\xff\xd8\xff"))) + mpeg(),
        "picture_past_tag": tag(3, frame(3, b"APIC", text(0, b"image/jpeg\0\x00\0\xff\xd8"))[:4] +
                                struct.pack(">I", 4000) + b"\0\0" + text(0, b"image/jpeg\0\x03\0\xff")) + mpeg(),
        "unsync": tag(3, frame(3, b"TIT2", text(0, b"a\xff\xe0b")).replace(b"\xff\xe0", b"\xff\0\xe0"), 0x80) + mpeg(),
    },
    "fuzz_wma": {"header": wma(), "undersized": wma(undersized=True),
                 "picture": wma(picture=bytes([0xFF, 0xD8, 0xFF, 0xE0]) + bytes(12))},
}



def encoded(name, *args, channels=1, rate=8000, inputs=()):
    """0.05 s of a tone with a tag, as ffmpeg writes it with the given output options."""
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                        "sine=sample_rate=%d:duration=0.05" % rate, *inputs, "-ac", str(channels), "-fflags",
                        "+bitexact", "-metadata", "title=Title", "-metadata", "track=3/9", *args,
                        os.path.join(tmp, name)], check=True)
        with open(os.path.join(tmp, name), "rb") as f:
            return f.read()


def with_cover(name):
    """An 8 x 8 red cover attached as ffmpeg attaches it."""
    return encoded(name, "-map", "0", "-map", "1", "-c:v", "mjpeg", "-frames:v", "1", "-disposition:v",
                   "attached_pic", inputs=("-f", "lavfi", "-i", "color=c=red:s=8x8"))


jpeg = b"\xff\xd8\xff\xe0" + bytes(12)  # a FLAC PICTURE block: front cover, MIME, no text, 8 x 8
block = struct.pack(">II", 3, 10) + b"image/jpeg" + struct.pack(">IIIIII", 0, 8, 8, 24, 0, len(jpeg)) + jpeg
seeds["fuzz_taglib"] = {
    "flac_picture": with_cover("p.flac"), "m4a_cover": with_cover("p.m4a"), "wma_picture": seeds["fuzz_wma"]["picture"],
    "opus_picture": encoded("p.opus", "-metadata", "METADATA_BLOCK_PICTURE=" + base64.b64encode(block).decode(),
                            rate=48000),
    "flac": encoded("a.flac"), "vorbis": encoded("a.ogg"), "opus": encoded("a.opus", rate=48000),
    "oggflac": encoded("a.oga", "-c:a", "flac", channels=2), "aac": encoded("a.m4a"),
    "alac": encoded("a.m4a", "-c:a", "alac"), "wav": encoded("a.wav", "-c:a", "pcm_u8"),
}

for fuzzer, files in seeds.items():
    folder = os.path.join(here, "seeds", fuzzer)
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)
