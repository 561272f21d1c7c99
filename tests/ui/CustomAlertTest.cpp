#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

#include "UiTestSupport.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTCustomAlert.h"

namespace intercom {
namespace {

using test::waitUntil;

class CustomAlertTest : public ::testing::Test {
  protected:
    void SetUp() override {
        content_.resize(1047, 560);
        underneath_ = new QPushButton(&content_);
        underneath_->setGeometry(content_.rect());
        content_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&content_));
        alert_ = loadFromNib<TTCustomAlert>();
        ASSERT_NE(alert_, nullptr);
    }
    void TearDown() override {
        // The panel is ours while off screen; on screen the content view holds it.
        if (alert_ && alert_->parentWidget()) {
            alert_.release();
        }
    }

    void addAlert() {
        alert_->setParent(&content_);
        pinEdgesToSuperview(alert_.get());
        alert_->show();
    }

    void press(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    QWidget content_;
    QPushButton* underneath_ = nullptr;
    std::unique_ptr<TTCustomAlert> alert_;
    std::vector<std::string> ran_;
};

// The darkest pixel that the label draws: the colour of its text where a stroke covers a
// whole pixel.
QColor darkestPixel(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    QColor darkest = Qt::white;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.lightness() < darkest.lightness()) {
                darkest = colour;
            }
        }
    }
    return darkest;
}

TEST_F(CustomAlertTest, MessageIsDrawnInDarkGreyAndTheTitleInBlack) {
    alert_->showSingle(QStringLiteral("■■■ 标题"), QStringLiteral("■■■ 连接已断开"),
                       QStringLiteral("好"));
    addAlert();
    ASSERT_TRUE(waitUntil([&] { return alert_->contentLabel()->isVisible(); }));
    EXPECT_EQ(darkestPixel(alert_->contentLabel()), QColor(85, 85, 85));
    EXPECT_EQ(darkestPixel(alert_->titleLabel()), QColor(Qt::black));
}

TEST_F(CustomAlertTest, LoadsWithEveryOutletAndCoversTheView) {
    EXPECT_NE(alert_->customView(), nullptr);
    EXPECT_NE(alert_->titleLabel(), nullptr);
    EXPECT_NE(alert_->contentLabel(), nullptr);
    EXPECT_NE(alert_->singleBtn(), nullptr);
    EXPECT_NE(alert_->bottomView(), nullptr);
    EXPECT_NE(alert_->cancelBtn(), nullptr);
    EXPECT_NE(alert_->confirmBtn(), nullptr);
    addAlert();
    EXPECT_EQ(alert_->geometry(), content_.rect());
}

TEST_F(CustomAlertTest, SingleAfterDoubleDropsTheCancelAction) {
    alert_->showDouble(
        QStringLiteral("标题"), QStringLiteral("内容"), QStringLiteral("取消"),
        [this] { ran_.push_back("cancel"); }, QStringLiteral("确定"),
        [this] { ran_.push_back("confirm"); });
    alert_->showSingle(QStringLiteral("连接断开"), QStringLiteral("正在重连"),
                       QStringLiteral("知道了"), [this] { ran_.push_back("single"); });
    addAlert();
    EXPECT_TRUE(alert_->singleBtn()->isVisible());
    EXPECT_FALSE(alert_->bottomView()->isVisible());
    EXPECT_EQ(alert_->titleLabel()->text(), QStringLiteral("连接断开"));
    EXPECT_EQ(alert_->singleBtn()->text(), QStringLiteral("知道了"));

    press(alert_->singleBtn());
    EXPECT_EQ(ran_, std::vector<std::string>{"single"});
    EXPECT_EQ(alert_->parentWidget(), nullptr);
    // Hidden, but still wired to the panel: the dropped action must not come back.
    alert_->cancelBtn()->click();
    EXPECT_EQ(ran_, std::vector<std::string>{"single"});
}

TEST_F(CustomAlertTest, PressRemovesThePanelBeforeTheActionWhichMayShowItAgain) {
    QWidget* parentDuringAction = &content_;
    alert_->showSingle(QStringLiteral("一"), QStringLiteral("一"), QStringLiteral("好"), [&] {
        parentDuringAction = alert_->parentWidget();
        alert_->showDouble(QStringLiteral("二"), QStringLiteral("二"), QStringLiteral("拒绝"), {},
                           QStringLiteral("接听"), [this] { ran_.push_back("accept"); });
        addAlert();
    });
    addAlert();
    press(alert_->singleBtn());
    EXPECT_EQ(parentDuringAction, nullptr);
    EXPECT_EQ(alert_->parentWidget(), &content_);
    EXPECT_TRUE(alert_->isVisible());
    EXPECT_TRUE(alert_->bottomView()->isVisible());
    EXPECT_FALSE(alert_->singleBtn()->isVisible());
    EXPECT_EQ(content_.findChildren<TTCustomAlert*>().size(), 1);

    press(alert_->cancelBtn());
    EXPECT_TRUE(ran_.empty()) << "no cancel action: the press only removes the panel";
    EXPECT_EQ(alert_->parentWidget(), nullptr);

    addAlert();
    press(alert_->confirmBtn());
    EXPECT_EQ(ran_, std::vector<std::string>{"accept"});
    EXPECT_EQ(alert_->parentWidget(), nullptr);
}

TEST_F(CustomAlertTest, ClicksOutsideTheButtonsGoNowhere) {
    QSignalSpy underneathClicked(underneath_, &QPushButton::clicked);
    test::clickAt(&content_, QPoint(10, 10));
    ASSERT_EQ(underneathClicked.count(), 1) << "the view underneath takes clicks";
    underneathClicked.clear();
    alert_->showSingle(QStringLiteral("标题"), QStringLiteral("内容"), QStringLiteral("好"),
                       [this] { ran_.push_back("single"); });
    addAlert();
    test::clickAt(&content_, QPoint(10, 10));
    const QPoint insideBox = alert_->customView()->geometry().topLeft() + QPoint(5, 5);
    test::clickAt(&content_, insideBox);
    EXPECT_EQ(underneathClicked.count(), 0);
    EXPECT_TRUE(ran_.empty());
    EXPECT_EQ(alert_->parentWidget(), &content_);
}

}  // namespace
}  // namespace intercom
