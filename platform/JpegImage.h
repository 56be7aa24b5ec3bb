#pragma once
// Folder pictures: JPEG decoded straight at a reduced DCT scale, so a camera picture costs a
// fraction of a full decode.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// Files larger than this are not read.
constexpr qint64 MaxJpegFileSize = 64 * 1024 * 1024;
// Declared sizes above this many pixels are refused before any decoding.
constexpr qint64 MaxJpegDeclaredPixels = 150'000'000;
// Limit of the decoded (scaled) picture.
constexpr qint64 MaxJpegOutputPixels = 40'000'000;

// Decodes at the smallest scale n/8 (n = 1..8) whose size still covers `cover` in both
// directions, by libjpeg's own reduced-size decode; a picture smaller than `cover` comes at its
// full size. The result is QImage::Format_RGB32 (grayscale, CMYK and YCCK converted, Adobe's
// inverted CMYK included).
// Any failure gives a null image and reports nothing: a missing or non-regular file, one above
// MaxJpegFileSize, not a JPEG, damaged or truncated data, a declared size above the limits,
// more than 200 scans. A progressive file decoded at 1/8 is read only as far as its first scans
// (the ones that hold what 1/8 uses), so damage or a cut after them still gives a picture.
QImage LoadJpegScaled(const QString& path, QSize cover);
QImage DecodeJpegScaled(const QByteArray& data, QSize cover);

// Any picture a ripper or a tagger leaves: a JPEG as above, anything else (PNG above all)
// through Qt's image reader at the same covering size, with the same bounds on the declared and
// the decoded size. A null image on any failure.
QImage LoadPictureScaled(const QString& path, QSize cover);
QImage DecodePictureScaled(const QByteArray& data, QSize cover);
