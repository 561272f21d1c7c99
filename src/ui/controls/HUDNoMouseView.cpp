#include "ui/controls/HUDNoMouseView.h"

#include <QMouseEvent>

namespace intercom {

void HUDNoMouseView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void HUDNoMouseView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void HUDNoMouseView::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace intercom
