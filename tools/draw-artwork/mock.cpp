#include "tools/draw-artwork/mock.h"

#include "tools/draw-artwork/bmp_file.h"
#include "tools/draw-artwork/checks.h"
#include "tools/draw-artwork/layout.h"
#include "platform/version.h"

#include <QFont>
#include <QImage>
#include <QPainter>

namespace artwork {

namespace {

bool Load(const std::string& root, int id, QImage& out) {
    std::vector<std::uint8_t> bytes;
    BmpInfo info;
    if (!ReadWholeFile(root + "/resources/artwork/" + std::to_string(id) + ".bmp", bytes) || !DecodeBmp(bytes, info)) {
        return false;
    }
    out = info.pixels;
    return true;
}

// Stretched as the window stretches it, with the key colour shown as a desktop would show
// through.
QImage Stretched(const QImage& bitmap, QSize window, QRgb key) {
    QImage scaled = bitmap.scaled(window, Qt::IgnoreAspectRatio, Qt::FastTransformation).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < scaled.height(); ++y) {
        for (int x = 0; x < scaled.width(); ++x) {
            if (scaled.pixel(x, y) == key) scaled.setPixel(x, y, ((x / 8 + y / 8) % 2) ? qRgb(120, 124, 130) : qRgb(96, 100, 106));
        }
    }
    return scaled;
}

QFont Font(int pixels) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(pixels);
    return f;
}

void Text(QPainter& p, const QRectF& r, const QString& text, QColor colour, int pixels, int flags) {
    p.setFont(Font(pixels));
    p.setPen(colour);
    p.drawText(r, flags, text);
}

