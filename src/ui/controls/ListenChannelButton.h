#pragma once

#include "ui/controls/TTChannelButton.h"

namespace intercom {

class ListenChannelButton : public TTChannelButton {
    Q_OBJECT

  public:
    using TTChannelButton::TTChannelButton;

    void toggleClickSelect() override;
    Q_INVOKABLE void awakeFromNib() override;

  protected:
    void reportDoubleClick() override;
    void mousePressEvent(QMouseEvent* event) override;
    // Qt repeats the second press of a double click as a double-click event; the press
    // has been counted already.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace intercom
