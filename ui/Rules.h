#pragma once
// How the display reads rates and who plays, and where the window may lie: pure functions of the
// window.
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>

// The sampling rate in kHz with one decimal in the user's locale, a zero decimal dropped:
// "44.1 kHz", "48 kHz", "96 kHz", "88.2 kHz".
QString SampleRateText(std::uint32_t hz);
// The display's rate line: "44.1 kHz  128 kbps"; empty when the bit rate is 0.
QString RateText(std::uint32_t sampleRateHz, std::uint32_t bitRateKbps);

// Who plays, for a line of its own: "Artist - Album" when that fits, else the artist alone (the
// album alone without an artist); empty when the file names neither.
QString ArtistLine(const QString& artist, const QString& album,
                   const std::function<bool(const QString&)>& fits);

// Where a window's frame goes so that it lies wholly in the work area: moved back from the right
// and bottom edges first, then from the left and top, so a frame larger than the area keeps its
// top-left corner inside. The top-left corner of the frame, unchanged when it already fits.
QPoint KeepFrameOnArea(const QRect& frame, const QRect& area);
