#pragma once
// The shapes every picture shares: the brand's colours, lettering built from strokes (no font
// of the machine takes part, so the pictures come out the same everywhere), the pin of the
// logo, the help badge, roads and the street-map pattern.

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <cstdint>

namespace artwork {

namespace palette {
inline const QColor kFrame{14, 35, 57};          // the main window's frame, also round the pages
inline const QColor kFrameDeep{9, 24, 40};
inline const QColor kHeaderTop{23, 58, 92};
inline const QColor kPaper{247, 249, 252};       // light ground of pages and dialogs
inline const QColor kPaperLow{236, 241, 246};
inline const QColor kInk{14, 35, 57};
inline const QColor kTeal{16, 163, 158};
inline const QColor kAmber{246, 178, 46};
inline const QColor kAmberDeep{230, 145, 12};
// Tab ground halfway in brightness between black and white text: both read at 4.6:1, so it
// is one flat colour (a gradient would tip one of them below that).
inline const QColor kTab{50, 119, 196};
inline const QColor kExitTop{178, 38, 58};
inline const QColor kExitBottom{140, 26, 44};
}  // namespace palette

// A fixed-seed generator, the same sequence on every platform.
class Rng {
public:
    explicit Rng(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next();
    double Uniform(double lo, double hi);

private:
    std::uint32_t state_;
};

// Capital letters of a simple geometric face (A E H I K L N P R Z) and "?", stroked with round
// ends. capHeight in painter units; answers the width drawn.
double StrokeWordWidth(const QString& word, double capHeight);
double DrawStrokeWord(QPainter& p, const QString& word, QPointF topLeft, double capHeight, const QColor& colour);

// "?" centred in box, its height a share of the box's.
void DrawQuestionMark(QPainter& p, const QRectF& box, const QColor& colour);

// The logo's pin: a drop with a lens in it; tip is where it points, height from tip to top.
void DrawPin(QPainter& p, QPointF tip, double height, const QColor& top, const QColor& bottom, const QColor& lens);

// The logo in a square: rounded tile, road to the horizon, pin over it. detail false for the
// smallest sizes, which drop the dashes and the map.
void DrawLogo(QPainter& p, const QRectF& square, bool detail);

// A road along path: casing, surface, edge lines and a dashed centre line.
struct RoadStyle {
    double width;
    QColor casing, surface, edge, centre;
    double dash;  // 0: solid centre line
};
void DrawRoad(QPainter& p, const QPainterPath& path, const RoadStyle& style);

// A street map over area: blocks between a jittered street grid, a river and a park, and two
// avenues. Colours per theme; drawn with the painter's current clip.
struct MapStyle {
    QColor ground, block, street, streetCasing, water, park, avenue;
    double streetWidth;
};
void DrawStreetMap(QPainter& p, const QRectF& area, std::uint32_t seed, const MapStyle& style);

// Fades what is already in layer towards transparent with distance from focus, from full at
// inner to nothing at outer.
void FadeRadially(QImage& layer, QPointF focus, double inner, double outer);

// A pill with a vertical gradient and a soft shadow, for tabs and badges.
void DrawPill(QPainter& p, const QRectF& r, double radius, const QColor& top, const QColor& bottom, bool shadow);

}  // namespace artwork
