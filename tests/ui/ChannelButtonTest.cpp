#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <string>
#include <vector>

#include "MouseButtonClicks.h"
#include "UiTestSupport.h"
#include "ui/MainContentView.h"
#include "ui/TTExtension.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/ScreenLock.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/controls/TTChannelButtonDelegate.h"

namespace intercom {
namespace {

using test::click;
using test::doubleClick;
using test::tripleClick;
using test::waitUntil;

// What the home page would hear from its buttons, with the state each report came with.
struct Reports : TTChannelButtonDelegate {
    std::vector<std::string> calls;

    void speakChannelSelectionChanged() override { calls.push_back("speakSelectionChanged"); }
    void speakChannelDoubleClicked(SpeakChannelButton* button) override {
        calls.push_back("speakDouble " + flag(button->isDoubleClickSelect()));
    }
    void listenChannelClicked(ListenChannelButton* button) override {
        calls.push_back("listenTap " + button->group()->name + " " + flag(button->isClickSelect()));
    }
    void listenChannelDoubleClicked(ListenChannelButton* button) override {
        calls.push_back("listenPress " + button->group()->name + " " +
                        flag(button->isDoubleClickSelect()));
    }

    static std::string flag(bool on) { return on ? "1" : "0"; }
};

Group makeGroup(const std::string& name, std::int64_t speak = 1, std::int64_t listen = 1) {
    Group group;
    group.id = 7;
    group.name = name;
    group.permissionSpeak = speak;
    group.permissionListen = listen;
    return group;
}

QColor shownColour(QWidget* button) {
    return button->grab().toImage().pixelColor(2, 2);
}

QString shownNotice() {
    const QList<QWidget*> views = FNHUD::hudViews();
    if (views.isEmpty()) {
        return {};
    }
    return views.last()->findChild<QLabel*>()->text();
}

class ChannelButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window_.setCentralWidget(new QWidget);
        setMainWindow(&window_);
        for (TTChannelButton* button :
             {static_cast<TTChannelButton*>(&speak_), static_cast<TTChannelButton*>(&listen_)}) {
            button->awakeFromNib();
            button->resize(160, 60);
            button->setDelegate(&reports_);
        }
        speak_.setGroup(makeGroup("一组"));
        listen_.setGroup(makeGroup("一组"));
    }
    void TearDown() override {
        setScreenLocked(false);
        setMainWindow(nullptr);
    }

    // A click that starts a new multiple click: far from every press before it.
    ulong nextTime() { return now_ += 10 * test::doubleClickInterval(); }

    QMainWindow window_;
    Reports reports_;
    SpeakChannelButton speak_;
    ListenChannelButton listen_;
    ulong now_ = 1000;
};

TEST_F(ChannelButtonTest, SingleClickSelectsOnlyOnceTheIntervalHasPassed) {
    click(&speak_, nextTime());
    QApplication::processEvents();
    EXPECT_FALSE(speak_.isClickSelect());
    ASSERT_TRUE(waitUntil([&] { return speak_.isClickSelect(); }));
    EXPECT_EQ(shownColour(&speak_), QColor(238, 59, 62));
    EXPECT_TRUE(reports_.calls.empty()) << "turning a speak button on is not reported";

    click(&speak_, nextTime());
    ASSERT_TRUE(waitUntil([&] { return !speak_.isClickSelect(); }));
    EXPECT_EQ(shownColour(&speak_), defaultButtonColor());
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"speakSelectionChanged"});
}

TEST_F(ChannelButtonTest, DoubleClickFlipsOnlyTheDoubleClickSelection) {
    doubleClick(&speak_, nextTime());
    EXPECT_TRUE(speak_.isDoubleClickSelect());
    EXPECT_EQ(shownColour(&speak_), QColor(248, 230, 0));
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"speakDouble 1"});

    // Had the double click's first press left its single click pending, this later click
    // would turn the selection off again instead of on.
    click(&speak_, nextTime());
    ASSERT_TRUE(waitUntil([&] { return speak_.isClickSelect(); }));
    QApplication::processEvents();
    EXPECT_TRUE(speak_.isClickSelect());
    EXPECT_EQ(shownColour(&speak_), QColor(248, 230, 0)) << "yellow wins over the click colour";

    doubleClick(&speak_, nextTime());
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_EQ(shownColour(&speak_), QColor(238, 59, 62));
}

