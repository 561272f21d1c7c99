#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include "OverlayTestSupport.h"
#include "SignallingClient.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/pages/GroupsPage.h"

namespace intercom {
namespace {

using test::waitUntil;

Group group(std::int64_t id, const char* name, const char* remark = "") {
    Group group;
    group.id = id;
    group.sceneId = "1";
    group.name = name;
    group.remark = remark;
    return group;
}

Group listenersChange(std::int64_t id, std::vector<const char*> names) {
    Group changed;
    changed.id = id;
    for (const char* name : names) {
        UserInfo user;
        user.name = name;
        changed.listener.push_back(user);
    }
    return changed;
}

class GroupsPageTest : public test::OverlayTest {
  protected:
    void SetUp() override {
        OverlayTest::SetUp();
        host_.resize(1047, 560);
        auto loaded = loadFromNib<GroupsPage>();
        ASSERT_NE(loaded, nullptr);
        page_ = loaded.release();
        page_->setList({group(101, "导演组", "全体总控"), group(104, "灯光组", "含追光")});
        page_->setParent(&host_);
        pinEdgesToSuperview(page_);
        host_.show();
        ASSERT_TRUE(waitUntil([&] { return page_->collectionView()->numberOfItems() == 2; }));
    }

    // A user of the demo scene that listens to a group, over a signalling connection.
    std::unique_ptr<test::SignallingClient> listener(std::int64_t userId, std::int64_t groupId) {
        auto client = std::make_unique<test::SignallingClient>(server_->signallingPort());
        EXPECT_EQ(client->bind(userId, 1), 1);
        client->request(Message::channelListenerTap,
                        test::listenerFrame(Message::channelListenerTap, userId, 1, groupId, true));
        return client;
    }

    void pick(int row) {
        auto* item = static_cast<TTCollectionItem*>(page_->collectionView()->itemAt(row));
        QTest::mouseClick(item->checkButton(), Qt::LeftButton);
    }

    QStringList names() const {
        QStringList shown;
        CollectionGrid* grid = page_->alert()->collectionView();
        for (int i = 0; i < grid->numberOfItems(); ++i) {
            shown << static_cast<GroupUsersAlert::Item*>(grid->itemAt(i))->nameLabel()->text();
        }
        return shown;
    }

    bool alertOpen() const { return page_->alert()->parentWidget() == page_->customView(); }

    QWidget host_;
    QPointer<GroupsPage> page_;
};

TEST_F(GroupsPageTest, APickShowsTheTitleAtOnceThenTheListenersAndFollowsTheirChanges) {
    EXPECT_EQ(
        static_cast<TTCollectionItem*>(page_->collectionView()->itemAt(1))->subTitleLabel()->text(),
        QStringLiteral("(含追光)"));
    const auto lina = listener(2, 101);
    const auto wangfang = listener(3, 104);
    // The grid shows the list it was first shown with until it reloads.
    page_->setList({});
    QApplication::processEvents();
    EXPECT_EQ(page_->collectionView()->numberOfItems(), 2);
    page_->setList({group(101, "导演组", "全体总控"), group(104, "灯光组", "含追光")});

    postFromPool(kChannelListenersChanged, listenersChange(101, {"无人"}));
    settle();
    EXPECT_FALSE(page_->group().has_value());

    pick(0);
    ASSERT_TRUE(alertOpen());
    EXPECT_EQ(page_->alert()->titleLabel()->text(), QStringLiteral("导演组:"));
    EXPECT_EQ(page_->alert()->geometry(), page_->customView()->rect());
    ASSERT_TRUE(waitUntil([&] { return names() == QStringList{QStringLiteral("李娜")}; }));

    postFromPool(kChannelListenersChanged, listenersChange(101, {"王芳", "刘洋"}));
    ASSERT_TRUE(waitUntil([&] { return names().size() == 2; }));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("王芳"), QStringLiteral("刘洋")}));
    postFromPool(kChannelListenersChanged, listenersChange(104, {"陈静"}));
    postFromPool(kChannelListenersChanged, std::string("not a group"));
    settle();
    EXPECT_EQ(names().size(), 2);

    // A click on the alert closes it and leaves the page.
    test::clickAt(&host_, QPoint(20, 540));
    ASSERT_FALSE(alertOpen());
    EXPECT_TRUE(page_->isVisible());
    postFromPool(kChannelListenersChanged, listenersChange(101, {}));
    settle();
    EXPECT_EQ(names().size(), 2);

    // The next pick shows the last names under its own title until its reply.
    pick(1);
    EXPECT_EQ(page_->alert()->titleLabel()->text(), QStringLiteral("灯光组:"));
    EXPECT_EQ(names().size(), 2);
    ASSERT_TRUE(waitUntil([&] { return names() == QStringList{QStringLiteral("王芳")}; }));

    postFromPool(kChannelListenersChanged, listenersChange(104, {}));
    ASSERT_TRUE(waitUntil([&] { return names().isEmpty(); }));
}

TEST_F(GroupsPageTest, AFailedRequestLeavesTheNamesAndTheBackButtonEndsThePageAndItsObserver) {
    const std::size_t before =
        NotificationCenter::defaultCenter().observerCount(kChannelListenersChanged);
    const auto lina = listener(2, 104);
    pick(1);
    ASSERT_TRUE(waitUntil([&] { return names() == QStringList{QStringLiteral("李娜")}; }));
    test::clickAt(&host_, QPoint(20, 540));

    stopServer();
    pick(0);
    EXPECT_EQ(page_->alert()->titleLabel()->text(), QStringLiteral("导演组:"));
    settle(1000);
    EXPECT_EQ(names(), QStringList{QStringLiteral("李娜")});

    // A click on the page's background stays on the page.
    test::clickAt(&host_, QPoint(20, 540));
    test::clickAt(&host_, QPoint(20, 540));
    EXPECT_TRUE(page_);

    QTest::mouseClick(page_->findChild<QAbstractButton*>(QStringLiteral("backBtn")),
                      Qt::LeftButton);
    ASSERT_TRUE(waitUntilDeleted(page_));
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(kChannelListenersChanged),
              before - 1);
    EXPECT_TRUE(host_.children().isEmpty());
}

}  // namespace
}  // namespace intercom
