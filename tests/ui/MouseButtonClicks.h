#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace intercom::test {

// A press and a release of any mouse button at the given event time (milliseconds); with
// `doubleClick` the press is followed by the double-click event that Qt adds to the second
// press of a double click.
inline void clickWith(QWidget* widget, Qt::MouseButton button, ulong timestamp,
                      bool doubleClick = false) {
    const QPoint pos = widget->rect().center();
    const auto send = [&](QEvent::Type type, ulong time) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
        event.setTimestamp(time);
        QApplication::sendEvent(widget, &event);
    };
    send(QEvent::MouseButtonPress, timestamp);
    if (doubleClick) {
        send(QEvent::MouseButtonDblClick, timestamp);
    }
    send(QEvent::MouseButtonRelease, timestamp + 1);
}

inline void doubleClickWith(QWidget* widget, Qt::MouseButton button, ulong timestamp) {
    clickWith(widget, button, timestamp);
    clickWith(widget, button, timestamp + 80, true);
}

}  // namespace intercom::test
