#include "ui/transparent_static.h"

#include <QMouseEvent>
#include <QPushButton>

#include "ui/fonts.h"

CTransparentStatic::CTransparentStatic(QWidget* parent, Border border) : QLabel(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_TranslucentBackground, false);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setOpenExternalLinks(false);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFont(ui::TemplateFont());
    if (border == Border::kSunken) {
        // The edge only: the inside stays see-through.
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(1);
        setMargin(2);
    }
    SetTextColour(colour_);
}

void CTransparentStatic::SetTextColour(QColor colour) {
    colour_ = colour;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colour);
    setPalette(colours);
    update();
}

void CTransparentStatic::SetText(const std::string& text) {
    setText(QString::fromStdString(text));
    // The label has no background of its own: its parent repaints the area first.
    if (parentWidget() != nullptr) parentWidget()->update(geometry());
}

void CClickableStatic::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CClickableStatic::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

namespace ui {

CTransparentStatic* MakeTitle(QWidget* parent, QRect where, const QString& text) {
    auto* title = new CTransparentStatic(parent);
    title->setGeometry(where);
    title->setFont(TitleFont());
    title->SetTextColour(Qt::black);
    title->setText(text);
    return title;
}

CTransparentStatic* MakeSunkenText(QWidget* parent, QRect where) {
    auto* text = new CTransparentStatic(parent, CTransparentStatic::Border::kSunken);
    text->setGeometry(where);
    return text;
}

QPushButton* MakeButton(QWidget* parent, QRect where, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setGeometry(where);
    button->setFont(TemplateFont());
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace ui
