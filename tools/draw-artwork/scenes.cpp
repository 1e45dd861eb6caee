#include "tools/draw-artwork/scenes.h"

#include "tools/draw-artwork/layout.h"
#include "tools/draw-artwork/paint_kit.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

namespace {

using namespace palette;

// A picture of the size of bitmap id, with a painter whose units are the window's pixels, so
// shapes are placed where the labels are and keep their proportions after the stretch.
struct Canvas {
    explicit Canvas(int id) : picture(*PictureById(id)), image(picture.bitmap, QImage::Format_RGB32) {
        image.fill(Qt::black);
    }
    QSizeF Window() const { return picture.Window(); }
    void Scale(QPainter& p) const {
        p.scale(double(picture.bitmap.width()) / picture.Window().width(),
                double(picture.bitmap.height()) / picture.Window().height());
    }
    // An ARGB layer of the bitmap's size for parts that fade out.
    QImage Layer() const {
        QImage layer(picture.bitmap, QImage::Format_ARGB32_Premultiplied);
        layer.fill(Qt::transparent);
        return layer;
    }
    QPointF ToLayer(QPointF window) const {
        return {window.x() * picture.bitmap.width() / picture.Window().width(),
                window.y() * picture.bitmap.height() / picture.Window().height()};
    }
    const Picture& picture;
    QImage image;
};

MapStyle LightMap() {
    return MapStyle{kPaper,
                    QColor(233, 238, 244),
                    QColor(252, 253, 254),
                    QColor(221, 229, 238),
                    QColor(214, 232, 246),
                    QColor(222, 240, 226),
                    QColor(255, 246, 226),
                    5.0};
}

MapStyle DarkMap() {
    return MapStyle{kFrame,
                    QColor(17, 42, 67),
                    QColor(27, 60, 92),
                    QColor(13, 33, 53),
                    QColor(16, 54, 78),
                    QColor(18, 52, 60),
                    QColor(44, 78, 108),
                    3.0};
}

// The map over a light picture, strongest around focus and gone within reach, so the corners
// with text stay plain.
void LightMapFading(Canvas& c, QPainter& p, const QRectF& area, std::uint32_t seed, QPointF focus, double inner,
                    double reach) {
    QImage layer = c.Layer();
    {
        QPainter lp(&layer);
        c.Scale(lp);
        lp.setClipRect(area);
        DrawStreetMap(lp, area, seed, LightMap());
    }
    const double sx = double(c.picture.bitmap.width()) / c.Window().width();
    FadeRadially(layer, c.ToLayer(focus), inner * sx, reach * sx);
    p.save();
    p.resetTransform();
    p.drawImage(0, 0, layer);
    p.restore();
}

void PaperGround(QPainter& p, const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, kPaper);
    g.setColorAt(1, kPaperLow);
    p.fillRect(r, g);
}

