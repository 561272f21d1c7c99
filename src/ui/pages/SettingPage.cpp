#include "ui/pages/SettingPage.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <cmath>

#include "model/Setting.h"
#include "net/signalling/TCPSocket.h"
#include "ui/PageContent.h"
#include "ui/PrivacyPolicyProcess.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTSlider.h"

namespace intercom {

namespace {

// Both labels end their prefix in two spaces before the number.
QString inputValueText(std::int64_t value) {
    return QStringLiteral("输入音频增强  ") + QString::number(value);
}

QString dodgeValueText(std::int64_t value) {
    return QStringLiteral("优先通道闪避  ") + QString::number(value);
}

const QString kUnsupported = QStringLiteral("本客户端暂不支持！");

bool isOn(const QAbstractButton* button) {
    if (const auto* box = qobject_cast<const QCheckBox*>(button)) {
        return box->checkState() == Qt::Checked;
    }
    return button->isChecked();
}

}  // namespace

SettingPage::SettingPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
}

void SettingPage::awakeFromNib() {
    const Setting setting = Setting::load();
    setCustomView(findChild<QWidget*>(QStringLiteral("customView")));
    setSwitch(sidetoneBtn_, "sidetoneBtn", setting.isSidetoneBlocking);
    screenBtn_ = findChild<QAbstractButton*>(QStringLiteral("screenBtn"));
    setSwitch(speakBeepBtn_, "speakBeepBtn", setting.isSpeakingBeep);
    setSwitch(callBeepBtn_, "callBeepBtn", setting.isCallingRing);
    callShockBtn_ = findChild<QAbstractButton*>(QStringLiteral("callShockBtn"));
    setSwitch(reconnectBtn_, "reconnectBtn", setting.isReconnectBeep);
    inputValueLabel_ = findChild<QLabel*>(QStringLiteral("inputValueLabel"));
    if (inputValueLabel_) {
        inputValueLabel_->setText(inputValueText(setting.audioEnhance));
    }
    setSlider(inputEnhanceSlider_, "inputEnhanceSlider", static_cast<long>(setting.audioEnhance));
    dodgeValueLabel_ = findChild<QLabel*>(QStringLiteral("dodgeValueLabel"));
    if (dodgeValueLabel_) {
        dodgeValueLabel_->setText(dodgeValueText(setting.channelDodge));
    }
    setSlider(dodgeSlider_, "dodgeSlider", static_cast<long>(setting.channelDodge));
    versionLabel_ = findChild<QLabel*>(QStringLiteral("versionLabel"));
    if (versionLabel_) {
        versionLabel_->setText(QStringLiteral(INTERCOM_VERSION));
    }
    pliocyView_ = findChild<QWidget*>(QStringLiteral("pliocyView"));
    if (pliocyView_) {
        pliocyView_->installEventFilter(this);
    }
}

void SettingPage::setCustomView(QWidget* view) {
    customView_ = view;
    if (view) {
        setContentBackground(view);
    }
}

void SettingPage::setSwitch(QPointer<QAbstractButton>& outlet, const char* name, bool on) {
    outlet = findChild<QAbstractButton*>(QString::fromLatin1(name));
    if (outlet) {
        outlet->setChecked(on);
    }
}

void SettingPage::setSlider(QPointer<TTSlider>& outlet, const char* name, long value) {
    outlet = findChild<TTSlider*>(QString::fromLatin1(name));
    if (outlet) {
        outlet->setIntegerValue(value);
        TTSlider* slider = outlet;
        connect(slider, &TTSlider::valueChanged, this,
                [this, slider] { handleSliderAction(slider); });
    }
}

void SettingPage::onBack() {
    hide();
    deleteLater();
}

void SettingPage::handleSwitchButtonClick() {
    if (auto* button = qobject_cast<QAbstractButton*>(sender())) {
        handleSwitchButtonAction(button);
    }
}

void SettingPage::handleSwitchButtonAction(QAbstractButton* sender) {
    const bool on = isOn(sender);
    Setting setting = Setting::load();
    struct Supported {
        QAbstractButton* button;
        bool Setting::*field;
        std::function<void(bool)>* handler;
        const char* noticeOn;
        const char* noticeOff;
    };
    const Supported supported[] = {
        {sidetoneBtn_, &Setting::isSidetoneBlocking, &sidetoneBlockingHandler_, "侧音屏蔽开启！",
         "侧音屏蔽关闭！"},
        {speakBeepBtn_, &Setting::isSpeakingBeep, &speakingBeepHandler_,
         "开启通话时每15秒本机beep提示音！", "关闭通话时每15秒本机beep提示音！"},
        {callBeepBtn_, &Setting::isCallingRing, nullptr, "在收到信息后会有beep提示音！",
         "关闭收到信息beep提示音！"},
        {reconnectBtn_, &Setting::isReconnectBeep, nullptr, "开启断连提示音！", "关闭断连提示音！"},
    };
    if ((screenBtn_ && sender == screenBtn_) || (callShockBtn_ && sender == callShockBtn_)) {
        makeToast(this, kUnsupported);
        sender->setChecked(false);
        return;
    }
    for (const Supported& entry : supported) {
        if (!entry.button || entry.button != sender) {
            continue;
        }
        setting.*entry.field = on;
        if (!setting.save()) {
            return;
        }
        if (entry.handler && *entry.handler) {
            (*entry.handler)(on);
        }
        makeToast(this, QString::fromUtf8(on ? entry.noticeOn : entry.noticeOff));
        return;
    }
}

void SettingPage::handleSliderAction(TTSlider* sender) {
    sender->setIntegerValue(std::lround(sender->doubleValue()));
    const std::int64_t number = sender->integerValue();
    Setting setting = Setting::load();
    if (inputEnhanceSlider_ && sender == inputEnhanceSlider_) {
        if (number == setting.audioEnhance) {
            return;
        }
        setting.audioEnhance = number;
        if (!setting.save()) {
            return;
        }
        if (inputValueLabel_) {
            inputValueLabel_->setText(inputValueText(number));
        }
        return;
    }
    if (number == setting.channelDodge) {
        return;
    }
    setting.channelDodge = number;
    if (!setting.save()) {
        return;
    }
    if (dodgeValueLabel_) {
        dodgeValueLabel_->setText(dodgeValueText(number));
    }
    TCPSocket::shared().sendChannelDodge();
}

void SettingPage::handlePrivatePolicyClick() {
    openPrivacyPolicyWindow();
}

void SettingPage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

bool SettingPage::eventFilter(QObject* watched, QEvent* event) {
    // The link is a label: it takes its own press, so that the release that follows comes
    // back to it, and opens the policy on the release, as a click does.
    if (pliocyView_ && watched == pliocyView_) {
        if (event->type() == QEvent::MouseButtonPress) {
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        }
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton &&
                pliocyView_->rect().contains(mouse->position().toPoint())) {
                handlePrivatePolicyClick();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace intercom
