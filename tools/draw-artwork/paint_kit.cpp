#include "tools/draw-artwork/paint_kit.h"

#include <QImage>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

std::uint32_t Rng::Next() {
    // xorshift32: no library engine, whose sequence could differ between standard libraries
    // in the distributions built on it.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

double Rng::Uniform(double lo, double hi) {
    return lo + (hi - lo) * (Next() / 4294967296.0);
}

namespace {

// Letters on a grid ten units tall; width answers the advance without spacing.
constexpr double kLetterGap = 3.4;
constexpr double kStroke = 1.6;

double GlyphWidth(QChar c) {
    return c == QLatin1Char('I') ? 0.0 : c == QLatin1Char('L') ? 5.2 : 6.0;
}

QPainterPath Glyph(QChar c) {
    QPainterPath g;
    auto line = [&g](std::initializer_list<QPointF> points) {
        auto it = points.begin();
        g.moveTo(*it);
        for (++it; it != points.end(); ++it) g.lineTo(*it);
    };
    auto bowl = [&g] {  // the closed upper loop of P and R
        g.moveTo(0, 10);
        g.lineTo(0, 0);
        g.lineTo(3.2, 0);
        g.arcTo(QRectF(0.4, 0, 5.6, 5.6), 90, -180);
        g.lineTo(0, 5.6);
    };
    switch (c.toLatin1()) {
    case 'A': line({{0, 10}, {3, 0}, {6, 10}}); line({{1.1, 6.6}, {4.9, 6.6}}); break;
    case 'E': line({{6, 0}, {0, 0}, {0, 10}, {6, 10}}); line({{0, 5}, {4.8, 5}}); break;
    case 'H': line({{0, 0}, {0, 10}}); line({{6, 0}, {6, 10}}); line({{0, 5}, {6, 5}}); break;
    case 'I': line({{0, 0}, {0, 10}}); break;
    case 'K': line({{0, 0}, {0, 10}}); line({{6, 0}, {0.3, 6.2}}); line({{2.4, 3.9}, {6, 10}}); break;
    case 'L': line({{0, 0}, {0, 10}, {5.2, 10}}); break;
    case 'N': line({{0, 10}, {0, 0}, {6, 10}, {6, 0}}); break;
    case 'P': bowl(); break;
    case 'R': bowl(); line({{3.0, 5.6}, {6, 10}}); break;
    case 'Z': line({{0.3, 0}, {6, 0}, {0, 10}, {6, 10}}); break;
    default: break;
    }
    return g;
}

QPen StrokePen(const QColor& colour, double width) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

}  // namespace

double StrokeWordWidth(const QString& word, double capHeight) {
    double units = 0;
    for (qsizetype i = 0; i < word.size(); ++i) {
        units += GlyphWidth(word[i]) + (i + 1 < word.size() ? kLetterGap : 0);
    }
    return units * capHeight / 10.0;
}

double DrawStrokeWord(QPainter& p, const QString& word, QPointF topLeft, double capHeight, const QColor& colour) {
    const double scale = capHeight / 10.0;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    p.setPen(StrokePen(colour, kStroke * scale));
    double x = 0;
    for (const QChar c : word) {
        QTransform t;
        t.translate(topLeft.x() + x * scale, topLeft.y());
        t.scale(scale, scale);
        p.drawPath(t.map(Glyph(c)));
        x += GlyphWidth(c) + kLetterGap;
    }
    p.restore();
    return StrokeWordWidth(word, capHeight);
}

void DrawQuestionMark(QPainter& p, const QRectF& box, const QColor& colour) {
    // Drawn on a 6 by 10 grid like the letters, then fitted to 60% of the box's height.
    const double scale = box.height() * 0.6 / 10.0;
    QPainterPath q;
    q.arcMoveTo(QRectF(0, 0, 6, 6), 155);
    q.arcTo(QRectF(0, 0, 6, 6), 155, -215);
    q.quadTo(QPointF(3, 5.6), QPointF(3, 7.0));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(box.center().x() - 3 * scale, box.center().y() - 5 * scale);
    p.scale(scale, scale);
    p.setPen(StrokePen(colour, 1.45));
    p.setBrush(Qt::NoBrush);
    p.drawPath(q);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QPointF(3, 9.4), 0.95, 0.95);
    p.restore();
}

