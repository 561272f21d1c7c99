#include <gtest/gtest.h>

#include <QSignalSpy>

#include "MouseButtonClicks.h"
#include "UiTestSupport.h"
#include "ui/controls/TTDoubleClickButton.h"

namespace intercom {
namespace {

class DoubleClickButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        button_.awakeFromNib();
        button_.resize(120, 40);
        button_.setDoubleClick([this] {
            ++runs_;
            downWhenRun_ = button_.isDown();
        });
    }

    TTDoubleClickButton button_;
    QSignalSpy clicked_{&button_, &QAbstractButton::clicked};
    int runs_ = 0;
    bool downWhenRun_ = false;
};

TEST_F(DoubleClickButtonTest, SingleClickDoesNothing) {
    test::click(&button_, 1000);
    EXPECT_EQ(runs_, 0);
    EXPECT_EQ(clicked_.count(), 0);
    EXPECT_FALSE(button_.isDown());
}

TEST_F(DoubleClickButtonTest, DoubleClickRunsTheActionOnceAtItsSecondPress) {
    test::click(&button_, 1000);
    const QPoint centre = button_.rect().center();
    test::sendMouse(&button_, QEvent::MouseButtonPress, 1080, centre);
    EXPECT_EQ(runs_, 1);
    EXPECT_TRUE(downWhenRun_) << "the standard press handling comes first";
    test::sendMouse(&button_, QEvent::MouseButtonDblClick, 1080, centre);
    test::sendMouse(&button_, QEvent::MouseButtonRelease, 1081, centre);
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(clicked_.count(), 1);
}

// As a window system delivers it: the second press comes only as the double-click event.
TEST_F(DoubleClickButtonTest, DoubleClickEventAloneIsTheSecondPress) {
    test::click(&button_, 1000);
    const QPoint centre = button_.rect().center();
    test::sendMouse(&button_, QEvent::MouseButtonDblClick, 1080, centre);
    test::sendMouse(&button_, QEvent::MouseButtonRelease, 1081, centre);
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(clicked_.count(), 1);
}

TEST_F(DoubleClickButtonTest, OnlyThePrimaryButtonCounts) {
    test::doubleClickWith(&button_, Qt::RightButton, 1000);
    test::doubleClickWith(&button_, Qt::MiddleButton, 3000);
    EXPECT_EQ(runs_, 0);
    EXPECT_EQ(clicked_.count(), 0);
    EXPECT_FALSE(button_.isDown());

    // A secondary press between the two primary ones neither ends nor completes the double
    // click.
    test::click(&button_, 5000);
    test::clickWith(&button_, Qt::RightButton, 5040, true);
    EXPECT_EQ(runs_, 0);
    test::click(&button_, 5080, true);
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(clicked_.count(), 1);
}

TEST_F(DoubleClickButtonTest, TripleClickRunsTheActionOnce) {
    test::tripleClick(&button_, 1000);
    EXPECT_EQ(runs_, 1);
    EXPECT_EQ(clicked_.count(), 1);
}

TEST_F(DoubleClickButtonTest, DisabledButtonIgnoresDoubleClicks) {
    button_.setEnabled(false);
    test::doubleClick(&button_, 1000);
    EXPECT_EQ(runs_, 0);
    EXPECT_EQ(clicked_.count(), 0);
}

TEST_F(DoubleClickButtonTest, DoubleClicksFartherApartThanTheIntervalDoNothing) {
    test::click(&button_, 1000);
    test::click(&button_, 1000 + 2 * test::doubleClickInterval());
    EXPECT_EQ(runs_, 0);
}

TEST_F(DoubleClickButtonTest, WithoutActionGetsOnlyTheStandardHandling) {
    button_.setDoubleClick(nullptr);
    test::doubleClick(&button_, 1000);
    EXPECT_EQ(clicked_.count(), 1);
}

TEST_F(DoubleClickButtonTest, ExplainsItselfInItsTooltip) {
    EXPECT_EQ(button_.toolTip(), QStringLiteral("双击开启通话"));
}

}  // namespace
}  // namespace intercom
