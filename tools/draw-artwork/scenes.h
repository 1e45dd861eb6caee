#pragma once
// The four window pictures and the program's icon, each drawn from nothing on every call.

#include <QImage>

namespace artwork {

// Bitmaps at their own sizes, opaque (RGB32); the main window's is still in full colour here,
// the 256-colour reduction comes when it is written.
QImage DrawMainWindow();   // 153
QImage DrawPage();         // 146
QImage DrawFirstRun();     // 157
QImage DrawInformation();  // 152

// The icon, size by size pixels with transparency.
QImage DrawIcon(int size);

// The colours the main window's picture uses for its flat areas, kept exact in 256 colours.
QList<QRgb> MainWindowFlatColours();

}  // namespace artwork
