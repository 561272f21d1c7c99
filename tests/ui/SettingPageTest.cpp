#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "OverlayTestSupport.h"
#include "UnwritableStore.h"
#include "model/Setting.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTSlider.h"
#include "ui/pages/SettingPage.h"

namespace intercom {
namespace {

using test::waitUntil;

class SettingPageTest : public test::OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        open();
    }

    void open() {
        host_.resize(1047, 560);
        auto loaded = loadFromNib<SettingPage>();
        ASSERT_NE(loaded, nullptr);
        page_ = loaded.release();
        page_->setParent(&host_);
        pinEdgesToSuperview(page_);
        host_.show();
        page_->setSidetoneBlockingHandler([this](bool on) { sidetoneCalls_.push_back(on); });
        page_->setSpeakingBeepHandler([this](bool on) { beepCalls_.push_back(on); });
    }

    void reopen() {
        delete page_;
        open();
    }

    // A click on a switch, and the notice it left over the page.
    QString clickSwitch(QAbstractButton* button) {
        FNHUD::hide();
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, button->height() / 2));
        const QStringList notices = noticesOver(page_);
        return notices.isEmpty() ? QString() : notices.last();
    }

    QWidget host_;
    QPointer<SettingPage> page_;
    std::vector<bool> sidetoneCalls_;
    std::vector<bool> beepCalls_;
};

TEST_F(SettingPageTest, OpensOnTheDefaultsAndStoresEachSupportedSwitchWithItsNotice) {
    EXPECT_TRUE(page_->sidetoneBtn()->isChecked());
    EXPECT_FALSE(page_->speakBeepBtn()->isChecked());
    EXPECT_FALSE(page_->callBeepBtn()->isChecked());
    EXPECT_FALSE(page_->reconnectBtn()->isChecked());
    EXPECT_EQ(page_->inputValueLabel()->text(), QStringLiteral("输入音频增强  0"));
    EXPECT_EQ(page_->dodgeValueLabel()->text(), QStringLiteral("优先通道闪避  -10"));
    EXPECT_EQ(page_->dodgeSlider()->integerValue(), -10);
    EXPECT_EQ(page_->versionLabel()->text(), QStringLiteral(INTERCOM_VERSION));
    EXPECT_EQ(Setting::load(), Setting());

    EXPECT_EQ(clickSwitch(page_->sidetoneBtn()), QStringLiteral("侧音屏蔽关闭！"));
    EXPECT_FALSE(Setting::load().isSidetoneBlocking);
    EXPECT_EQ(clickSwitch(page_->sidetoneBtn()), QStringLiteral("侧音屏蔽开启！"));
    EXPECT_EQ(sidetoneCalls_, (std::vector<bool>{false, true}));

    EXPECT_EQ(clickSwitch(page_->speakBeepBtn()),
              QStringLiteral("开启通话时每15秒本机beep提示音！"));
    EXPECT_EQ(clickSwitch(page_->callBeepBtn()), QStringLiteral("在收到信息后会有beep提示音！"));
    EXPECT_EQ(clickSwitch(page_->reconnectBtn()), QStringLiteral("开启断连提示音！"));
    EXPECT_EQ(beepCalls_, std::vector<bool>{true});
    Setting expected;
    expected.isSpeakingBeep = true;
    expected.isCallingRing = true;
    expected.isReconnectBeep = true;
    EXPECT_EQ(Setting::load(), expected);

    EXPECT_EQ(clickSwitch(page_->speakBeepBtn()),
              QStringLiteral("关闭通话时每15秒本机beep提示音！"));
    EXPECT_EQ(clickSwitch(page_->callBeepBtn()), QStringLiteral("关闭收到信息beep提示音！"));
    EXPECT_EQ(clickSwitch(page_->reconnectBtn()), QStringLiteral("关闭断连提示音！"));
    EXPECT_EQ(beepCalls_, (std::vector<bool>{true, false}));
    EXPECT_EQ(Setting::load(), Setting());

    // Without handlers the switch is stored all the same.
    page_->setSidetoneBlockingHandler(nullptr);
    clickSwitch(page_->sidetoneBtn());
    EXPECT_FALSE(Setting::load().isSidetoneBlocking);
    reopen();
    EXPECT_FALSE(page_->sidetoneBtn()->isChecked());
}

