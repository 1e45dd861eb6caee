#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "ui/dialog_sk.h"
#include "ui/info_pages.h"
#include "ui/sync_status.h"
#include "ui/transparent_static.h"

namespace {

QRgb Cell(int x, int y) { return qRgb(10 + x * 40, 10 + y * 40, 100); }

// A 4 x 4 picture whose every pixel tells where it came from.
QImage TestPicture() {
    QImage picture(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) picture.setPixel(x, y, Cell(x, y));
    return picture;
}

QRgb PixelOf(QWidget& window, int x, int y) { return window.grab().toImage().pixel(x, y); }

}  // namespace

class SkinTest : public QObject {
    Q_OBJECT
private slots:
    void DrawingModesPaintWhereTheyShould() {
        struct Case {
            int mode;
            QSize client;
            QPoint probe;
            QRgb expected;  // 0: the default background
        };
        const Case cases[] = {
            {CDialogSK::kTopLeft, {10, 8}, {1, 2}, Cell(1, 2)},
            {CDialogSK::kTopLeft, {10, 8}, {6, 6}, 0},
            {CDialogSK::kTile, {10, 8}, {5, 6}, Cell(1, 2)},
            {CDialogSK::kTile, {10, 8}, {9, 7}, Cell(1, 3)},
            {CDialogSK::kCentre, {10, 8}, {4, 4}, Cell(1, 2)},
            {CDialogSK::kCentre, {10, 8}, {0, 0}, 0},
            {CDialogSK::kStretch, {8, 8}, {3, 5}, Cell(1, 2)},
            {CDialogSK::kStretch, {8, 8}, {7, 7}, Cell(3, 3)},
        };
        for (const Case& c : cases) {
            CDialogSK window;
            window.resize(c.client);
            window.SetBackground(TestPicture());
            window.SetBackgroundMode(c.mode);
            const QRgb background = window.palette().color(QPalette::Window).rgb();
            QCOMPARE(PixelOf(window, c.probe.x(), c.probe.y()), c.expected == 0 ? background : c.expected);
        }

        // Stretch follows a resize; fit-window takes the picture's size and keeps its place.
        CDialogSK window;
        window.resize(8, 8);
        window.SetBackground(TestPicture());
        window.SetBackgroundMode(CDialogSK::kStretch);
        window.resize(16, 16);
        QCOMPARE(PixelOf(window, 7, 11), Cell(1, 2));
        window.move(40, 30);
        window.SetBackgroundMode(CDialogSK::kFitWindow);
        QCOMPARE(window.size(), QSize(4, 4));
        QCOMPARE(window.pos(), QPoint(40, 30));

        // A picture that cannot be read leaves the default background.
        CDialogSK broken;
        broken.resize(8, 8);
        QVERIFY(!broken.SetBackground(QImage(QStringLiteral("/nonexistent.bmp"))));
        QCOMPARE(PixelOf(broken, 3, 3), broken.palette().color(QPalette::Window).rgb());
    }

    void ColourKeyCutsExactlyTheKey() {
        QImage picture = TestPicture();
        picture.setPixel(0, 0, qRgb(0, 255, 0));
        picture.setPixel(1, 0, qRgb(0, 254, 0));
        CDialogSK window;
        window.resize(8, 8);
        window.SetBackground(picture);
        window.SetBackgroundMode(CDialogSK::kStretch);
        window.SetColourKey(QColor(0, 255, 0), true);
        const QRegion shown = window.mask();
        QVERIFY(!shown.contains(QPoint(0, 0)));
        QVERIFY(!shown.contains(QPoint(1, 1)));
        QVERIFY(shown.contains(QPoint(2, 0)));
        QVERIFY(shown.contains(QPoint(7, 7)));
        window.SetColourKey(QColor(0, 255, 0), false);
        QVERIFY(window.mask().isEmpty());
    }

    void DraggingMovesWindowsButNeverFromAPage() {
        struct Case {
            const char* where;
            bool moves;
        };
        const Case cases[] = {{"background", true}, {"plain label", true}, {"clickable label", false},
                              {"button", false}, {"page", false}};
        for (const Case& c : cases) {
            CDialogSK window;
            window.resize(300, 200);
            auto* plain = new CTransparentStatic(&window);
            plain->setGeometry(10, 10, 60, 20);
            plain->setText(QStringLiteral("plain"));
            auto* clickable = new CClickableStatic(&window);
            clickable->setGeometry(80, 10, 60, 20);
            clickable->setText(QStringLiteral("click"));
            auto* button = new QPushButton(QStringLiteral("b"), &window);
            button->setGeometry(150, 10, 60, 20);
            auto* page = new ui::CPage(&window);
            page->setGeometry(0, 100, 300, 100);
            window.move(100, 100);
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));

            QWidget* target = &window;
            QPoint at(250, 50);
            const std::string where = c.where;
            if (where == "plain label") target = plain, at = {5, 5};
            if (where == "clickable label") target = clickable, at = {5, 5};
            if (where == "button") target = button, at = {5, 5};
            if (where == "page") target = page, at = {50, 50};
            const QPoint before = window.pos();
            QTest::mousePress(target, Qt::LeftButton, {}, at);
            QTest::mouseMove(target, at + QPoint(30, 20));
            QTest::mouseRelease(target, Qt::LeftButton, {}, at + QPoint(30, 20));
            QCOMPARE(window.pos() != before, c.moves);
            if (c.moves) QCOMPARE(window.pos(), before + QPoint(30, 20));
        }
    }

    void ShortTextLeavesNothingOfTheLongOne() {
        QImage plain(4, 4, QImage::Format_RGB32);
        plain.fill(qRgb(20, 60, 140));
        CDialogSK window;
        window.resize(300, 60);
        window.SetBackground(plain);
        window.SetBackgroundMode(CDialogSK::kStretch);
        auto* label = new CTransparentStatic(&window, CTransparentStatic::Border::kSunken);
        label->setGeometry(10, 10, 280, 40);
        label->SetTextColour(Qt::white);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        label->SetText(std::string(60, 'W'));
        QVERIFY(window.grab().toImage().copy(150, 15, 130, 20) != QImage());
        label->SetText("i");
        const QImage after = window.grab().toImage();
        // Right of the short text, inside the sunken edge, only the picture shows.
        for (int x = 40; x < 280; x += 7)
            for (int y = 14; y < 46; y += 3) QCOMPARE(after.pixel(x, y), qRgb(20, 60, 140));
    }

    void EveryProgressChangeIsPaintedAtOnce() {
        CSyncStatus status;
        status.Show();
        // Its thread runs its event loop during the work, so the window is on the screen then.
        QVERIFY(QTest::qWaitForWindowExposed(&status));
        status.SetTitle("");
        const int before = status.paintCount();
        status.SetStep("one");
        status.SetStep("two");
        status.SetStep("three");
        QCOMPARE(status.paintCount(), before + 3);
        QCOMPARE(status.stepText(), QStringLiteral("three"));
        QVERIFY(status.titleText().isEmpty());
        // Centred on the screen, whatever else is where.
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(status.geometry().center().x() - screen.center().x()) <= 1);
        status.Close();
        QVERIFY(!status.isVisible());
    }
};

QTEST_MAIN(SkinTest)
#include "skin_test.moc"
