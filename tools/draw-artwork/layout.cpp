#include "tools/draw-artwork/layout.h"

#include <array>

namespace artwork {

int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    return static_cast<int>((2 * product + c) / (2LL * c));
}

QRectF DluRect(int x, int y, int w, int h) {
    const int left = MulDiv(x, 6, 4);
    const int top = MulDiv(y, 13, 8);
    const int right = MulDiv(x + w, 6, 4);
    const int bottom = MulDiv(y + h, 13, 8);
    return QRectF(left, top, right - left, bottom - top);
}

QSize Picture::Window() const {
    return {MulDiv(dluWidth, 6, 4), MulDiv(dluHeight, 13, 8)};
}

QRectF Picture::ToBitmap(const QRectF& r) const {
    const QSize win = Window();
    const double sx = double(bitmap.width()) / win.width();
    const double sy = double(bitmap.height()) / win.height();
    return QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
}

namespace {

using enum TextColour;

// The main window: the current page's label is black, the others white, so their ground has
// to carry both.
constexpr std::array kMainLabels{
    Label{1021, "label Synchronise", 30, 24, 53, 11, BlackOrWhite},
    Label{1022, "label Personal", 109, 23, 53, 11, BlackOrWhite},
    Label{1024, "label Settings", 200, 23, 53, 11, BlackOrWhite},
    Label{1025, "label Informational", 285, 22, 53, 11, BlackOrWhite},
    Label{1023, "label About", 368, 23, 53, 11, BlackOrWhite},
    Label{1027, "help hotspot", kMainHelpX, kMainHelpY, kMainHelpW, kMainHelpH, None},
    Label{1032, "Exit", 409, 290, 43, 9, White},
    Label{1033, "product and version", 3, 287, 82, 12, White},
};

// One picture serves all five pages; these are the texts that fall on it.
constexpr std::array kPageLabels{
    Label{1030, "page title (every page)", 15, 8, 114, 18, Black},
    Label{1032, "Synchronise: device heading", 19, 42, 150, 14, Black},
    Label{1033, "Synchronise: PC heading", 227, 42, 150, 14, Black},
    Label{1054, "Synchronise: device box", 15, 72, 192, 100, Black},
    Label{1055, "Synchronise: PC box", 226, 72, 192, 100, Black},
    Label{1035, "Informational: message", 19, 55, 405, 130, Black},
    Label{1038, "About: text", 19, 53, 404, 152, Black},
};

// The first-run dialog places its own labels; all of them are black, so the picture is light
// everywhere but the help badge and the edges. The rectangle stands for that light ground.
constexpr std::array kFirstRunLabels{
    Label{1039, "light ground for title, field labels, notice", 8, 8, 340, 205, Black},
    Label{1059, "help hotspot", kFirstRunHelpX, kFirstRunHelpY, kFirstRunHelpW, kFirstRunHelpH, None},
};

constexpr std::array kInfoLabels{
    Label{1057, "title", 15, 8, 114, 18, Black},
    Label{1056, "message", 17, 39, 326, 124, Black},
};

const std::array kPictures{
    Picture{153, {675, 485}, 458, 301, 8, false, kMainLabels},
    Picture{146, {675, 392}, kPageW, kPageH, 24, false, kPageLabels},
    Picture{157, {675, 392}, 445, 231, 24, false, kFirstRunLabels},
    Picture{152, {551, 322}, 364, 210, 24, true, kInfoLabels},
};

}  // namespace

std::span<const Picture> Pictures() { return kPictures; }

const Picture* PictureById(int id) {
    for (const Picture& p : kPictures) {
        if (p.id == id) return &p;
    }
    return nullptr;
}

}  // namespace artwork