void DrawPin(QPainter& p, QPointF tip, double height, const QColor& top, const QColor& bottom, const QColor& lens) {
    // A circle of radius r whose two tangents meet at the tip.
    const double r = height * 0.36;
    const QPointF centre(tip.x(), tip.y() - height + r);
    const double d = tip.y() - centre.y();
    const double angle = std::asin(r / d) * 180.0 / M_PI;  // half the opening at the tip
    QPainterPath drop;
    drop.moveTo(tip);
    drop.arcTo(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -90 + (90 - angle), 180 + 2 * angle);
    drop.closeSubpath();

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(centre.x(), tip.y() - height, centre.x(), tip.y());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(drop);
    p.setBrush(lens);
    p.drawEllipse(centre, r * 0.52, r * 0.52);
    QColor glint(255, 255, 255, 200);
    p.setBrush(glint);
    p.drawEllipse(QPointF(centre.x() - r * 0.18, centre.y() - r * 0.18), r * 0.14, r * 0.14);
    p.restore();
}

void DrawRoad(QPainter& p, const QPainterPath& path, const RoadStyle& s) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    QPen pen(s.casing, s.width + 2, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawPath(path);
    pen.setColor(s.edge);
    pen.setWidthF(s.width);
    p.setPen(pen);
    p.drawPath(path);
    pen.setColor(s.surface);
    pen.setWidthF(s.width * 0.82);
    p.setPen(pen);
    p.drawPath(path);
    if (s.centre.alpha() > 0) {
        QPen centre(s.centre, std::max(1.0, s.width * 0.07), Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin);
        if (s.dash > 0) centre.setDashPattern({s.dash, s.dash * 0.8});
        p.setPen(centre);
        p.drawPath(path);
    }
    p.restore();
}

