#include "ui/controls/TTDoubleClickButton.h"

#include <QMouseEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace intercom {

namespace {

// How much of its enabled look a disabled button keeps.
constexpr double kDisabledOpacity = 0.4;

}  // namespace

void TTDoubleClickButton::awakeFromNib() {
    setToolTip(QStringLiteral("双击开启通话"));
}

void TTDoubleClickButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (!isEnabled()) {
        // The style would grey the image and leave a title whose colour the page sets
        // unchanged, so a disabled talk button looked enabled. It draws as desktops draw a
        // disabled image button: image and title, dimmed.
        option.state |= QStyle::State_Enabled;
        option.palette.setCurrentColorGroup(isActiveWindow() ? QPalette::Active
                                                             : QPalette::Inactive);
        painter.setOpacity(kDisabledOpacity);
    }
    painter.drawControl(QStyle::CE_PushButton, option);
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
