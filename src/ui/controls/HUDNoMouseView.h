#pragma once

#include <QWidget>

namespace intercom {

// Laid over a whole view behind a blocking notice: mouse presses on the view reach nothing.
class HUDNoMouseView : public QWidget {
    Q_OBJECT

  public:
    using QWidget::QWidget;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

}  // namespace intercom
