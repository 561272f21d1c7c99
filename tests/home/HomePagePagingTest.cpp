// The screen's buttons and paging: groups from the real server's pages, frames to a
// recording peer.
#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <algorithm>
#include <cstdlib>
#include <map>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "audio/Beep.h"
#include "net/signalling/ByteOrder.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/pages/ChatListPage.h"
#include "ui/pages/GroupsPage.h"
#include "ui/pages/SettingPage.h"

namespace intercom::test {
namespace {

class HomePagePaging : public HomePageFixture {
  protected:
    QPushButton* tagged(int tag) const {
        for (auto* candidate : page_->findChildren<QPushButton*>()) {
            if (candidate->property("tag").toInt() == tag) {
                return candidate;
            }
        }
        ADD_FAILURE() << "no button with tag " << tag;
        return nullptr;
    }
    void press(int tag) {
        tagged(tag)->click();
        QApplication::processEvents();
    }
    // The group ids of every turnPage frame the client sent.
    std::vector<std::vector<std::int64_t>> turnPages() const {
        std::vector<std::vector<std::int64_t>> pages;
        for (const Frame& frame : peer_.framesOf(Message::turnPage)) {
            std::vector<std::int64_t> ids;
            const std::span<const std::uint8_t> p(frame.payload);
            for (std::size_t offset = 12; offset + 4 <= p.size(); offset += 4) {
                ids.push_back(bigEndianInt32(p.subspan(offset)));
            }
            pages.push_back(ids);
        }
        return pages;
    }
    bool settles() {
        return !waitUntil([] { return false; }, 400);
    }
};

// The tooltip shown now, or null.
QWidget* shownTooltip() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("qtooltip_label") && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

struct TooltipLook {
    QString text;
    QColor box;             // the colour most of the inside is drawn in
    int darkestText = 255;  // lightness of the darkest pixel that differs from the box
    int lighterPixels = 0;  // pixels that differ from the box and are not darker
    int darkerPixels = 0;   // pixels that differ from the box and are darker
};

// Shows the button's own tooltip as a hover would and reads what it draws, inside its frame.
TooltipLook tooltipOf(QWidget* button) {
    TooltipLook look;
    const QPoint at = button->rect().center();
    QHelpEvent hover(QEvent::ToolTip, at, button->mapToGlobal(at));
    QApplication::sendEvent(button, &hover);
    QWidget* tip = nullptr;
    if (!waitUntil([&] { return (tip = shownTooltip()) != nullptr; })) {
        ADD_FAILURE() << "no tooltip for " << button->objectName().toStdString();
        return look;
    }
    look.text = static_cast<QLabel*>(tip)->text();
    const QImage image = tip->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect inside = image.rect().adjusted(3, 3, -3, -3);
    std::map<QRgb, int> counts;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[image.pixel(x, y)];
        }
    }
    look.box = QColor::fromRgb(
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->first);
    const auto differs = [&](QRgb rgb) {
        return std::max({std::abs(qRed(rgb) - look.box.red()),
                         std::abs(qGreen(rgb) - look.box.green()),
                         std::abs(qBlue(rgb) - look.box.blue())}) > 24;
    };
    for (const auto& [rgb, count] : counts) {
        if (!differs(rgb)) {
            continue;
        }
        const int lightness = QColor::fromRgb(rgb).lightness();
        if (lightness < look.box.lightness()) {
            look.darkerPixels += count;
            look.darkestText = std::min(look.darkestText, lightness);
        } else {
            look.lighterPixels += count;
        }
    }
    QToolTip::hideText();
    waitUntil([] { return shownTooltip() == nullptr; });
    return look;
}

