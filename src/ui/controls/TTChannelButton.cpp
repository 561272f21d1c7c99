#include "ui/controls/TTChannelButton.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/MainContentView.h"
#include "ui/TTExtension.h"
#include "ui/controls/ScreenLock.h"

namespace intercom {

namespace {

// Room on either side of the title, also what the size hint adds to it.
constexpr int kTitleMargin = 12;

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
    showNoticeInMainWindow(text);
}

QSize TTChannelButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * kTitleMargin, metrics.height() + 16};
}

void TTChannelButton::handlePress(QMouseEvent* event, std::int64_t Group::*permission,
                                  const QString& refusal) {
    // The press is the button's own: no highlight, no clicked signal. Only the primary
    // button selects; the others do nothing at all, and do not count towards a double click.
    event->accept();
    if (event->button() != Qt::LeftButton || !group_) {
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
    // A name too long for the button keeps its start and ends in "…".
    const QRect titleRect = rect().adjusted(kTitleMargin, 0, -kTitleMargin, 0);
    const QString title =
        QFontMetrics(font()).elidedText(text(), Qt::ElideRight, std::max(0, titleRect.width()));
    painter.drawText(titleRect, Qt::AlignCenter, title);
}

void TTChannelButton::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (!clicks_.counted(event->timestamp())) {
        mousePressEvent(event);
    }
}

}  // namespace intercom
