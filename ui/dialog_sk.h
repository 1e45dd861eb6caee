#pragma once
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QWidget>

class QEventLoop;

// The skinned base of every window but the progress window: a picture behind the controls,
// moving by dragging the background, and one colour of the picture cut away.
//
// A picture that cannot be read leaves the window with its default background and nothing else
// changed. The colour key becomes a window mask computed from the picture as it is painted;
// without a picture, or with the key off, the whole window shows. Pages (child widgets) take
// the press on their background and move nothing, so a drag that starts on a page never moves
// the main window.
class CDialogSK : public QWidget {
    Q_OBJECT
public:
    enum DrawingMode : int { kTopLeft = 0, kTile = 1, kCentre = 2, kStretch = 3, kFitWindow = 4 };

    explicit CDialogSK(QWidget* parent = nullptr);
    ~CDialogSK() override;
    CDialogSK(const CDialogSK&) = delete;
    CDialogSK& operator=(const CDialogSK&) = delete;

    void EnableDragMove(bool on);
    // Loads bitmap <id> of the program's own resources; false, and no picture, when it cannot.
    bool LoadBackground(int bitmapId);
    // Replaces the picture; a null image clears it and answers false.
    bool SetBackground(const QImage& picture);
    void SetBackgroundMode(int mode);
    // The window shows nothing where the painted picture has exactly this colour; off removes
    // the cut. Always true: every platform Qt runs on can mask a window.
    bool SetColourKey(QColor colour, bool on);

    // For top-level skinned windows: runs the window modally and answers the value given to
    // done(). The window is hidden again before exec returns; the object stays for the caller.
    int exec();
    void done(int result);

    int drawingMode() const { return mode_; }
    const QImage& background() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // What the window manager's close (and Escape, where a window lets it) does to a running
    // exec(): by default nothing; a dialog that allows it answers the result to end with.
    virtual bool CloseResult(int& result) const;

    // Skins the window the way every window of the tool does: dragging on, the picture
    // stretched, the colour key on.
    void Skin(int bitmapId, QColor key);

private:
    void PaintPicture(QPainter& painter, QSize area) const;
    void UpdateMask();

    QImage picture_;
    int mode_ = kTopLeft;
    bool dragMove_ = true;
    bool keyOn_ = false;
    QColor key_;
    bool manualMove_ = false;
    QPoint pressOffset_;
    QEventLoop* loop_ = nullptr;
    int result_ = 0;
};