// As a window system delivers it: the second press comes only as the double-click event.
TEST_F(ChannelButtonTest, DoubleClickEventAloneIsTheSecondPress) {
    const QPoint centre = speak_.rect().center();
    const ulong first = nextTime();
    click(&speak_, first);
    const ulong second = first + 80;
    test::sendMouse(&speak_, QEvent::MouseButtonDblClick, second, centre);
    test::sendMouse(&speak_, QEvent::MouseButtonRelease, second + 1, centre);
    EXPECT_TRUE(speak_.isDoubleClickSelect());
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"speakDouble 1"});
}

TEST_F(ChannelButtonTest, TripleClickFlipsTheDoubleClickSelectionOnce) {
    tripleClick(&listen_, nextTime());
    EXPECT_TRUE(listen_.isDoubleClickSelect());
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"listenPress 一组 1"});

    click(&listen_, nextTime());
    ASSERT_TRUE(waitUntil([&] { return listen_.isClickSelect(); }));
    EXPECT_TRUE(listen_.isDoubleClickSelect());
    EXPECT_EQ(reports_.calls, (std::vector<std::string>{"listenPress 一组 1", "listenTap 一组 1"}));
}

TEST_F(ChannelButtonTest, ListenButtonReportsBothDirections) {
    click(&listen_, nextTime());
    ASSERT_TRUE(waitUntil([&] { return listen_.isClickSelect(); }));
    EXPECT_EQ(shownColour(&listen_), QColor(9, 102, 172));
    click(&listen_, nextTime());
    ASSERT_TRUE(waitUntil([&] { return !listen_.isClickSelect(); }));
    doubleClick(&listen_, nextTime());
    doubleClick(&listen_, nextTime());
    EXPECT_EQ(reports_.calls,
              (std::vector<std::string>{"listenTap 一组 1", "listenTap 一组 0",
                                        "listenPress 一组 1", "listenPress 一组 0"}));
}

TEST_F(ChannelButtonTest, LockedScreenRefusesEveryPressWithItsNotice) {
    setScreenLocked(true);
    const ulong time = nextTime();
    click(&speak_, time);
    EXPECT_EQ(shownNotice(), QStringLiteral("屏幕已锁定"));
    EXPECT_EQ(FNHUD::hudViews().last()->parentWidget(), window_.centralWidget());
    click(&speak_, time + 80, true);
    doubleClick(&listen_, nextTime());
    EXPECT_EQ(shownNotice(), QStringLiteral("屏幕已锁定"));

    setScreenLocked(false);
    QApplication::processEvents();
    EXPECT_FALSE(waitUntil([&] { return speak_.isClickSelect() || listen_.isClickSelect(); },
                           2 * test::doubleClickInterval()));
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_FALSE(listen_.isDoubleClickSelect());
    EXPECT_TRUE(reports_.calls.empty());
}

TEST_F(ChannelButtonTest, MissingPermissionRefusesOnlyThatKindOfButton) {
    speak_.setGroup(makeGroup("二组", 0, 1));
    listen_.setGroup(makeGroup("二组", 0, 1));
    doubleClick(&speak_, nextTime());
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_EQ(shownNotice(), QStringLiteral("您当前所在群组未开通通话权限！"));

    doubleClick(&listen_, nextTime());
    EXPECT_TRUE(listen_.isDoubleClickSelect());

    listen_.setGroup(makeGroup("三组", 1, 0));
    doubleClick(&listen_, nextTime());
    EXPECT_FALSE(listen_.isDoubleClickSelect());
    EXPECT_EQ(shownNotice(), QStringLiteral("您当前所在群组未开通收听权限！"));
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"listenPress 二组 1"});
}

TEST_F(ChannelButtonTest, ButtonWithoutGroupIgnoresPresses) {
    speak_.setGroup(std::nullopt);
    EXPECT_EQ(speak_.text(), QString());
    setScreenLocked(true);
    doubleClick(&speak_, nextTime());
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_TRUE(FNHUD::hudViews().isEmpty());
}

TEST_F(ChannelButtonTest, AssigningAGroupClearsBothSelectionsSilently) {
    speak_.setClickSelect(true);
    speak_.setDoubleClickSelect(true);
    speak_.updateBackgroundColor();
    speak_.setGroup(makeGroup("新组"));
    EXPECT_EQ(speak_.text(), QStringLiteral("新组"));
    EXPECT_FALSE(speak_.isClickSelect());
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_EQ(shownColour(&speak_), defaultButtonColor());
    EXPECT_TRUE(reports_.calls.empty());
}

