#include "ui/controls/TTCustomAlert.h"

#include <QMouseEvent>

namespace intercom {

TTCustomAlert::TTCustomAlert(QWidget* parent) : QWidget(parent) {}

void TTCustomAlert::setCustomView(QWidget* view) {
    customView_ = view;
    if (view) {
        view->setAttribute(Qt::WA_StyledBackground, true);
        view->setStyleSheet(QStringLiteral("#%1 { background-color: white; border-radius: 10px; }")
                                .arg(view->objectName()));
    }
}

void TTCustomAlert::setContentLabel(QLabel* label) {
    contentLabel_ = label;
    if (!label) {
        return;
    }
    // Dark grey, a third of white. Set in the label's own style sheet: a palette colour would give
    // way to the style sheets of the interface file and of the dialog box once the panel is
    // polished.
    QString sheet = label->styleSheet().trimmed();
    if (!sheet.isEmpty() && !sheet.endsWith(QLatin1Char(';'))) {
        sheet += QLatin1Char(';');
    }
    label->setStyleSheet(sheet + QStringLiteral(" color: rgb(85, 85, 85);"));
}

void TTCustomAlert::awakeFromNib() {
    // Clear: the panel shows only its dialog box over the content it covers.
    setAutoFillBackground(false);
    setCustomView(findChild<QWidget*>(QStringLiteral("customView")));
    setTitleLabel(findChild<QLabel*>(QStringLiteral("titleLabel")));
    setContentLabel(findChild<QLabel*>(QStringLiteral("contentLabel")));
    setSingleBtn(findChild<QAbstractButton*>(QStringLiteral("singleBtn")));
    setBottomView(findChild<QWidget*>(QStringLiteral("bottomView")));
    setCancelBtn(findChild<QAbstractButton*>(QStringLiteral("cancelBtn")));
    setConfirmBtn(findChild<QAbstractButton*>(QStringLiteral("confirmBtn")));
}

void TTCustomAlert::showSingle(const QString& title, const QString& content,
                               const QString& buttonTitle, Handler action) {
    titleLabel_->setText(title);
    contentLabel_->setText(content);
    singleBtn_->setText(buttonTitle);
    cancelHandler_ = nullptr;
    confirmHandler_ = std::move(action);
    singleBtn_->setVisible(true);
    bottomView_->setVisible(false);
}

void TTCustomAlert::showDouble(const QString& title, const QString& content,
                               const QString& cancelTitle, Handler cancelAction,
                               const QString& confirmTitle, Handler confirmAction) {
    titleLabel_->setText(title);
    contentLabel_->setText(content);
    cancelBtn_->setText(cancelTitle);
    cancelHandler_ = std::move(cancelAction);
    confirmBtn_->setText(confirmTitle);
    confirmHandler_ = std::move(confirmAction);
    singleBtn_->setVisible(false);
    bottomView_->setVisible(true);
}

void TTCustomAlert::handleButtonsClick() {
    QObject* sender = this->sender();
    hide();
    setParent(nullptr);
    // Copied: the action may configure the panel anew, which replaces the handlers.
    const Handler handler = (cancelBtn_ && sender == cancelBtn_) ? cancelHandler_ : confirmHandler_;
    if (handler) {
        handler();
    }
}

void TTCustomAlert::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TTCustomAlert::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void TTCustomAlert::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

}  // namespace intercom
