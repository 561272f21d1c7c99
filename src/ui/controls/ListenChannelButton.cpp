#include "ui/controls/ListenChannelButton.h"

#include <QMouseEvent>

#include "ui/controls/TTChannelButtonDelegate.h"

namespace intercom {

void ListenChannelButton::toggleClickSelect() {
    TTChannelButton::toggleClickSelect();
    if (delegate() && group()) {
        delegate()->listenChannelClicked(this);
    }
}

void ListenChannelButton::awakeFromNib() {
    TTChannelButton::awakeFromNib();
    setClickSelectColor(QColor(9, 102, 172));
}

void ListenChannelButton::reportDoubleClick() {
    if (delegate()) {
        delegate()->listenChannelDoubleClicked(this);
    }
}

void ListenChannelButton::mousePressEvent(QMouseEvent* event) {
    handlePress(event, &Group::permissionListen, QStringLiteral("您当前所在群组未开通收听权限！"));
}

}  // namespace intercom
