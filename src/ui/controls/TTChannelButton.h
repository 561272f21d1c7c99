#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QList>
#include <QTimer>
#include <optional>

#include "model/Group.h"
#include "ui/controls/ClickCounter.h"

namespace intercom {

class TTChannelButtonDelegate;

// A button bound to one talk group, with a single-click and a double-click selection shown
// by its background colour. A single click takes effect only once the double-click
// interval has passed without a second press; a double click flips only the double-click
// selection.
class TTChannelButton : public QAbstractButton {
    Q_OBJECT

  public:
    explicit TTChannelButton(QWidget* parent = nullptr);

    const std::optional<QColor>& clickSelectColor() const { return clickSelectColor_; }
    void setClickSelectColor(std::optional<QColor> color) { clickSelectColor_ = color; }
    bool isClickSelect() const { return isClickSelect_; }
    void setClickSelect(bool selected) { isClickSelect_ = selected; }
    bool isDoubleClickSelect() const { return isDoubleClickSelect_; }
    void setDoubleClickSelect(bool selected) { isDoubleClickSelect_ = selected; }
    // Not owned: the delegate is the page that owns the buttons.
    TTChannelButtonDelegate* delegate() const { return delegate_; }
    void setDelegate(TTChannelButtonDelegate* delegate) { delegate_ = delegate; }
    const std::optional<Group>& group() const { return group_; }
    // Shows the group's name and clears both selections, silently; a pending single click
    // stays pending and then applies to the new group.
    void setGroup(std::optional<Group> group);

    // The colour that the button shows now; invalid until it has been styled.
    QColor backgroundColor() const { return backgroundColor_; }
    virtual void updateBackgroundColor();
    virtual void toggleClickSelect();

    Q_INVOKABLE virtual void awakeFromNib();
    // Shows the notice over the whole client, in the main window.
    void makeToast(const QString& text);

    QSize sizeHint() const override;

  protected:
    // The press steps shared by both kinds: the group, lock and permission checks, then
    // the click count.
    void handlePress(QMouseEvent* event, std::int64_t Group::*permission, const QString& refusal);
    // Tells the delegate that the double-click selection has just flipped.
    virtual void reportDoubleClick() {}

    void paintEvent(QPaintEvent* event) override;
    // On X11 and Wayland Qt gives a widget the second press of a double click only as a
    // double-click event: it counts as that press unless the press itself came first.
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void scheduleClick();
    void cancelPendingClicks();

    std::optional<QColor> clickSelectColor_;
    bool isClickSelect_ = false;
    bool isDoubleClickSelect_ = false;
    TTChannelButtonDelegate* delegate_ = nullptr;
    std::optional<Group> group_;
    QColor backgroundColor_;
    ClickCounter clicks_;
    QList<QTimer*> pendingClicks_;  // children of the button
};

}  // namespace intercom
