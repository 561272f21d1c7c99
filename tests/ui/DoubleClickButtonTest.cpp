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
        button.awakeFromNib();
        button.resize(120, 40);
        button.setDoubleClick([this] {
            ++runs;
            downWhenRun = button.isDown();
        });
    }

    TTDoubleClickButton button;
    QSignalSpy clicked{&button, &QAbstractButton::clicked};
    int runs = 0;
    bool downWhenRun = false;
};

TEST_F(DoubleClickButtonTest, SingleClickDoesNothing) {
    test::click(&button, 1000);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(button.isDown());
}

TEST_F(DoubleClickButtonTest, DoubleClickRunsTheActionOnceAtItsSecondPress) {
    test::click(&button, 1000);
    const QPoint centre = button.rect().center();
    test::sendMouse(&button, QEvent::MouseButtonPress, 1080, centre);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(downWhenRun) << "the standard press handling comes first";
    test::sendMouse(&button, QEvent::MouseButtonDblClick, 1080, centre);
    test::sendMouse(&button, QEvent::MouseButtonRelease, 1081, centre);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(clicked.count(), 1);
}

// As a window system delivers it: the second press comes only as the double-click event.
TEST_F(DoubleClickButtonTest, DoubleClickEventAloneIsTheSecondPress) {
    test::click(&button, 1000);
    const QPoint centre = button.rect().center();
    test::sendMouse(&button, QEvent::MouseButtonDblClick, 1080, centre);
    test::sendMouse(&button, QEvent::MouseButtonRelease, 1081, centre);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(DoubleClickButtonTest, OnlyThePrimaryButtonCounts) {
    test::doubleClickWith(&button, Qt::RightButton, 1000);
    test::doubleClickWith(&button, Qt::MiddleButton, 3000);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(button.isDown());

    // A secondary press between the two primary ones neither ends nor completes the double
    // click.
    test::click(&button, 5000);
    test::clickWith(&button, Qt::RightButton, 5040, true);
    EXPECT_EQ(runs, 0);
    test::click(&button, 5080, true);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(DoubleClickButtonTest, TripleClickRunsTheActionOnce) {
    test::tripleClick(&button, 1000);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(DoubleClickButtonTest, DisabledButtonIgnoresDoubleClicks) {
    button.setEnabled(false);
    test::doubleClick(&button, 1000);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(DoubleClickButtonTest, DoubleClicksFartherApartThanTheIntervalDoNothing) {
    test::click(&button, 1000);
    test::click(&button, 1000 + 2 * test::doubleClickInterval());
    EXPECT_EQ(runs, 0);
}

TEST_F(DoubleClickButtonTest, WithoutActionGetsOnlyTheStandardHandling) {
    button.setDoubleClick(nullptr);
    test::doubleClick(&button, 1000);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(DoubleClickButtonTest, ExplainsItselfInItsTooltip) {
    EXPECT_EQ(button.toolTip(), QStringLiteral("双击开启通话"));
}

}  // namespace
}  // namespace intercom
