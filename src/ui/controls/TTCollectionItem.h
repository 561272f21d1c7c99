#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

#include "model/Group.h"
#include "model/UserInfo.h"

namespace intercom {

// The one row of the group and user lists: a title, an optional note in brackets under it
// and an action button at its side, which for a user also tells whether they are online.
// Built from "TTCollectionItem.ui". Every binding sets everything that it shows anew, so a
// reused row shows nothing of its last binding.
class TTCollectionItem : public QWidget {
    Q_OBJECT

  public:
    explicit TTCollectionItem(QWidget* parent = nullptr);

    QLabel* titleLabel() const { return titleLabel_; }
    void setTitleLabel(QLabel* label) { titleLabel_ = label; }
    QLabel* subTitleLabel() const { return subTitleLabel_; }
    void setSubTitleLabel(QLabel* label) { subTitleLabel_ = label; }
    QAbstractButton* checkButton() const { return checkButton_; }
    void setCheckButton(QAbstractButton* button);
    // How far the title's vertical centre sits from the row's middle (negative: higher).
    int titleLabelCenterY() const { return titleLabelCenterY_; }

    // What a press on the action button runs.
    void setOnCheckClick(std::function<void()> action) { onCheckClick_ = std::move(action); }

    const std::optional<Group>& group() const { return group_; }
    void setGroup(Group group);
    const std::optional<UserInfo>& userInfo() const { return userInfo_; }
    void setUserInfo(UserInfo user);

    // The action button's colours as now shown.
    QColor checkButtonBackground() const { return buttonBackground_; }
    QColor checkButtonTitleColor() const { return buttonTitleColor_; }

    Q_INVOKABLE void awakeFromNib();

  public slots:
    // The action of the check button, connected in the interface file.
    void handleCheckButtonAction();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showTitle(const std::string& name, const std::string& remark);
    void styleCheckButton(const QColor& background, const QColor& title);
    void layoutTitles();

    QPointer<QLabel> titleLabel_;
    QPointer<QLabel> subTitleLabel_;
    QPointer<QAbstractButton> checkButton_;
    int titleLabelCenterY_ = 0;
    std::optional<Group> group_;
    std::optional<UserInfo> userInfo_;
    QColor buttonBackground_;
    QColor buttonTitleColor_;
    std::function<void()> onCheckClick_;
};

}  // namespace intercom
