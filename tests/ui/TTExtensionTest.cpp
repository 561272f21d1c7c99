#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTChannelButton.h"
#include "ui/controls/TTCustomAlert.h"
#include "ui/controls/TTDoubleClickButton.h"

namespace intercom {
namespace {

TEST(LoadFromNib, MissingFileGivesNone) {
    EXPECT_EQ(loadFromNib<TTChannelButton>(), nullptr);
}

TEST(LoadFromNib, FileWithSeveralObjectsOfTheTypeGivesTheLastAwake) {
    std::unique_ptr<QWidget> button(
        loadWidgetFromNib(QStringLiteral("TwoTalkButtons"), TTDoubleClickButton::staticMetaObject));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->objectName(), QStringLiteral("second"));
    EXPECT_NE(qobject_cast<TTDoubleClickButton*>(button.get()), nullptr);
    EXPECT_EQ(button->parentWidget(), nullptr);
    EXPECT_EQ(button->toolTip(), QStringLiteral("双击开启通话"));
}

TEST(LoadFromNib, FileWithoutAnObjectOfTheTypeGivesNone) {
    EXPECT_EQ(loadWidgetFromNib(QStringLiteral("TwoTalkButtons"), TTCustomAlert::staticMetaObject),
              nullptr);
}

TEST(LoadFromNib, NamesTheFileAfterTheClass) {
    const std::unique_ptr<TTCustomAlert> alert = loadFromNib<TTCustomAlert>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->objectName(), QStringLiteral("TTCustomAlert"));
}

TEST(PinEdgesToSuperview, FollowsTheParentAndAMoveToAnotherParent) {
    // Hidden widgets hear of their size only once shown.
    QWidget parent;
    parent.resize(300, 200);
    parent.show();
    auto* child = new QWidget(&parent);
    pinEdgesToSuperview(child);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 300, 200));
    parent.resize(640, 480);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 640, 480));

    QWidget other;
    other.resize(100, 50);
    other.show();
    child->setParent(&other);
    pinEdgesToSuperview(child);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 100, 50));
    parent.resize(700, 500);
    other.resize(120, 60);
    EXPECT_EQ(child->geometry(), QRect(0, 0, 120, 60));
}

TEST(DefaultButtonColor, IsTheDarkBlueOfIdleChannels) {
    EXPECT_EQ(defaultButtonColor(), QColor(5, 21, 60));
    EXPECT_EQ(defaultButtonColor().alpha(), 255);
}

}  // namespace
}  // namespace intercom
