#pragma once

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <ostream>

#include "support/WaitUntil.h"
#include "ui/controls/FNHUD.h"

namespace intercom::test {

inline void sendMouse(QWidget* widget, QEvent::Type type, ulong timestamp, QPoint pos) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), Qt::LeftButton, held, Qt::NoModifier);
    event.setTimestamp(timestamp);
    QApplication::sendEvent(widget, &event);
}

// One click at the given event time (milliseconds), delivered as the window system would:
// a press and a release; when `doubleClick` is set the press is followed by the
// double-click event that Qt adds to the second press of a double click.
inline void click(QWidget* widget, ulong timestamp, bool doubleClick = false) {
    const QPoint pos = widget->rect().center();
    sendMouse(widget, QEvent::MouseButtonPress, timestamp, pos);
    if (doubleClick) {
        sendMouse(widget, QEvent::MouseButtonDblClick, timestamp, pos);
    }
    sendMouse(widget, QEvent::MouseButtonRelease, timestamp + 1, pos);
}

// A click where the window system would deliver it: to the topmost widget at `pos` of the
// window, from where an ignored event travels up to the parents.
inline void clickAt(QWidget* window, QPoint pos, ulong timestamp = 0) {
    QWidget* target = window->childAt(pos);
    if (!target) {
        target = window;
    }
    const QPoint local = target->mapFrom(window, pos);
    sendMouse(target, QEvent::MouseButtonPress, timestamp, local);
    sendMouse(target, QEvent::MouseButtonRelease, timestamp + 1, local);
}

inline void doubleClick(QWidget* widget, ulong timestamp) {
    click(widget, timestamp);
    click(widget, timestamp + 80, true);
}

inline void tripleClick(QWidget* widget, ulong timestamp) {
    doubleClick(widget, timestamp);
    click(widget, timestamp + 160);
}

inline int doubleClickInterval() {
    return QApplication::doubleClickInterval();
}

// The texts of the notices over a page that are not fading out.
inline QStringList notices(const QWidget& page) {
    QStringList texts;
    for (const FNHUD* box : page.findChildren<FNHUD*>()) {
        if (FNHUD::hudViews().contains(const_cast<FNHUD*>(box))) {
            texts.append(box->findChild<QLabel*>()->text());
        }
    }
    return texts;
}

}  // namespace intercom::test

inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << ", "
         << rect.height() << ")";
}
