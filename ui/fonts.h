#pragma once
#include <QFont>

namespace ui {

// The title font of the templates ("Arial", height 18, weight 7): a 16-pixel sans face of
// normal weight. The old weight 7 is nearly 0 on the 0-1000 scale, which the old platform
// rounded up to normal; Qt's weight 7 would pick the thinnest face instead.
QFont TitleFont();
// The font of every other template text.
QFont TemplateFont();

}  // namespace ui