TEST_F(ChannelButtonTest, OnlyThePrimaryButtonCounts) {
    for (const Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
        for (TTChannelButton* button :
             {static_cast<TTChannelButton*>(&speak_), static_cast<TTChannelButton*>(&listen_)}) {
            test::clickWith(button, other, nextTime());
            test::doubleClickWith(button, other, nextTime());
        }
    }
    setScreenLocked(true);
    test::clickWith(&speak_, Qt::RightButton, nextTime());
    EXPECT_TRUE(FNHUD::hudViews().isEmpty()) << "not even a refusal";
    setScreenLocked(false);
    EXPECT_FALSE(waitUntil([&] { return speak_.isClickSelect() || listen_.isClickSelect(); },
                           2 * test::doubleClickInterval()));
    EXPECT_FALSE(speak_.isDoubleClickSelect());
    EXPECT_FALSE(listen_.isDoubleClickSelect());
    EXPECT_TRUE(reports_.calls.empty());

    // A secondary press inside a primary double click neither ends nor completes it.
    const ulong time = nextTime();
    click(&listen_, time);
    test::clickWith(&listen_, Qt::RightButton, time + 40);
    click(&listen_, time + 80, true);
    EXPECT_TRUE(listen_.isDoubleClickSelect());
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"listenPress 一组 1"});
}

// The name as the button draws it, with no background: white text on black.
QImage drawnTitle(TTChannelButton& button) {
    button.setClickSelectColor(QColor(Qt::black));
    button.setClickSelect(true);
    button.updateBackgroundColor();
    return button.grab().toImage();
}

TEST_F(ChannelButtonTest, LongNameIsElidedAtTheEnd) {
    const QString name =
        QStringLiteral("一个名字长得放不进按钮里的频道一个名字长得放不进按钮里的频道");
    speak_.setGroup(makeGroup(name.toStdString()));
    const QImage image = drawnTitle(speak_);
    int left = image.width();
    int right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) > 128) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    ASSERT_GE(right, 0) << "the name is drawn";
    EXPECT_GT(left, 2) << "the start of the name is not cut off";
    EXPECT_LT(right, image.width() - 3) << "the end is not cut off either";

    // It shows what a button named with some start of the name and an ellipsis shows.
    ListenChannelButton reference;
    reference.awakeFromNib();
    reference.resize(speak_.size());
    bool found = false;
    for (qsizetype length = name.size() - 1; length > 0 && !found; --length) {
        reference.setGroup(makeGroup((name.left(length) + QStringLiteral("…")).toStdString()));
        found = drawnTitle(reference) == image;
    }
    EXPECT_TRUE(found);

    speak_.setGroup(makeGroup("一组"));
    reference.setGroup(makeGroup("一组"));
    EXPECT_EQ(drawnTitle(speak_), drawnTitle(reference)) << "a short name is shown whole";
}

TEST_F(ChannelButtonTest, PendingSingleClickSelectsWithTheNewGroup) {
    click(&listen_, nextTime());
    listen_.setGroup(makeGroup("新组"));
    ASSERT_TRUE(waitUntil([&] { return listen_.isClickSelect(); }));
    EXPECT_EQ(reports_.calls, std::vector<std::string>{"listenTap 新组 1"});
}

TEST(ChannelButtonColours, FollowTheSelectionsWithYellowWinning) {
    SpeakChannelButton speak;
    ListenChannelButton listen;
    TTChannelButton plain;
    for (TTChannelButton* button :
         {static_cast<TTChannelButton*>(&speak), static_cast<TTChannelButton*>(&listen), &plain}) {
        button->awakeFromNib();
        EXPECT_EQ(button->backgroundColor(), defaultButtonColor());
        button->setClickSelect(true);
        button->updateBackgroundColor();
    }
    EXPECT_EQ(speak.backgroundColor(), QColor(238, 59, 62));
    EXPECT_EQ(listen.backgroundColor(), QColor(9, 102, 172));
    EXPECT_EQ(plain.backgroundColor().alpha(), 0) << "no click colour: cleared";
    for (TTChannelButton* button :
         {static_cast<TTChannelButton*>(&speak), static_cast<TTChannelButton*>(&listen), &plain}) {
        button->setDoubleClickSelect(true);
        button->updateBackgroundColor();
        EXPECT_EQ(button->backgroundColor(), QColor(248, 230, 0));
    }
}

TEST(ChannelButtonToast, WithoutMainWindowShowsNothing) {
    ASSERT_EQ(mainContentView(), nullptr);
    SpeakChannelButton speak;
    speak.setGroup(makeGroup("一组", 0));
    click(&speak, 5000);
    EXPECT_TRUE(FNHUD::hudViews().isEmpty());
}

}  // namespace
}  // namespace intercom
