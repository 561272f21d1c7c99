#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "ui/controls/TTSlider.h"

namespace intercom {

// The settings overlay: sidetone, prompt tones, input gain and dodge value, each stored as
// soon as it changes. Built from "SettingPage.ui"; the home page sets the two handlers
// through which a change reaches the running capture, and the back button deletes it.
class SettingPage : public QWidget {
    Q_OBJECT

  public:
    explicit SettingPage(QWidget* parent = nullptr);

    QWidget* customView() const { return customView_; }
    QAbstractButton* sidetoneBtn() const { return sidetoneBtn_; }
    QAbstractButton* screenBtn() const { return screenBtn_; }
    QAbstractButton* speakBeepBtn() const { return speakBeepBtn_; }
    QAbstractButton* callBeepBtn() const { return callBeepBtn_; }
    QAbstractButton* callShockBtn() const { return callShockBtn_; }
    QAbstractButton* reconnectBtn() const { return reconnectBtn_; }
    QLabel* inputValueLabel() const { return inputValueLabel_; }
    TTSlider* inputEnhanceSlider() const { return inputEnhanceSlider_; }
    QLabel* dodgeValueLabel() const { return dodgeValueLabel_; }
    TTSlider* dodgeSlider() const { return dodgeSlider_; }
    QLabel* versionLabel() const { return versionLabel_; }
    QWidget* pliocyView() const { return pliocyView_; }

    // Each is called with its switch's new state after it has been stored.
    void setSidetoneBlockingHandler(std::function<void(bool)> handler) {
        sidetoneBlockingHandler_ = std::move(handler);
    }
    void setSpeakingBeepHandler(std::function<void(bool)> handler) {
        speakingBeepHandler_ = std::move(handler);
    }

    void handleSwitchButtonAction(QAbstractButton* sender);
    void handleSliderAction(TTSlider* sender);
    void handlePrivatePolicyClick();

    Q_INVOKABLE void awakeFromNib();

  public slots:
    void onBack();
    // The action of the six switches, connected in the interface file.
    void handleSwitchButtonClick();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setCustomView(QWidget* view);
    void setSwitch(QPointer<QAbstractButton>& outlet, const char* name, bool on);
    void setSlider(QPointer<TTSlider>& outlet, const char* name, long value);

    QPointer<QWidget> customView_;
    QPointer<QAbstractButton> sidetoneBtn_;
    QPointer<QAbstractButton> screenBtn_;
    QPointer<QAbstractButton> speakBeepBtn_;
    QPointer<QAbstractButton> callBeepBtn_;
    QPointer<QAbstractButton> callShockBtn_;
    QPointer<QAbstractButton> reconnectBtn_;
    QPointer<QLabel> inputValueLabel_;
    QPointer<TTSlider> inputEnhanceSlider_;
    QPointer<QLabel> dodgeValueLabel_;
    QPointer<TTSlider> dodgeSlider_;
    QPointer<QLabel> versionLabel_;
    QPointer<QWidget> pliocyView_;
    std::function<void(bool)> sidetoneBlockingHandler_;
    std::function<void(bool)> speakingBeepHandler_;
};

}  // namespace intercom
