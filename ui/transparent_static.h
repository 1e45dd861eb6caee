#pragma once
#include <QColor>
#include <QLabel>

// A label that draws only its text, in a colour of its own, so the skinned picture shows
// around the letters. Every text is shown as it stands (never as rich text: service texts and
// translations come from outside). A replaced text is repainted over the parent's picture, so
// a short text leaves nothing of a longer one behind.
class CTransparentStatic : public QLabel {
    Q_OBJECT
public:
    enum class Border { kNone, kSunken };

    explicit CTransparentStatic(QWidget* parent, Border border = Border::kNone);

    // Takes effect at the next painting; black by default.
    void SetTextColour(QColor colour);
    QColor textColour() const { return colour_; }
    void SetText(const std::string& text);

private:
    QColor colour_ = Qt::black;
};

// A label the user clicks (the main window's page labels, Exit, the help hotspots): it takes
// the press, so clicking it never drags the window.
class CClickableStatic : public CTransparentStatic {
    Q_OBJECT
public:
    explicit CClickableStatic(QWidget* parent) : CTransparentStatic(parent) {}

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class QPushButton;

namespace ui {

// The controls every window builds the same way, placed in pixels from dialog units.
// A title: the title font, black.
CTransparentStatic* MakeTitle(QWidget* parent, QRect where, const QString& text = {});
// A text in a sunken box, see-through inside.
CTransparentStatic* MakeSunkenText(QWidget* parent, QRect where);
// A push button in the template font that Enter never presses for the user.
QPushButton* MakeButton(QWidget* parent, QRect where, const QString& text = {});

}  // namespace ui