TEST_F(HomePagePaging, PagesBindTheirGroupsToBothRowsAndTellTheServer) {
    openRecorded();
    EXPECT_EQ(page_->pageNameLabel()->text(), "主控");
    EXPECT_EQ(page_->userNameLabel()->text(), "张伟");
    EXPECT_TRUE(page_->bigSpeakerBtn()->isEnabled()) << "user level 1";
    for (QWidget* panel : {page_->speakPanel(), page_->listenPanel()}) {
        ASSERT_EQ(panel->layout()->count(), 8);
        const QStringList expected = {"导演组", "摄像组", "灯光组", "", "", "", "", ""};
        for (int i = 0; i < 8; ++i) {
            auto* channel = button<TTChannelButton>(panel, i);
            EXPECT_EQ(channel->text(), expected[i]);
            EXPECT_EQ(channel->group().has_value(), i < 3);
        }
    }
    EXPECT_TRUE(page_->smallSpeakerBtn()->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return turnPages().size() == 1; }));
    EXPECT_EQ(turnPages()[0], kFirstPageGroups);

    press(HomePage::previousPageTag);
    EXPECT_EQ(lastNotice(), "已经在首页了");
    EXPECT_EQ(page_->pageNum(), 1);

    press(HomePage::nextPageTag);
    waitForPage(2);
    EXPECT_EQ(page_->pageNameLabel()->text(), "空页");
    EXPECT_FALSE(page_->smallSpeakerBtn()->isEnabled()) << "a page without groups";
    EXPECT_FALSE(button<SpeakChannelButton>(page_->speakPanel(), 0)->group());
    ASSERT_TRUE(waitUntil([&] { return turnPages().size() == 2; }));
    EXPECT_TRUE(turnPages()[1].empty());

    press(HomePage::nextPageTag);
    waitForPage(3);
    press(HomePage::nextPageTag);
    waitForPage(4);
    press(HomePage::nextPageTag);
    EXPECT_EQ(lastNotice(), "已经是最后一页了");
    settles();
    EXPECT_EQ(page_->pageNum(), 4);
    EXPECT_EQ(turnPages().size(), 4u) << "no request for a page beyond the last";
}

TEST_F(HomePagePaging, NextPageWhileTalkingStopsCaptureAtOnceAndTheReplyEndsTheTalk) {
    openRecorded();
    doubleClick(page_->smallSpeakerBtn());
    ASSERT_TRUE(page_->console()->recorder());
    nextVoiceFrames(2);
    const auto pings = peer_.framesOf(Message::ping).size();

    // No events run between the press and the checks, so the reply cannot have come yet.
    tagged(HomePage::nextPageTag)->click();
    EXPECT_FALSE(page_->console()->recorder()) << "capture stops before the reply";
    EXPECT_TRUE(page_->isSpeaking()) << "the latch waits for the reply";
    EXPECT_TRUE(waitUntil([&] { return peer_.framesOf(Message::ping).size() > pings; }));
    waitForPage(2);
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
    ASSERT_TRUE(waitUntil([&] { return turnPages().size() == 2; }));
}

TEST_F(HomePagePaging, TheLockRefusesEveryTaggedButtonButItself) {
    openRecorded();
    press(HomePage::screenLockTag);
    EXPECT_EQ(lastNotice(), "锁定");
    for (int tag : {HomePage::previousPageTag, HomePage::nextPageTag, HomePage::chatListTag,
                    HomePage::groupsTag, HomePage::settingsTag}) {
        FNHUD::hide();
        press(tag);
        EXPECT_EQ(lastNotice(), "屏幕已锁定") << tag;
    }
    doubleClick(page_->smallSpeakerBtn());
    EXPECT_EQ(lastNotice(), "屏幕已锁定");
    doubleClick(page_->floatingBtn());
    EXPECT_EQ(lastNotice(), "屏幕已锁定");
    EXPECT_FALSE(page_->isSpeaking());
    settles();
    EXPECT_EQ(page_->pageNum(), 1);
    EXPECT_EQ(turnPages().size(), 1u);

    press(HomePage::screenLockTag);
    EXPECT_EQ(lastNotice(), "解锁");
    press(HomePage::nextPageTag);
    waitForPage(2);
}

