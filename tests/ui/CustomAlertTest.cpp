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
        content.resize(1047, 560);
        underneath = new QPushButton(&content);
        underneath->setGeometry(content.rect());
        content.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
        alert = loadFromNib<TTCustomAlert>();
        ASSERT_NE(alert, nullptr);
    }
    void TearDown() override {
        // The panel is ours while off screen; on screen the content view holds it.
        if (alert && alert->parentWidget()) {
            alert.release();
        }
    }

    void addAlert() {
        alert->setParent(&content);
        pinEdgesToSuperview(alert.get());
        alert->show();
    }

    void press(QAbstractButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }

    QWidget content;
    QPushButton* underneath = nullptr;
    std::unique_ptr<TTCustomAlert> alert;
    std::vector<std::string> ran;
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
    alert->showSingle(QStringLiteral("■■■ 标题"), QStringLiteral("■■■ 连接已断开"),
                      QStringLiteral("好"));
    addAlert();
    ASSERT_TRUE(waitUntil([&] { return alert->contentLabel()->isVisible(); }));
    EXPECT_EQ(darkestPixel(alert->contentLabel()), QColor(85, 85, 85));
    EXPECT_EQ(darkestPixel(alert->titleLabel()), QColor(Qt::black));
}

TEST_F(CustomAlertTest, LoadsWithEveryOutletAndCoversTheView) {
    EXPECT_NE(alert->customView(), nullptr);
    EXPECT_NE(alert->titleLabel(), nullptr);
    EXPECT_NE(alert->contentLabel(), nullptr);
    EXPECT_NE(alert->singleBtn(), nullptr);
    EXPECT_NE(alert->bottomView(), nullptr);
    EXPECT_NE(alert->cancelBtn(), nullptr);
    EXPECT_NE(alert->confirmBtn(), nullptr);
    addAlert();
    EXPECT_EQ(alert->geometry(), content.rect());
}

TEST_F(CustomAlertTest, SingleAfterDoubleDropsTheCancelAction) {
    alert->showDouble(
        QStringLiteral("标题"), QStringLiteral("内容"), QStringLiteral("取消"),
        [this] { ran.push_back("cancel"); }, QStringLiteral("确定"),
        [this] { ran.push_back("confirm"); });
    alert->showSingle(QStringLiteral("连接断开"), QStringLiteral("正在重连"),
                      QStringLiteral("知道了"), [this] { ran.push_back("single"); });
    addAlert();
    EXPECT_TRUE(alert->singleBtn()->isVisible());
    EXPECT_FALSE(alert->bottomView()->isVisible());
    EXPECT_EQ(alert->titleLabel()->text(), QStringLiteral("连接断开"));
    EXPECT_EQ(alert->singleBtn()->text(), QStringLiteral("知道了"));

    press(alert->singleBtn());
    EXPECT_EQ(ran, std::vector<std::string>{"single"});
    EXPECT_EQ(alert->parentWidget(), nullptr);
    // Hidden, but still wired to the panel: the dropped action must not come back.
    alert->cancelBtn()->click();
    EXPECT_EQ(ran, std::vector<std::string>{"single"});
}

TEST_F(CustomAlertTest, PressRemovesThePanelBeforeTheActionWhichMayShowItAgain) {
    QWidget* parentDuringAction = &content;
    alert->showSingle(QStringLiteral("一"), QStringLiteral("一"), QStringLiteral("好"), [&] {
        parentDuringAction = alert->parentWidget();
        alert->showDouble(QStringLiteral("二"), QStringLiteral("二"), QStringLiteral("拒绝"), {},
                          QStringLiteral("接听"), [this] { ran.push_back("accept"); });
        addAlert();
    });
    addAlert();
    press(alert->singleBtn());
    EXPECT_EQ(parentDuringAction, nullptr);
    EXPECT_EQ(alert->parentWidget(), &content);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_TRUE(alert->bottomView()->isVisible());
    EXPECT_FALSE(alert->singleBtn()->isVisible());
    EXPECT_EQ(content.findChildren<TTCustomAlert*>().size(), 1);

    press(alert->cancelBtn());
    EXPECT_TRUE(ran.empty()) << "no cancel action: the press only removes the panel";
    EXPECT_EQ(alert->parentWidget(), nullptr);

    addAlert();
    press(alert->confirmBtn());
    EXPECT_EQ(ran, std::vector<std::string>{"accept"});
    EXPECT_EQ(alert->parentWidget(), nullptr);
}

TEST_F(CustomAlertTest, ClicksOutsideTheButtonsGoNowhere) {
    QSignalSpy underneathClicked(underneath, &QPushButton::clicked);
    test::clickAt(&content, QPoint(10, 10));
    ASSERT_EQ(underneathClicked.count(), 1) << "the view underneath takes clicks";
    underneathClicked.clear();
    alert->showSingle(QStringLiteral("标题"), QStringLiteral("内容"), QStringLiteral("好"),
                      [this] { ran.push_back("single"); });
    addAlert();
    test::clickAt(&content, QPoint(10, 10));
    const QPoint insideBox = alert->customView()->geometry().topLeft() + QPoint(5, 5);
    test::clickAt(&content, insideBox);
    EXPECT_EQ(underneathClicked.count(), 0);
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(alert->parentWidget(), &content);
}

}  // namespace
}  // namespace intercom
