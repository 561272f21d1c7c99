#include "ui/controls/SpeakChannelButton.h"

#include <QMouseEvent>

#include "ui/controls/TTChannelButtonDelegate.h"

namespace intercom {

void SpeakChannelButton::toggleClickSelect() {
    TTChannelButton::toggleClickSelect();
    if (!isClickSelect() && delegate()) {
        delegate()->speakChannelSelectionChanged();
    }
}

void SpeakChannelButton::awakeFromNib() {
    TTChannelButton::awakeFromNib();
    setClickSelectColor(QColor(238, 59, 62));
}

void SpeakChannelButton::reportDoubleClick() {
    if (delegate()) {
        delegate()->speakChannelDoubleClicked(this);
    }
}

void SpeakChannelButton::mousePressEvent(QMouseEvent* event) {
    handlePress(event, &Group::permissionSpeak, QStringLiteral("您当前所在群组未开通通话权限！"));
}

}  // namespace intercom