// The talk buttons' own colours stay on the buttons: their tooltip is drawn in the
// platform's tooltip colours, dark text on a light box, idle and while talking.
TEST_F(HomePagePaging, TalkButtonTooltipsAreDarkTextOnALightBox) {
    openRecorded();
    const QColor tooltipBox = QToolTip::palette().color(QPalette::ToolTipBase);
    auto check = [&](TTDoubleClickButton* button) {
        const TooltipLook look = tooltipOf(button);
        const std::string name = button->objectName().toStdString();
        EXPECT_EQ(look.text, QStringLiteral("双击开启通话")) << name;
        EXPECT_EQ(look.box, tooltipBox) << name;
        EXPECT_GE(look.box.lightness(), 200) << name;
        EXPECT_GT(look.darkerPixels, 20) << name << ": the text is drawn dark";
        EXPECT_LT(look.darkestText, 80) << name;
        EXPECT_EQ(look.lighterPixels, 0) << name << ": no light text on the box";
    };
    for (TTDoubleClickButton* button : {page_->smallSpeakerBtn(), page_->bigSpeakerBtn(),
                                        page_->floatingBtn(), page_->speakingStatusBtn()}) {
        check(button);
    }
    // The buttons keep their own text colours.
    for (TTDoubleClickButton* button : {page_->smallSpeakerBtn(), page_->bigSpeakerBtn()}) {
        EXPECT_EQ(button->palette().color(QPalette::ButtonText), QColor(Qt::white));
    }
    EXPECT_EQ(page_->speakingStatusBtn()->palette().color(QPalette::ButtonText),
              QColor(0xaa, 0xaa, 0xaa));

    doubleClick(page_->smallSpeakerBtn());
    ASSERT_TRUE(waitUntil([&] { return page_->speakingStatusBtn()->text() == "小广播"; }));
    page_->speakingStatusBtn()->ensurePolished();
    EXPECT_EQ(page_->speakingStatusBtn()->palette().color(QPalette::ButtonText), QColor(Qt::white));
    check(page_->speakingStatusBtn());
}

TEST_F(HomePagePaging, OverlaysOpenOverThePageWithWhatTheyNeed) {
    openRecorded();
    press(HomePage::groupsTag);
    press(HomePage::groupsTag);
    const auto groups = page_->findChildren<GroupsPage*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(groups.size(), 2) << "each press adds one more";
    for (GroupsPage* overlay : groups) {
        std::vector<std::int64_t> ids;
        for (const Group& group : overlay->list()) {
            ids.push_back(group.id);
        }
        EXPECT_EQ(ids, kFirstPageGroups);
        EXPECT_EQ(overlay->geometry(), page_->rect());
    }
    press(HomePage::settingsTag);
    const auto settings = page_->findChildren<SettingPage*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(settings.size(), 1);
    doubleClick(page_->bigSpeakerBtn());
    ASSERT_TRUE(page_->console()->recorder());
    // The switches reach the running talk.
    ASSERT_TRUE(settings[0]->sidetoneBtn()->isChecked()) << "the sidetone is blocked by default";
    settings[0]->sidetoneBtn()->click();
    EXPECT_TRUE(page_->console()->recorder()->hasSidetone()) << "sidetone on while talking";
    settings[0]->sidetoneBtn()->click();
    EXPECT_FALSE(page_->console()->recorder()->hasSidetone());
    ASSERT_FALSE(Beep::shared().player());
    settings[0]->speakBeepBtn()->click();
    EXPECT_TRUE(Beep::shared().player()) << "the talk's tone starts once switched on";
    settings[0]->speakBeepBtn()->click();
    EXPECT_FALSE(Beep::shared().player());
    press(HomePage::chatListTag);
    EXPECT_EQ(page_->findChildren<ChatListPage*>(Qt::FindDirectChildrenOnly).size(), 1);
}

}  // namespace
}  // namespace intercom::test