// A route of the brand's teal with its destination pin.
void Route(QPainter& p, const QPainterPath& path, QPointF pinTip, double pinHeight, int alpha) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QColor glow = kTeal;
    glow.setAlpha(alpha / 3);
    p.setPen(QPen(glow, 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    QColor line = kTeal;
    line.setAlpha(alpha);
    p.setPen(QPen(line, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(pinTip, pinHeight * 0.22, pinHeight * 0.07);
    DrawPin(p, pinTip, pinHeight, QColor(255, 196, 72), kAmberDeep, kInk);
    p.restore();
}

// The road that runs along the bottom edge of the light pictures.
RoadStyle EdgeRoad(double width) {
    return RoadStyle{width, QColor(175, 190, 206), QColor(92, 110, 132), QColor(235, 241, 247), QColor(246, 196, 90),
                     width - 2};
}

// The brand's colours along the top edge of a stand-alone window.
void BrandBand(QPainter& p, double width, double height) {
    QLinearGradient band(0, 0, width, 0);
    band.setColorAt(0, kFrame);
    band.setColorAt(0.55, kTeal);
    band.setColorAt(1, kAmber);
    p.fillRect(QRectF(0, 0, width, height), band);
}

// A short upright bar left of the title at 15,8 (every title is there).
void TitleAccent(QPainter& p) {
    const QRectF title = DluRect(15, 8, 114, 18);
    QLinearGradient accent(0, title.top(), 0, title.bottom());
    accent.setColorAt(0, kTeal);
    accent.setColorAt(1, QColor(46, 112, 190));
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRoundedRect(QRectF(title.left() - 11, title.top() + 1, 4.5, 22), 2.25, 2.25);
}

}  // namespace

QImage DrawMainWindow() {
    Canvas c(153);
    QPainter p(&c.image);
    c.Scale(p);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF win = c.Window();
    const QRectF page = DluRect(kPageX, kPageY, kPageW, kPageH);

    // Ground: the dark map, which shows wherever no page covers it.
    DrawStreetMap(p, QRectF(QPointF(0, 0), win), 0x5A21C0DEu, DarkMap());

    // Header: deeper towards the page so the tabs stand out, the map still faintly there.
    QLinearGradient header(0, 0, 0, page.top());
    header.setColorAt(0, QColor(kHeaderTop.red(), kHeaderTop.green(), kHeaderTop.blue(), 225));
    header.setColorAt(1, QColor(kFrame.red(), kFrame.green(), kFrame.blue(), 250));
    p.fillRect(QRectF(0, 0, win.width(), page.top()), header);
    p.fillRect(QRectF(0, page.top() - 6, win.width(), 6), kFrame);

    // The page area keeps the frame's colour round the page's own card.
    p.fillRect(QRectF(0, page.top(), win.width(), page.height()), QColor(kFrame.red(), kFrame.green(), kFrame.blue(), 200));

    // Brand at the top left: the logo and the name in strokes.
    DrawLogo(p, QRectF(9, 4, 25, 25), false);
    DrawStrokeWord(p, QStringLiteral("ZARNIK"), QPointF(42, 10.5), 11, QColor(236, 243, 250));

    // The tabs are stops on one route: a line through their middles, each label on a pill.
    std::vector<QRectF> tabs;
    for (const Label& label : c.picture.labels) {
        if (label.colour != TextColour::BlackOrWhite) continue;
        const QRectF r = DluRect(label.x, label.y, label.w, label.h);
        tabs.push_back(r);
    }
    double middle = 0;
    for (const QRectF& r : tabs) middle += r.center().y() / double(tabs.size());
    middle = std::round(middle);
    QLinearGradient routeColour(0, 0, win.width(), 0);
    routeColour.setColorAt(0, QColor(kTeal.red(), kTeal.green(), kTeal.blue(), 0));
    routeColour.setColorAt(0.08, kTeal);
    routeColour.setColorAt(0.92, kAmber);
    routeColour.setColorAt(1, QColor(kAmber.red(), kAmber.green(), kAmber.blue(), 0));
    p.setPen(QPen(QBrush(routeColour), 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(0, middle), QPointF(win.width(), middle));
    // One height for all pills, over every label's rectangle, so the row looks even though
    // the labels sit a unit or two apart.
    double top = tabs.front().top(), bottom = tabs.front().bottom();
    for (const QRectF& r : tabs) {
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
    }
    for (const QRectF& r : tabs) {
        const QRectF pill(r.left() - 7, top - 3, r.width() + 14, bottom - top + 6);
        DrawPill(p, pill, pill.height() / 2, kTab, kTab, true);
    }

    // The help hotspot: an amber tab hanging from the top edge with a question mark.
    const QRectF help = DluRect(kMainHelpX, kMainHelpY, kMainHelpW, kMainHelpH);
    const QRectF badge(help.left() + 1, -12, help.width() - 2, help.height() + 11);
    DrawPill(p, badge, 8, QColor(255, 200, 80), kAmberDeep, true);
    DrawQuestionMark(p, QRectF(help.left(), help.top() + 1, help.width(), help.height() - 1), kInk);

    // Footer: the frame gets darker to the bottom edge; version text and Exit sit on it.
    const double footTop = page.bottom();
    QLinearGradient foot(0, footTop, 0, win.height());
    foot.setColorAt(0, kFrame);
    foot.setColorAt(1, kFrameDeep);
    p.fillRect(QRectF(0, footTop, win.width(), win.height() - footTop), foot);
    p.fillRect(QRectF(0, footTop, win.width(), 1), QColor(34, 70, 104));
    for (const Label& label : c.picture.labels) {
        if (label.id != 1032) continue;
        const QRectF exit = DluRect(label.x, label.y, label.w, label.h);
        DrawPill(p, exit.adjusted(-6, -2, 6, 1), 9, kExitTop, kExitBottom, true);
    }
    // Outline of the whole window, so it keeps its edge on a dark desktop.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(40, 78, 116), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, win.width() - 1, win.height() - 1));
    return c.image;
}

QList<QRgb> MainWindowFlatColours() {
    return {kFrame.rgb(), kTab.rgb(), QColor(40, 78, 116).rgb(), QColor(34, 70, 104).rgb()};
}

QImage DrawPage() {
    Canvas c(146);
    QPainter p(&c.image);
    c.Scale(p);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF win = c.Window();

    // Frame colour round a light card, so the page and the main window read as one piece.
    p.fillRect(QRectF(QPointF(0, 0), win), kFrame);
    const QRectF card(6, 4, win.width() - 12, win.height() - 9);
    QPainterPath cardPath;
    cardPath.addRoundedRect(card, 14, 14);
    p.setClipPath(cardPath);
    PaperGround(p, card);

    // Map in the lower right, fading before it reaches the texts.
    LightMapFading(c, p, card, 0x0146BEEFu, QPointF(win.width() + 40, win.height() + 30), 60, 330);

    // The road along the bottom edge of the card, under every page's last row of buttons.
    QPainterPath road;
    road.moveTo(card.left() - 10, card.bottom() - 8);
    road.cubicTo(win.width() * 0.35, card.bottom() - 14, win.width() * 0.6, card.bottom() - 2,
                 card.right() + 10, card.bottom() - 10);
    DrawRoad(p, road, EdgeRoad(11));
    // The route ends in the right margin, below and beside every page's texts and buttons.
    const QPointF pin(win.width() - 24, card.bottom() - 16);
    QPainterPath route;
    route.moveTo(win.width() - 170, card.bottom() - 7);
    route.cubicTo(win.width() - 120, card.bottom() - 30, win.width() - 60, card.bottom() - 2, pin.x(), pin.y());
    Route(p, route, pin, 28, 160);
    p.setClipping(false);

    // Title accent and a rule beneath the title row.
    TitleAccent(p);
    const QRectF title = DluRect(15, 8, 114, 18);
    QLinearGradient rule(card.left(), 0, card.right(), 0);
    rule.setColorAt(0, QColor(16, 163, 158, 150));
    rule.setColorAt(0.6, QColor(46, 112, 190, 60));
    rule.setColorAt(1, QColor(46, 112, 190, 0));
    p.fillRect(QRectF(title.left() - 11, title.bottom() + 8, card.width() - 40, 1.5), rule);

    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 30), 1));
    p.drawPath(cardPath);
    return c.image;
}

