#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace intercom {

// The application's own alert: covers the view it is added to and shows a white dialog box
// with a title, a message and one button or a bar of two. Built from "TTCustomAlert.ui";
// the caller configures it, then adds it to a view, and keeps it while it is off screen
// (removing itself leaves it without a parent). A press on a button removes the panel
// first and then runs that button's action, so the action may show the panel again.
class TTCustomAlert : public QWidget {
    Q_OBJECT

  public:
    using Handler = std::function<void()>;

    explicit TTCustomAlert(QWidget* parent = nullptr);

    QWidget* customView() const { return customView_; }
    void setCustomView(QWidget* view);
    QLabel* titleLabel() const { return titleLabel_; }
    void setTitleLabel(QLabel* label) { titleLabel_ = label; }
    QLabel* contentLabel() const { return contentLabel_; }
    void setContentLabel(QLabel* label);
    QAbstractButton* singleBtn() const { return singleBtn_; }
    void setSingleBtn(QAbstractButton* button) { singleBtn_ = button; }
    QWidget* bottomView() const { return bottomView_; }
    void setBottomView(QWidget* view) { bottomView_ = view; }
    QAbstractButton* cancelBtn() const { return cancelBtn_; }
    void setCancelBtn(QAbstractButton* button) { cancelBtn_ = button; }
    QAbstractButton* confirmBtn() const { return confirmBtn_; }
    void setConfirmBtn(QAbstractButton* button) { confirmBtn_ = button; }

    // The one-button form; its button runs `action`.
    void showSingle(const QString& title, const QString& content, const QString& buttonTitle,
                    Handler action = {});
    // The two-button form: cancel on the left, confirm on the right.
    void showDouble(const QString& title, const QString& content, const QString& cancelTitle,
                    Handler cancelAction, const QString& confirmTitle, Handler confirmAction);

    Q_INVOKABLE void awakeFromNib();

  public slots:
    // The action of all three buttons, connected in the interface file.
    void handleButtonsClick();

  protected:
    // Clicks outside the buttons go nowhere: the views underneath stay out of reach.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QPointer<QWidget> customView_;
    QPointer<QLabel> titleLabel_;
    QPointer<QLabel> contentLabel_;
    QPointer<QAbstractButton> singleBtn_;
    QPointer<QWidget> bottomView_;
    QPointer<QAbstractButton> cancelBtn_;
    QPointer<QAbstractButton> confirmBtn_;
    Handler cancelHandler_;
    Handler confirmHandler_;
};

}  // namespace intercom
