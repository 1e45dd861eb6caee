#include "ui/dialog_units.h"

#include <cstdlib>

namespace ui {
namespace {

constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(rounded);
}

}  // namespace

int DluToPixelsX(int dlu) { return MulDiv(dlu, kBaseX, 4); }
int DluToPixelsY(int dlu) { return MulDiv(dlu, kBaseY, 8); }

QRect DluRect(int x, int y, int width, int height) {
    const int left = DluToPixelsX(x);
    const int top = DluToPixelsY(y);
    return {left, top, DluToPixelsX(x + width) - left, DluToPixelsY(y + height) - top};
}

QSize DluSize(int width, int height) { return {DluToPixelsX(width), DluToPixelsY(height)}; }

}  // namespace ui
