#pragma once
// The faces the display and the pop-up are drawn with. The display is designed for Tahoma; the
// metric-compatible file that Wine ships is loaded when it is there, else the desktop's sans
// face stands in. Sizes are character heights in pixels, independent of the screen's DPI.
#include <QFont>
#include <QString>

// "Tahoma" when it could be loaded or is installed, else the desktop's general face.
QString DisplayFamily();
// "Times New Roman" where installed, else "Liberation Serif", else any serif face.
QString SerifFamily();

QFont DisplayFont(int pixelSize, bool bold = false);
QFont SerifFont(int pixelSize);
