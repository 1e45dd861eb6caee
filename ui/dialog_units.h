#pragma once
#include <QRect>
#include <QSize>

namespace ui {

// Every position and size of the window comes from dialog templates in dialog units. The base
// units are fixed (the classic dialog font at 96 dpi, 6 by 13 pixels) so that layouts do not
// follow the desktop's font: x = dlu * 6 / 4, y = dlu * 13 / 8, rounded half away from zero as
// MulDiv does. Both edges of a rectangle are converted and then subtracted, so that adjacent
// controls stay adjacent whatever the rounding.
int DluToPixelsX(int dlu);
int DluToPixelsY(int dlu);
QRect DluRect(int x, int y, int width, int height);
QSize DluSize(int width, int height);

}  // namespace ui
