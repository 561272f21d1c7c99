#include "ui/controls/TTChannelButton.h"

#include <QApplication>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>

#include "app/AppDelegate.h"
#include "ui/TTExtension.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/ScreenLock.h"

namespace intercom {

namespace {

QFont titleFont() {
    QFont font = QApplication::font();
    font.setPixelSize(24);
    return font;
}

}  // namespace

TTChannelButton::TTChannelButton(QWidget* parent) : QAbstractButton(parent) {
    setFont(titleFont());
    setFocusPolicy(Qt::NoFocus);
}

void TTChannelButton::setGroup(std::optional<Group> group) {
    group_ = std::move(group);
    setText(group_ ? QString::fromStdString(group_->name) : QString());
    if (isClickSelect_) {
        isClickSelect_ = false;
        updateBackgroundColor();
    }
    if (isDoubleClickSelect_) {
        isDoubleClickSelect_ = false;
        updateBackgroundColor();
    }
}

void TTChannelButton::updateBackgroundColor() {
    if (isDoubleClickSelect_) {
        backgroundColor_ = QColor(248, 230, 0);
    } else if (isClickSelect_) {
        backgroundColor_ = clickSelectColor_.value_or(QColor(Qt::transparent));
    } else {
        backgroundColor_ = defaultButtonColor();
    }
    update();
}

void TTChannelButton::toggleClickSelect() {
    isClickSelect_ = !isClickSelect_;
    updateBackgroundColor();
}

void TTChannelButton::awakeFromNib() {
    backgroundColor_ = defaultButtonColor();
    update();
}

void TTChannelButton::makeToast(const QString& text) {
    AppDelegate* app = AppDelegate::shared();
    QMainWindow* window = app ? app->window() : nullptr;
    QWidget* contentView = window ? window->centralWidget() : nullptr;
    if (contentView) {
        FNHUD::showMessage(text, contentView);
    }
}

QSize TTChannelButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 24, metrics.height() + 16};
}

void TTChannelButton::handlePress(QMouseEvent* event, std::int64_t Group::*permission,
                                  const QString& refusal) {
    // The press is the button's own: no highlight, no clicked signal.
    event->accept();
    if (!group_) {
        return;
    }
    if (isScreenLocked()) {
        makeToast(QStringLiteral("屏幕已锁定"));
        return;
    }
    if ((*group_).*permission == 0) {
        makeToast(refusal);
        return;
    }
    switch (clicks_.press(event->timestamp())) {
        case 1:
            scheduleClick();
            break;
        case 2:
            cancelPendingClicks();
            isDoubleClickSelect_ = !isDoubleClickSelect_;
            updateBackgroundColor();
            reportDoubleClick();
            break;
        default:
            break;
    }
}

void TTChannelButton::scheduleClick() {
    auto* timer = new QTimer(this);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this, timer] {
        pendingClicks_.removeAll(timer);
        timer->deleteLater();
        toggleClickSelect();
    });
    pendingClicks_.append(timer);
    timer->start(QApplication::doubleClickInterval());
}

void TTChannelButton::cancelPendingClicks() {
    qDeleteAll(pendingClicks_);
    pendingClicks_.clear();
}

void TTChannelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (backgroundColor_.isValid()) {
        painter.fillRect(rect(), backgroundColor_);
    }
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

void TTChannelButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace intercom
