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
#include "ui/pages/ChatListPage.h"

namespace intercom {
namespace {

using test::waitUntil;

class ChatListPageTest : public test::OverlayTest {
  protected:
    // Opens the page as the home page does: loaded, added over the view, edges pinned.
    void open() {
        host_.resize(1047, 560);
        auto loaded = loadFromNib<ChatListPage>();
        ASSERT_NE(loaded, nullptr);
        page_ = loaded.release();
        page_->setParent(&host_);
        pinEdgesToSuperview(page_);
        host_.show();
    }

    std::unique_ptr<test::SignallingClient> online(std::int64_t userId) {
        auto client = std::make_unique<test::SignallingClient>(server_->signallingPort());
        EXPECT_EQ(client->bind(userId, 1), 1);
        return client;
    }

    TTCollectionItem* row(int index) const {
        return static_cast<TTCollectionItem*>(page_->collectionView()->itemAt(index));
    }

    // What the rows show: name and button title, in order.
    QStringList rows() const {
        QStringList shown;
        for (int i = 0; i < page_->collectionView()->numberOfItems(); ++i) {
            shown << row(i)->titleLabel()->text() + QLatin1Char('/') +
                         row(i)->checkButton()->text();
        }
        return shown;
    }

    QWidget host_;
    QPointer<ChatListPage> page_;
};

TEST_F(ChatListPageTest, TheListFollowsTheServerAndThePresenceNotifications) {
    const auto lina = online(2);
    open();
    const QStringList first{QStringLiteral("李娜/谈话"), QStringLiteral("王芳/呼叫"),
                            QStringLiteral("刘洋/呼叫"), QStringLiteral("陈静/呼叫")};
    ASSERT_TRUE(waitUntil([&] { return rows() == first; })) << rows().join(' ').toStdString();
    EXPECT_EQ(row(0)->subTitleLabel()->text(), QStringLiteral("(摄像)"));
    EXPECT_EQ(row(0)->size(), QSize((page_->collectionView()->boundsWidth() - 10) / 2, 90));

    // The server's list changed: fetched again, each user once, in the reply's order.
    const auto liuyang = online(4);
    postFromPool(kChatListChanged);
    const QStringList second{QStringLiteral("李娜/谈话"), QStringLiteral("王芳/呼叫"),
                             QStringLiteral("刘洋/谈话"), QStringLiteral("陈静/呼叫")};
    ASSERT_TRUE(waitUntil([&] { return rows() == second; })) << rows().join(' ').toStdString();
    postFromPool(kChatListChanged);
    settle(500);
    EXPECT_EQ(rows(), second);

    postFromPool(kUserOffline, std::int64_t{4});
    ASSERT_TRUE(waitUntil([&] { return row(2)->checkButton()->text() == QStringLiteral("呼叫"); }));
    EXPECT_EQ(page_->list()[2].onlineStatus, 0);
    EXPECT_EQ(page_->list()[0].onlineStatus, 1);
    EXPECT_EQ(row(0)->checkButton()->text(), QStringLiteral("谈话"));

    postFromPool(kUserOnline, std::int64_t{3});
    ASSERT_TRUE(waitUntil([&] { return row(1)->checkButton()->text() == QStringLiteral("谈话"); }));

    // An unknown id or an object that is no id reloads nothing: a row marked by hand stays.
    row(3)->titleLabel()->setText(QStringLiteral("marked"));
    postFromPool(kUserOnline, std::int64_t{99});
    postFromPool(kUserOffline, std::string("5"));
    settle();
    EXPECT_EQ(row(3)->titleLabel()->text(), QStringLiteral("marked"));
    EXPECT_EQ(page_->list()[3].onlineStatus, 0);
}

TEST_F(ChatListPageTest, AReplyWithoutUsersShowsItsMessageOnlyWhenItIsText) {
    UserInfo stranger;
    stranger.id = 999;
    stranger.sceneId = 1;
    ASSERT_TRUE(stranger.save());
    open();
    ASSERT_TRUE(waitUntil([&] { return noticesOver(page_) == QStringList{"用户不存在"}; }));
    EXPECT_EQ(page_->collectionView()->numberOfItems(), 0);

    FNHUD::hide();
    ASSERT_TRUE(waitUntil([&] { return FNHUD::hudViews().isEmpty(); }));
    page_->handleChatUserListResponse(api::JSONValue::parse(R"({"code":0,"msg":5})"));
    page_->handleChatUserListResponse(api::JSONValue::parse(R"({"code":0,"data":{"users":{}}})"));
    page_->handleChatUserListResponse(std::nullopt);
    EXPECT_TRUE(noticesOver(page_).isEmpty());

    // The code is not looked at when the users are there.
    page_->handleChatUserListResponse(api::JSONValue::parse(
        R"({"code":0,"msg":"x","data":{"users":[{"id":8,"name":"黄强","onlineStatus":1},7]}})"));
    EXPECT_EQ(rows(), QStringList{QStringLiteral("黄强/谈话")});
    EXPECT_TRUE(noticesOver(page_).isEmpty());
}

TEST_F(ChatListPageTest, ClosingThePageEndsItsObservers) {
    auto& center = NotificationCenter::defaultCenter();
    const std::size_t before = center.observerCount(kChatListChanged);
    open();
    ASSERT_TRUE(waitUntil([&] { return page_->collectionView()->numberOfItems() == 4; }));
    EXPECT_EQ(center.observerCount(kChatListChanged), before + 1);
    EXPECT_EQ(center.observerCount(kUserOnline), center.observerCount(kUserOffline));

    test::clickAt(&host_, QPoint(20, 540));  // the background keeps the click
    ASSERT_TRUE(page_);
    QTest::mouseClick(page_->findChild<QAbstractButton*>(QStringLiteral("backBtn")),
                      Qt::LeftButton);
    ASSERT_TRUE(waitUntilDeleted(page_));
    EXPECT_EQ(center.observerCount(kChatListChanged), before);
    postFromPool(kChatListChanged);
    postFromPool(kUserOnline, std::int64_t{2});
    settle();
}

}  // namespace
}  // namespace intercom
