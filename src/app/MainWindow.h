#pragma once

#include <QMainWindow>
#include <QPoint>
#include <optional>

namespace intercom {

// The client's one window: no title text, the page filling it, movable by dragging any
// background area, and a quit action (Ctrl+Q, and the background's context menu).
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(QWidget* parent = nullptr);

  protected:
    // Presses that no control took land here: they are on the background.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    // Where the press grabbed the window, while it is moved by hand (no window manager
    // move available).
    std::optional<QPoint> dragOffset_;
};

}  // namespace intercom
