#include "ui/controls/TTCollectionItem.h"

#include <QEvent>

namespace intercom {

namespace {

const QColor kOnlineBackground(0, 160, 248);
const QColor kOfflineBackground(47, 65, 113);
const QColor kOfflineTitle(149, 149, 149);

// Between the bottom of the title and the top of the note.
constexpr int kNoteGap = 2;

}  // namespace

TTCollectionItem::TTCollectionItem(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
}

void TTCollectionItem::setCheckButton(QAbstractButton* button) {
    checkButton_ = button;
    if (button) {
        styleCheckButton(kOnlineBackground, Qt::white);
    }
}

void TTCollectionItem::awakeFromNib() {
    setTitleLabel(findChild<QLabel*>(QStringLiteral("titleLabel")));
    setSubTitleLabel(findChild<QLabel*>(QStringLiteral("subTitleLabel")));
    setCheckButton(findChild<QAbstractButton*>(QStringLiteral("checkButton")));
    // The two labels sit in a panel without a layout: their height follows the title's
    // centre offset, which no box layout expresses.
    if (titleLabel_ && titleLabel_->parentWidget()) {
        titleLabel_->parentWidget()->installEventFilter(this);
    }
}

void TTCollectionItem::setGroup(Group group) {
    showTitle(group.name, group.remark);
    group_ = std::move(group);
}

void TTCollectionItem::setUserInfo(UserInfo user) {
    showTitle(user.name, user.remark);
    if (checkButton_) {
        const bool online = user.onlineStatus != 0;
        checkButton_->setText(online ? QStringLiteral("谈话") : QStringLiteral("呼叫"));
        styleCheckButton(online ? kOnlineBackground : kOfflineBackground,
                         online ? QColor(Qt::white) : kOfflineTitle);
    }
    userInfo_ = std::move(user);
}

void TTCollectionItem::handleCheckButtonAction() {
    if (onCheckClick_) {
        // Copied: the action may rebind this row, which replaces the closure.
        const auto action = onCheckClick_;
        action();
    }
}

bool TTCollectionItem::eventFilter(QObject* watched, QEvent* event) {
    if (titleLabel_ && watched == titleLabel_->parentWidget() && event->type() == QEvent::Resize) {
        layoutTitles();
    }
    return QWidget::eventFilter(watched, event);
}

void TTCollectionItem::showTitle(const std::string& name, const std::string& remark) {
    if (titleLabel_) {
        titleLabel_->setText(QString::fromStdString(name));
    }
    if (subTitleLabel_) {
        subTitleLabel_->setText(remark.empty()
                                    ? QString()
                                    : QStringLiteral("(%1)").arg(QString::fromStdString(remark)));
    }
    titleLabelCenterY_ = remark.empty() ? 0 : -10;
    layoutTitles();
}

void TTCollectionItem::styleCheckButton(const QColor& background, const QColor& title) {
    buttonBackground_ = background;
    buttonTitleColor_ = title;
    checkButton_->setStyleSheet(
        QStringLiteral("QAbstractButton { background-color: %1; color: %2; border: none; "
                       "border-radius: 15px; }")
            .arg(background.name(), title.name()));
}

void TTCollectionItem::layoutTitles() {
    if (!titleLabel_ || !titleLabel_->parentWidget()) {
        return;
    }
    const QWidget* panel = titleLabel_->parentWidget();
    const int titleHeight = titleLabel_->sizeHint().height();
    const int titleTop = (panel->height() - titleHeight) / 2 + titleLabelCenterY_;
    titleLabel_->setGeometry(0, titleTop, panel->width(), titleHeight);
    if (subTitleLabel_) {
        subTitleLabel_->setGeometry(0, titleTop + titleHeight + kNoteGap, panel->width(),
                                    subTitleLabel_->sizeHint().height());
    }
}

}  // namespace intercom
