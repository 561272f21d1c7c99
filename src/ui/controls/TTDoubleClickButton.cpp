#include "ui/controls/TTDoubleClickButton.h"

#include <QMouseEvent>

namespace intercom {

void TTDoubleClickButton::awakeFromNib() {
    setToolTip(QStringLiteral("双击开启通话"));
}

void TTDoubleClickButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    // Only the primary button counts: another button's press neither starts nor ends a
    // double click.
    if (event->button() != Qt::LeftButton || !isEnabled() ||
        clicks_.press(event->timestamp()) != 2) {
        return;
    }
    QPushButton::mousePressEvent(event);
    if (doubleClick_) {
        doubleClick_();
    }
}

void TTDoubleClickButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (!clicks_.counted(event->timestamp())) {
        mousePressEvent(event);
    }
}

}  // namespace intercom
