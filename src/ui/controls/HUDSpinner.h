#pragma once

#include <QTimer>
#include <QWidget>

namespace intercom {

// The loading notice's indeterminate spinner, drawn in white.
class HUDSpinner : public QWidget {
    Q_OBJECT

  public:
    explicit HUDSpinner(QWidget* parent = nullptr);

    void start();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QTimer timer_;
    int step_ = 0;
};

}  // namespace intercom