void Outline(QPainter& p, const QRectF& r, bool outline) {
    if (!outline) return;
    p.setPen(QPen(QColor(255, 0, 200, 200), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

void Sunken(QPainter& p, const QRectF& r) {
    p.setPen(QColor(128, 128, 128));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Qt::white);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void Button(QPainter& p, const QRectF& r, const QString& text, int pixels) {
    p.setPen(QColor(120, 120, 120));
    p.setBrush(QColor(225, 225, 225));
    p.drawRect(r);
    Text(p, r, text, Qt::black, pixels, Qt::AlignCenter);
}

const char* const kSample =
    "Cameras on the device: 18 204\nPersonal changes: 3\n\nLast synchronisation: 12.03.2024\n"
    "The quick brown fox jumps over the lazy dog.";

QImage MainWindow(const QImage& main, const QImage& page, bool outline) {
    const Picture& mp = *PictureById(153);
    const QRectF pageRect = DluRect(kPageX, kPageY, kPageW, kPageH);
    QImage out = Stretched(main, mp.Window(), qRgb(0, 255, 0));
    QPainter p(&out);
    p.drawImage(pageRect.topLeft(), Stretched(page, pageRect.size().toSize(), qRgb(0, 255, 0)));
    const char* names[] = {"Synchronize", "Device", "Settings", "Information", "About"};
    int tab = 0;
    for (const Label& l : mp.labels) {
        const QRectF r = DluRect(l.x, l.y, l.w, l.h);
        if (l.colour == TextColour::BlackOrWhite) {
            Text(p, r, names[tab], tab == 0 ? Qt::black : Qt::white, 11, Qt::AlignHCenter | Qt::AlignVCenter);
            ++tab;
        } else if (l.id == 1032) {
            Text(p, r, QStringLiteral("Exit"), Qt::white, 11, Qt::AlignHCenter | Qt::AlignTop);
        } else if (l.id == 1033) {
            Text(p, r, QString::fromLatin1(platform::version::kProduct), Qt::white, 11, Qt::AlignLeft | Qt::AlignTop);
        }
        Outline(p, r, outline);
    }
    auto onPage = [&](int x, int y, int w, int h) { return DluRect(x, y, w, h).translated(0, pageRect.top()); };
    Text(p, onPage(15, 8, 114, 18), QStringLiteral("Synchronize"), Qt::black, 16, Qt::AlignLeft | Qt::AlignTop);
    Text(p, onPage(19, 42, 150, 14), QStringLiteral("On Device"), Qt::black, 16, Qt::AlignLeft | Qt::AlignTop);
    Text(p, onPage(227, 42, 150, 14), QStringLiteral("On PC/Server"), Qt::black, 16, Qt::AlignLeft | Qt::AlignTop);
    for (const QRectF& box : {onPage(15, 72, 192, 100), onPage(226, 72, 192, 100)}) {
        Sunken(p, box);
        Text(p, box.adjusted(4, 4, -4, -4), kSample, Qt::black, 11, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    }
    for (const QRectF& button : {onPage(26, 183, 89, 26), onPage(326, 185, 89, 26)}) {
        Button(p, button, QStringLiteral("Button"), 11);
    }
    if (outline) {
        for (const Label& l : PictureById(146)->labels) Outline(p, onPage(l.x, l.y, l.w, l.h), true);
    }
    return out;
}

QImage FirstRun(const QImage& bitmap, bool outline) {
    const Picture& pic = *PictureById(157);
    QImage out = Stretched(bitmap, pic.Window(), qRgb(0, 255, 0));
    QPainter p(&out);
    Text(p, DluRect(15, 8, 114, 18), QStringLiteral("Settings"), Qt::black, 16, Qt::AlignLeft | Qt::AlignTop);
    const char* fields[] = {"Registration name :", "Device serial :", "Email Address :", "Select language gui:",
                            "Select device:"};
    for (int i = 0; i < 5; ++i) {
        Text(p, DluRect(15, 40 + 22 * i, 90, 10), fields[i], Qt::black, 11, Qt::AlignLeft | Qt::AlignTop);
        p.setPen(QColor(120, 120, 120));
        p.setBrush(Qt::white);
        p.drawRect(DluRect(110, 38 + 22 * i, 200, 13));
    }
    Text(p, DluRect(15, 155, 320, 30),
         QStringLiteral("Please register on the service's web site first, then enter your registration here."),
         Qt::black, 11, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    if (outline) {
        for (const Label& l : pic.labels) Outline(p, DluRect(l.x, l.y, l.w, l.h), true);
    }
    return out;
}

QImage Information(const QImage& bitmap, bool outline) {
    const Picture& pic = *PictureById(152);
    QImage out = Stretched(bitmap, pic.Window(), qRgb(255, 0, 0));
    QPainter p(&out);
    Text(p, DluRect(15, 8, 114, 18), QStringLiteral("Alert"), Qt::black, 16, Qt::AlignLeft | Qt::AlignTop);
    const QRectF message = DluRect(17, 39, 326, 124);
    Sunken(p, message);
    Text(p, message.adjusted(4, 4, -4, -4), kSample, Qt::black, 11, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    Button(p, DluRect(134, 167, 92, 25), QStringLiteral("OK"), 16);
    if (outline) {
        for (const Label& l : pic.labels) Outline(p, DluRect(l.x, l.y, l.w, l.h), true);
    }
    return out;
}

QImage Icons(const std::string& root, bool& ok) {
    QImage out(2 * 40 + 4 * 256 / 2 + 600, 2 * 280, QImage::Format_RGB32);
    out.fill(QColor(240, 240, 240));
    QPainter p(&out);
    p.fillRect(QRect(0, 280, out.width(), 280), QColor(40, 40, 44));
    for (int row = 0; row < 2; ++row) {
        int x = 12;
        for (const int size : kIconSizes) {
            QImage icon;
            if (!icon.load(QString::fromStdString(root + "/resources/icons/zarnik-" + std::to_string(size) + ".png"))) {
                ok = false;
                continue;
            }
            p.drawImage(x, row * 280 + 12, icon);
            x += size + 16;
        }
    }
    return out;
}

bool Save(const QImage& image, const std::string& path) {
    return image.save(QString::fromStdString(path), "PNG");
}

}  // namespace

bool WriteMocks(const std::string& root, const std::string& folder) {
    QImage main, page, firstRun, info;
    if (!Load(root, 153, main) || !Load(root, 146, page) || !Load(root, 157, firstRun) || !Load(root, 152, info)) {
        return false;
    }
    bool ok = true;
    const auto at = [&folder](const char* name) { return folder + "/" + name; };
    ok = Save(main, at("art-153.png")) && ok;
    ok = Save(page, at("art-146.png")) && ok;
    ok = Save(firstRun, at("art-157.png")) && ok;
    ok = Save(info, at("art-152.png")) && ok;
    ok = Save(MainWindow(main, page, true), at("mock-main-outlined.png")) && ok;
    const QImage plain = MainWindow(main, page, false);
    ok = Save(plain, at("mock-main.png")) && ok;
    // The header and the footer twice as large, where the small shapes are.
    ok = Save(plain.copy(0, 0, plain.width(), 75).scaled(plain.width() * 2, 150), at("zoom-main-header.png")) && ok;
    ok = Save(plain.copy(0, plain.height() - 60, plain.width(), 60).scaled(plain.width() * 2, 120),
              at("zoom-main-footer.png")) && ok;
    ok = Save(FirstRun(firstRun, true), at("mock-first-run-outlined.png")) && ok;
    ok = Save(FirstRun(firstRun, false), at("mock-first-run.png")) && ok;
    ok = Save(Information(info, true), at("mock-information-outlined.png")) && ok;
    ok = Save(Information(info, false), at("mock-information.png")) && ok;
    ok = Save(Icons(root, ok), at("icons.png")) && ok;
    return ok;
}

}  // namespace artwork
