#pragma once

#include <QColor>
#include <QMetaObject>
#include <QString>
#include <memory>
#include <string>

#include "ui/EdgePin.h"

class QWidget;

namespace intercom {

// The names of the in-process notifications that the received-message handling posts and
// the pages observe.
inline const std::string kChannelListenersChanged = "ChannelListenersChanged";
inline const std::string kUserOnline = "UserOnline";
inline const std::string kUserOffline = "UserOffline";
inline const std::string kChatListChanged = "ChatListChanged";

// Background of a channel button that is not selected.
const QColor& defaultButtonColor();

// Loads the interface file ":/ui/<fileName>.ui" and returns the last of its top-level
// objects that is a `type`, or null. A file's top level is its root widget, unless the root
// is of another type: then it is a holder and its direct children are the top-level
// objects. Everything else that the file created is deleted.
QWidget* loadWidgetFromNib(const QString& fileName, const QMetaObject& type);

// Loads the interface file named after T (its class name without namespace).
template <typename T>
std::unique_ptr<T> loadFromNib() {
    QString name = QString::fromLatin1(T::staticMetaObject.className());
    name = name.mid(name.lastIndexOf(QLatin1Char(':')) + 1);
    return std::unique_ptr<T>(static_cast<T*>(loadWidgetFromNib(name, T::staticMetaObject)));
}

// Shows a transient notice over the view.
void makeToast(QWidget* view, const QString& text);

}  // namespace intercom