TEST_F(SettingPageTest, TheUnsupportedSwitchesSaySoAndStayOffWithoutStoring) {
    const auto stored = KeyValueStore::standard().get("Setting");
    for (QAbstractButton* button : {page_->screenBtn(), page_->callShockBtn()}) {
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(clickSwitch(button), QStringLiteral("本客户端暂不支持！"));
            EXPECT_FALSE(button->isChecked());
        }
        button->setChecked(true);
        EXPECT_EQ(clickSwitch(button), QStringLiteral("本客户端暂不支持！"));
        EXPECT_FALSE(button->isChecked());
    }
    EXPECT_EQ(KeyValueStore::standard().get("Setting"), stored);
    EXPECT_TRUE(sidetoneCalls_.empty());
}

TEST_F(SettingPageTest, SlidersSnapToWholeNumbersRoundingHalvesAwayFromZero) {
    TTSlider* input = page_->inputEnhanceSlider();
    input->setDoubleValue(3.4);
    EXPECT_EQ(input->value(), 3 * TTSlider::kStepsPerUnit);
    EXPECT_EQ(page_->inputValueLabel()->text(), QStringLiteral("输入音频增强  3"));
    EXPECT_EQ(Setting::load().audioEnhance, 3);
    input->setDoubleValue(3.5);
    EXPECT_EQ(input->integerValue(), 4);
    EXPECT_EQ(page_->inputValueLabel()->text(), QStringLiteral("输入音频增强  4"));
    EXPECT_EQ(Setting::load().audioEnhance, 4);

    TTSlider* dodge = page_->dodgeSlider();
    dodge->setDoubleValue(-2.5);
    EXPECT_EQ(dodge->integerValue(), -3);
    EXPECT_EQ(dodge->value(), -3 * TTSlider::kStepsPerUnit);
    EXPECT_EQ(page_->dodgeValueLabel()->text(), QStringLiteral("优先通道闪避  -3"));
    Setting expected;
    expected.audioEnhance = 4;
    expected.channelDodge = -3;
    EXPECT_EQ(Setting::load(), expected);

    // The keyboard moves whole steps too.
    dodge->setFocus();
    QTest::keyClick(dodge, Qt::Key_Left);
    EXPECT_EQ(page_->dodgeValueLabel()->text(), QStringLiteral("优先通道闪避  -4"));
    reopen();
    EXPECT_EQ(page_->inputEnhanceSlider()->integerValue(), 4);
    EXPECT_EQ(page_->dodgeSlider()->integerValue(), -4);
}

TEST_F(SettingPageTest, AFailedSaveChangesNothingElseAndIsLoggedWithItsReason) {
    std::string log;
    std::string failure;
    {
        const test::UnwritableStore unwritable;
        failure = unwritable.failureLine();
        ::testing::internal::CaptureStderr();

        EXPECT_EQ(clickSwitch(page_->sidetoneBtn()), QString());
        EXPECT_FALSE(page_->sidetoneBtn()->isChecked()) << "keeps the state the click gave it";
        EXPECT_TRUE(sidetoneCalls_.empty());
        EXPECT_EQ(clickSwitch(page_->speakBeepBtn()), QString());
        EXPECT_TRUE(beepCalls_.empty());

        page_->inputEnhanceSlider()->setDoubleValue(6);
        EXPECT_EQ(page_->inputEnhanceSlider()->integerValue(), 6);
        EXPECT_EQ(page_->inputValueLabel()->text(), QStringLiteral("输入音频增强  0"));
        page_->dodgeSlider()->setDoubleValue(-20);
        EXPECT_EQ(page_->dodgeValueLabel()->text(), QStringLiteral("优先通道闪避  -10"));

        log = ::testing::internal::GetCapturedStderr();
    }
    // Each failed save once, with its reason.
    std::string expected;
    for (int save = 0; save < 4; ++save) {
        expected += failure;
    }
    EXPECT_EQ(log, expected);
}

}  // namespace
}  // namespace intercom
