#include "ui/controls/TTTextFieldCell.h"

#include <QEvent>
#include <QMarginsF>
#include <QStyle>
#include <QStyleOptionFrame>

namespace intercom {

namespace {

// QLineEdit keeps this much room above and below its line of text.
constexpr int kLineMargin = 1;

}  // namespace

TTTextFieldCell::TTTextFieldCell(QWidget* parent) : QLineEdit(parent) {
    // The line starts at the top of the text area; the title rectangle is what centres it.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

QRectF TTTextFieldCell::titleRectForBounds(const QRect& bounds) const {
    return centredTitleRect(plainTitleRect(bounds), naturalHeight());
}

QRect TTTextFieldCell::plainTitleRect(const QRect& bounds) const {
    QStyleOptionFrame option;
    initStyleOption(&option);
    option.rect = bounds;
    return style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
}

int TTTextFieldCell::naturalHeight() const {
    return fontMetrics().height() + 2 * kLineMargin;
}

QRectF TTTextFieldCell::centredTitleRect(const QRectF& plain, qreal naturalHeight) {
    return plain.translated(0, (plain.height() - naturalHeight) * 0.5);
}

void TTTextFieldCell::resizeEvent(QResizeEvent* event) {
    placeText();
    QLineEdit::resizeEvent(event);
}

void TTTextFieldCell::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        placeText();
    }
    QLineEdit::changeEvent(event);
}

void TTTextFieldCell::placeText() {
    const QRect bounds = rect();
    const QRectF plain = plainTitleRect(bounds);
    const QRectF title = titleRectForBounds(bounds);
    const QMarginsF moved(title.left() - plain.left(), title.top() - plain.top(),
                          plain.right() - title.right(), plain.bottom() - title.bottom());
    setTextMargins(moved.toMargins());
}

}  // namespace intercom
