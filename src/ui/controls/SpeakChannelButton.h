#pragma once

#include "ui/controls/TTChannelButton.h"

namespace intercom {

class SpeakChannelButton : public TTChannelButton {
    Q_OBJECT

  public:
    using TTChannelButton::TTChannelButton;

    void toggleClickSelect() override;
    Q_INVOKABLE void awakeFromNib() override;

  protected:
    void reportDoubleClick() override;
    void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace intercom
