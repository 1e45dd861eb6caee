#include "tools/draw-artwork/checks.h"

#include "tools/draw-artwork/bmp_file.h"
#include "tools/draw-artwork/layout.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace artwork {

namespace {

// Both text colours of a tab label must read at this ratio or better (WCAG AA for body text).
constexpr double kMinimumContrast = 4.5;

double Linear(int channel) {
    const double c = channel / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(unsigned rgb) {
    return 0.2126 * Linear(qRed(rgb)) + 0.7152 * Linear(qGreen(rgb)) + 0.0722 * Linear(qBlue(rgb));
}

std::string Fixed(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    return text;
}

bool Fail(std::ostream& report, const std::string& what) {
    report << "FAIL " << what << "\n";
    return false;
}

// Pure red must fill each corner outside a rounded outline and appear nowhere else: each red
// pixel lies in a corner square, a red pixel's neighbours towards its corner are red too, and
// the four corner pixels themselves are red.
bool RedOnlyInCorners(const QImage& image, std::ostream& report) {
    const QRgb red = qRgb(255, 0, 0);
    const int w = image.width(), h = image.height();
    const int square = std::min(w, h) / 6;
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        for (int x = 0; x < w; ++x) {
            if (image.pixel(x, y) != red) continue;
            const bool left = x < square, top = y < square;
            if (!(left || x >= w - square) || !(top || y >= h - square)) {
                ok = Fail(report, "152: pure red inside the picture at " + std::to_string(x) + "," + std::to_string(y));
                break;
            }
            const int towardsX = left ? x - 1 : x + 1;
            const int towardsY = top ? y - 1 : y + 1;
            if ((towardsX >= 0 && towardsX < w && image.pixel(towardsX, y) != red) ||
                (towardsY >= 0 && towardsY < h && image.pixel(x, towardsY) != red)) {
                ok = Fail(report, "152: pure red not joined to its corner at " + std::to_string(x) + "," +
                                      std::to_string(y));
                break;
            }
        }
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)}) {
        if (image.pixel(corner) != red) ok = Fail(report, "152: a corner pixel is not pure red");
    }
    return ok;
}

// The lowest contrast between text and any pixel of the label's rectangle, a pixel in from
// each edge.
double WorstContrast(const QImage& image, const QRectF& r, QRgb text) {
    double worst = 21;
    const int left = std::max(0, int(std::ceil(r.left())) + 1);
    const int top = std::max(0, int(std::ceil(r.top())) + 1);
    const int right = std::min(image.width(), int(std::floor(r.right())) - 1);
    const int bottom = std::min(image.height(), int(std::floor(r.bottom())) - 1);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) worst = std::min(worst, ContrastRatio(image.pixel(x, y), text));
    }
    return worst;
}

bool CheckPicture(const std::string& root, const Picture& picture, std::ostream& report) {
    const std::string name = std::to_string(picture.id);
    const std::string path = root + "/resources/artwork/" + name + ".bmp";
    std::vector<std::uint8_t> bytes;
    BmpInfo info;
    if (!ReadWholeFile(path, bytes)) return Fail(report, path + ": cannot be read");
    if (!DecodeBmp(bytes, info)) return Fail(report, path + ": not an uncompressed 8- or 24-bit bitmap");
    bool ok = true;
    if (QSize(info.width, info.height) != picture.bitmap) ok = Fail(report, name + ": wrong size");
    if (info.bitsPerPixel != picture.bitsPerPixel) ok = Fail(report, name + ": wrong colour depth");
    if (picture.redCorners) {
        ok = RedOnlyInCorners(info.pixels, report) && ok;
    } else {
        for (int y = 0; y < info.height; ++y) {
            for (int x = 0; x < info.width; ++x) {
                if (info.pixels.pixel(x, y) == qRgb(0, 255, 0)) {
                    ok = Fail(report, name + ": pure green at " + std::to_string(x) + "," + std::to_string(y));
                    y = info.height;
                    break;
                }
            }
        }
    }
    report << name << ".bmp " << info.width << "x" << info.height << " " << info.bitsPerPixel << "-bit"
           << (picture.bitsPerPixel == 8 ? " (" + std::to_string(info.paletteSize) + " colours)" : "")
           << ", window " << picture.Window().width() << "x" << picture.Window().height() << " px\n";

    for (const Label& label : picture.labels) {
        const QRectF window = DluRect(label.x, label.y, label.w, label.h);
        const QRectF inBitmap = picture.ToBitmap(window);
        std::string line = "  " + std::to_string(label.id) + " " + label.role + ": dlu " + std::to_string(label.x) +
                           "," + std::to_string(label.y) + " " + std::to_string(label.w) + "x" +
                           std::to_string(label.h) + ", bitmap " + Fixed(inBitmap.left()) + "," +
                           Fixed(inBitmap.top()) + "-" + Fixed(inBitmap.right()) + "," + Fixed(inBitmap.bottom());
        const bool black = label.colour == TextColour::Black || label.colour == TextColour::BlackOrWhite;
        const bool white = label.colour == TextColour::White || label.colour == TextColour::BlackOrWhite;
        if (black) {
            const double c = WorstContrast(info.pixels, inBitmap, qRgb(0, 0, 0));
            line += ", black text " + Fixed(c) + ":1";
            if (c < kMinimumContrast) ok = Fail(report, name + " " + std::to_string(label.id) + ": black text too faint");
        }
        if (white) {
            const double c = WorstContrast(info.pixels, inBitmap, qRgb(255, 255, 255));
            line += ", white text " + Fixed(c) + ":1";
            if (c < kMinimumContrast) ok = Fail(report, name + " " + std::to_string(label.id) + ": white text too faint");
        }
        report << line << "\n";
    }
    return ok;
}

}  // namespace

double ContrastRatio(unsigned a, unsigned b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

bool CheckArtwork(const std::string& root, std::ostream& report) {
    bool ok = true;
    for (const Picture& picture : Pictures()) ok = CheckPicture(root, picture, report) && ok;
    for (const int size : kIconSizes) {
        const std::string path = root + "/resources/icons/zarnik-" + std::to_string(size) + ".png";
        QImage icon;
        if (!icon.load(QString::fromStdString(path), "PNG")) {
            ok = Fail(report, path + ": cannot be read");
        } else if (icon.size() != QSize(size, size) || !icon.hasAlphaChannel()) {
            ok = Fail(report, path + ": not " + std::to_string(size) + " pixels square with transparency");
        }
    }
    report << (ok ? "artwork: all checks passed\n" : "artwork: checks FAILED\n");
    return ok;
}

}  // namespace artwork