void DrawStreetMap(QPainter& p, const QRectF& area, std::uint32_t seed, const MapStyle& s) {
    Rng rng(seed);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(area, s.ground);

    // Streets: a grid tilted a little, each line jittered, so it reads as a town and not graph
    // paper.
    std::vector<double> xs, ys;
    xs.push_back(area.left() - 40);
    while (xs.back() < area.right() + 40) xs.push_back(xs.back() + rng.Uniform(38, 66));
    xs.pop_back();
    ys.push_back(area.top() - 40);
    while (ys.back() < area.bottom() + 40) ys.push_back(ys.back() + rng.Uniform(30, 52));
    ys.pop_back();
    const double tilt = rng.Uniform(-0.09, -0.05);
    auto at = [&](double x, double y) { return QPointF(x + (y - area.top()) * tilt, y + (x - area.left()) * tilt * 0.6); };

    // Blocks first, a touch darker than the ground, inset from the streets.
    p.setPen(Qt::NoPen);
    const double inset = s.streetWidth * 0.5 + 1.5;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
        for (std::size_t j = 0; j + 1 < ys.size(); ++j) {
            QPolygonF block;
            block << at(xs[i] + inset, ys[j] + inset) << at(xs[i + 1] - inset, ys[j] + inset)
                  << at(xs[i + 1] - inset, ys[j + 1] - inset) << at(xs[i] + inset, ys[j + 1] - inset);
            const double pick = rng.Uniform(0, 1);
            p.setBrush(pick < 0.07 ? s.park : s.block);
            QPainterPath rounded;
            rounded.addPolygon(block);
            p.drawPath(rounded);
        }
    }

    // A river across the whole area, wider than any street.
    QPainterPath river;
    const double y0 = area.top() + area.height() * rng.Uniform(0.55, 0.7);
    river.moveTo(area.left() - 20, y0);
    river.cubicTo(area.left() + area.width() * 0.3, y0 - area.height() * 0.35,
                  area.left() + area.width() * 0.6, y0 + area.height() * 0.25,
                  area.right() + 20, y0 - area.height() * 0.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(s.water, s.streetWidth * 3.2, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPath(river);

    QPen casing(s.streetCasing, s.streetWidth + 1.4, Qt::SolidLine, Qt::FlatCap);
    QPen street(s.street, s.streetWidth, Qt::SolidLine, Qt::FlatCap);
    for (const QPen& pen : {casing, street}) {
        p.setPen(pen);
        for (double x : xs) p.drawLine(at(x, area.top() - 40), at(x, area.bottom() + 40));
        for (double y : ys) p.drawLine(at(area.left() - 40, y), at(area.right() + 40, y));
    }

    // Two avenues that ignore the grid.
    for (int k = 0; k < 2; ++k) {
        QPainterPath avenue;
        const double sx = area.left() + area.width() * rng.Uniform(0.05, 0.45);
        avenue.moveTo(sx, area.bottom() + 20);
        avenue.cubicTo(sx + area.width() * 0.15, area.top() + area.height() * 0.6,
                       sx + area.width() * rng.Uniform(0.2, 0.5), area.top() + area.height() * 0.3,
                       sx + area.width() * rng.Uniform(0.45, 0.8), area.top() - 20);
        p.setPen(QPen(s.streetCasing, s.streetWidth * 2 + 1.4, Qt::SolidLine, Qt::FlatCap));
        p.drawPath(avenue);
        p.setPen(QPen(s.avenue, s.streetWidth * 2, Qt::SolidLine, Qt::FlatCap));
        p.drawPath(avenue);
    }
    p.restore();
}

void FadeRadially(QImage& layer, QPointF focus, double inner, double outer) {
    QPainter p(&layer);
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QRadialGradient g(focus, outer);
    g.setColorAt(0, QColor(0, 0, 0, 255));
    g.setColorAt(std::clamp(inner / outer, 0.0, 1.0), QColor(0, 0, 0, 255));
    g.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(layer.rect(), g);
}

void DrawPill(QPainter& p, const QRectF& r, double radius, const QColor& top, const QColor& bottom, bool shadow) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    if (shadow) {
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawRoundedRect(r.translated(0, 1.6).adjusted(-0.6, -0.2, 0.6, 0.8), radius + 0.6, radius + 0.6);
        p.setBrush(QColor(0, 0, 0, 30));
        p.drawRoundedRect(r.translated(0, 0.8), radius, radius);
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setBrush(fill);
    p.drawRoundedRect(r, radius, radius);
    // A hairline of light along the top edge gives the pill its depth.
    QLinearGradient shine(r.topLeft(), r.bottomLeft());
    shine.setColorAt(0, QColor(255, 255, 255, 70));
    shine.setColorAt(0.12, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawRoundedRect(r, radius, radius);
    p.restore();
}

void DrawLogo(QPainter& p, const QRectF& square, bool detail) {
    // Designed on a 256 grid.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(square.topLeft());
    p.scale(square.width() / 256.0, square.height() / 256.0);

    const QRectF tile(8, 8, 240, 240);
    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, 54, 54);
    QLinearGradient ground(tile.topLeft(), tile.bottomRight());
    ground.setColorAt(0, QColor(20, 52, 86));
    ground.setColorAt(1, QColor(12, 110, 120));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawPath(tilePath);
    p.setClipPath(tilePath);

    if (detail) {
        p.setPen(QPen(QColor(255, 255, 255, 22), 3));
        for (int i = -2; i < 8; ++i) {
            p.drawLine(QPointF(i * 40 + 10, 0), QPointF(i * 40 + 90, 256));
            p.drawLine(QPointF(0, i * 40 + 30), QPointF(256, i * 40 - 20));
        }
    }

    // The road lies on the ground and bends gently; seen in perspective from above it, its
    // edges and dashes narrow towards the horizon where the pin stands.
    const auto project = [](double lateral, double depth) {
        return QPointF(128 + lateral * 130 / depth, 118 + 128 / depth);
    };
    // One S from the bottom edge to the foot of the pin, where it is straight ahead again.
    constexpr double kNear = 0.9, kFar = 9.0;
    const auto bend = [](double depth) { return 0.6 * std::sin(2 * M_PI * (depth - kNear) / (kFar - kNear)); };
    constexpr double kHalf = 0.65;
    QPolygonF leftEdge, rightEdge, surface;
    constexpr int kSteps = 96;
    for (int i = 0; i <= kSteps; ++i) {
        const double depth = 1 / (1 / kNear - (1 / kNear - 1 / kFar) * i / kSteps);
        leftEdge << project(bend(depth) - kHalf * 0.92, depth);
        rightEdge << project(bend(depth) + kHalf * 0.92, depth);
        surface << project(bend(depth) - kHalf, depth);
    }
    for (int i = kSteps; i >= 0; --i) {
        const double depth = 1 / (1 / kNear - (1 / kNear - 1 / kFar) * i / kSteps);
        surface << project(bend(depth) + kHalf, depth);
    }
    QLinearGradient asphalt(0, 136, 0, 256);
    asphalt.setColorAt(0, QColor(60, 80, 104));
    asphalt.setColorAt(1, QColor(28, 40, 58));
    p.setBrush(asphalt);
    p.drawPolygon(surface);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(235, 242, 248), detail ? 4 : 8, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPolyline(leftEdge);
    p.drawPolyline(rightEdge);
    if (detail) {
        p.setPen(Qt::NoPen);
        p.setBrush(palette::kAmber);
        for (int i = 0; i < 8; ++i) {
            const double near = 0.95 * std::pow(1.32, i);
            const double far = near * 1.14;
            if (far > kFar * 0.8) break;
            QPolygonF dash;
            dash << project(bend(near) - 0.045, near) << project(bend(far) - 0.045, far)
                 << project(bend(far) + 0.045, far) << project(bend(near) + 0.045, near);
            p.drawPolygon(dash);
        }
    }
    p.setClipping(false);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(QPointF(128, 134), 22, 7);
    DrawPin(p, QPointF(128, 134), 112, QColor(255, 196, 72), palette::kAmberDeep, palette::kInk);
    p.restore();
}

}  // namespace artwork