QImage DrawFirstRun() {
    Canvas c(157);
    QPainter p(&c.image);
    c.Scale(p);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF win = c.Window();
    const QRectF all(QPointF(0, 0), win);

    PaperGround(p, all);
    // The right-hand column below the help badge carries the illustration.
    LightMapFading(c, p, all, 0x0157CAFEu, QPointF(win.width() + 20, win.height() * 0.62), 90, 300);

    QPainterPath road;
    road.moveTo(-10, win.height() - 7);
    road.cubicTo(win.width() * 0.45, win.height() - 9, win.width() * 0.7, win.height() - 4, win.width() + 10,
                 win.height() - 30);
    DrawRoad(p, road, EdgeRoad(10));
    QPainterPath route;
    route.moveTo(win.width() - 150, win.height() - 8);
    route.cubicTo(win.width() - 120, win.height() - 90, win.width() - 40, win.height() - 100, win.width() - 70,
                  win.height() * 0.45);
    Route(p, route, QPointF(win.width() - 70, win.height() * 0.45), 46, 170);

    BrandBand(p, win.width(), 5);

    // The help hotspot: a dark pill with "?" in an amber disc and the word HELP.
    const QRectF help = DluRect(kFirstRunHelpX, kFirstRunHelpY, kFirstRunHelpW, kFirstRunHelpH);
    const QRectF pill = help.adjusted(2, 4, -2, -4);
    DrawPill(p, pill, pill.height() / 2, QColor(30, 70, 110), kFrame, true);
    const double disc = pill.height() - 8;
    const QRectF discRect(pill.left() + 4, pill.top() + 4, disc, disc);
    p.setPen(Qt::NoPen);
    QLinearGradient amber(discRect.topLeft(), discRect.bottomLeft());
    amber.setColorAt(0, QColor(255, 200, 80));
    amber.setColorAt(1, kAmberDeep);
    p.setBrush(amber);
    p.drawEllipse(discRect);
    DrawQuestionMark(p, discRect, kInk);
    const double cap = 13;
    const double wordLeft = discRect.right() + (pill.right() - discRect.right() - StrokeWordWidth("HELP", cap)) / 2;
    DrawStrokeWord(p, QStringLiteral("HELP"), QPointF(wordLeft - 2, pill.center().y() - cap / 2), cap,
                   QColor(240, 246, 252));

    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(150, 170, 192), 1));
    p.resetTransform();
    p.drawRect(QRectF(0, 0, c.image.width() - 1, c.image.height() - 1));
    return c.image;
}

QImage DrawInformation() {
    Canvas c(152);
    const QRectF bitmap(QPointF(0, 0), c.picture.bitmap);
    const double radius = 18;
    QPainterPath outline;
    outline.addRoundedRect(bitmap, radius, radius);

    // The corners are the red key and nothing else: the rounded outline is laid down without
    // smoothing, so no pixel mixes red into the picture.
    c.image.fill(QColor(255, 0, 0));
    QPainter p(&c.image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kFrame);
    p.drawPath(outline);

    QPainterPath inner;
    inner.addRoundedRect(bitmap.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipPath(inner);
    c.Scale(p);
    const QSizeF win = c.Window();
    const QRectF all(QPointF(0, 0), win);
    PaperGround(p, all);
    LightMapFading(c, p, all, 0x0152F00Du, QPointF(win.width() + 10, win.height() + 10), 40, 210);

    QPainterPath road;
    road.moveTo(-10, win.height() - 9);
    road.cubicTo(win.width() * 0.4, win.height() - 10, win.width() * 0.7, win.height() - 4, win.width() + 10,
                 win.height() - 24);
    DrawRoad(p, road, EdgeRoad(9));

    BrandBand(p, win.width(), 6);
    TitleAccent(p);

    // The brand's pin at the top right, where no text goes.
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(QPointF(win.width() - 38, 46), 8, 2.6);
    DrawPin(p, QPointF(win.width() - 38, 46), 34, QColor(255, 196, 72), kAmberDeep, kInk);
    return c.image;
}

QImage DrawIcon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    DrawLogo(p, QRectF(0, 0, size, size), size >= 48);
    p.end();
    return icon.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace artwork
