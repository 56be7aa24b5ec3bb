#pragma once
// The pictures of the commands, the tray animation and the pop-up. The desktop theme's icon is
// used where it has one, so the window matches the desktop; the program's own PNGs fill in.
#include <QIcon>
#include <QPixmap>
#include <QString>

// Slots of the command image list: 0 about, 1 play, 2 playing, 3 pause, 4 resume, 5 stop,
// 6 load, 7 prior folder, 8 prior file, 9 next file, 10 next folder, 11 options, 13 restore,
// 14 exit, 16 mixer, 17 folder image. Any other slot gives a null icon.
QIcon MenuIcon(int slot);
// The bundled picture of a slot alone, whatever the theme has (empty when the slot is unused).
QString MenuIconResource(int slot);

constexpr int TrayFrameCount = 3;
// Frame i of the tray animation (frame 0 is the resting picture); i is taken modulo 3.
QIcon TrayFrame(int i);
QString TrayFrameResource(int i);

// The pop-up's picture: 32 x 16, the left half is the one shown.
QPixmap NotesPicture();

// Registers the bundled pictures; the resource lives in a static library, so it is not
// registered by itself. Called by the functions above; safe to call again.
void InitVelodraResources();
