#pragma once

#include <QList>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

namespace intercom {

// The transient notice: a white rounded box of bold black text, optionally with an icon or
// a spinner above it, centred near the bottom of its parent. One notice at a time: showing
// one first fades out every notice still shown. Plain, success and error notices fade out
// after 3 seconds; the loading notice blocks its parent's mouse until it is hidden. A
// faded-out notice leaves its parent, so that notices never pile up unseen.
class FNHUD : public QWidget {
    Q_OBJECT

  public:
    static void showMessage(const QString& message, QWidget* view);
    static void showSuccess(const QString& message, QWidget* view);
    static void showError(const QString& message, QWidget* view);
    static void showLoading(const QString& message, QWidget* view);
    // Fades out and removes every notice shown.
    static void hide();

    // The top-level notice views now shown: the boxes, or the masks holding them.
    static QList<QWidget*> hudViews();
    // The box frame, in its parent's coordinates, for a message with or without the area
    // of an icon or spinner above the text.
    static QRect calcRect(const QString& message, bool hasImage, const QSize& parentSize);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    FNHUD(const QRect& frame, QWidget* parent);

    static void createUI(const QString& message, const QPixmap& image, QWidget* view, bool withMask,
                         bool autoHide);
};

}  // namespace intercom
