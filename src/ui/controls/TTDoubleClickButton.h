#pragma once

#include <QPushButton>
#include <functional>

#include "ui/controls/ClickCounter.h"

namespace intercom {

// A button that ignores single clicks so that talking never starts or stops by accident:
// only the second press of a double click gets the standard press handling and then runs
// the double-click action. Disabled, it draws as it does enabled, dimmed.
class TTDoubleClickButton : public QPushButton {
    Q_OBJECT

  public:
    using QPushButton::QPushButton;

    void setDoubleClick(std::function<void()> action) { doubleClick_ = std::move(action); }

    Q_INVOKABLE void awakeFromNib();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // On X11 and Wayland Qt gives a widget the second press of a double click only as a
    // double-click event: it counts as that press unless the press itself came first.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    ClickCounter clicks_;
    std::function<void()> doubleClick_;
};

}  // namespace intercom
