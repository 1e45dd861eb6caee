#pragma once
// Where the windows put their labels, so the pictures can put dark ground behind white text,
// light ground behind black text, and draw the help hotspots that are empty labels.
//
// Every picture is stretched over its window's client area, and that area is measured in
// dialog units (base units 6 x 13, rounded as MulDiv rounds). The scenes are drawn in window
// pixels with the painter scaled to the bitmap, so a circle stays round after the stretch.

#include <QRectF>
#include <QSize>

#include <span>

namespace artwork {

// a * b / c rounded half away from zero, for the non-negative values of dialog templates.
int MulDiv(int a, int b, int c);

// One template rectangle in dialog units, converted edge by edge to client pixels.
QRectF DluRect(int x, int y, int w, int h);

enum class TextColour { None, Black, White, BlackOrWhite };

struct Label {
    int id;
    const char* role;
    int x, y, w, h;        // dialog units
    TextColour colour;     // what the window paints there; None for hotspots and buttons
};

struct Picture {
    int id;                // bitmap id, also the file name
    QSize bitmap;          // pixels
    int dluWidth, dluHeight;
    int bitsPerPixel;      // 8 (256 colours) or 24
    bool redCorners;       // colour key pure red at the corners; otherwise pure green nowhere
    std::span<const Label> labels;

    QSize Window() const;  // client size in pixels
    QRectF ToBitmap(const QRectF& windowPixels) const;
};

std::span<const Picture> Pictures();
// Null when no picture has this id.
const Picture* PictureById(int id);

// Where a page sits inside the main window, in dialog units.
inline constexpr int kPageX = 0, kPageY = 42, kPageW = 457, kPageH = 245;

// The main window's help hotspot and the first-run dialog's, in dialog units.
inline constexpr int kMainHelpX = 428, kMainHelpY = 0, kMainHelpW = 20, kMainHelpH = 14;
inline constexpr int kFirstRunHelpX = 358, kFirstRunHelpY = 10, kFirstRunHelpW = 73, kFirstRunHelpH = 28;

}  // namespace artwork
