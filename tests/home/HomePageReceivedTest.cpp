// Received messages, pushed to the client through the real server's /admin/push.
#include <httplib.h>
#include <QApplication>
#include <QImage>
#include <any>
#include <cstdlib>
#include <memory>
#include <random>

#include "../ui/UiTestSupport.h"
#include "HomePageFixture.h"
#include "SignallingClient.h"
#include "audio/AudioQueuePlayer.h"
#include "model/UserInfo.h"
#include "platform/KeyValueStore.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/MainQueue.h"
#include "support/Hex.h"
#include "ui/TTExtension.h"
#include "ui/controls/ListenChannelButton.h"

namespace intercom::test {
namespace {

// Hex digits as /admin/push takes them: no spaces.
std::string pushHex(const Bytes& bytes) {
    std::string digits = hex(bytes);
    std::erase(digits, ' ');
    return digits;
}

std::string hexOf(const std::string& text) {
    return pushHex(Bytes(text.begin(), text.end()));
}

class HomePageReceived : public HomePageFixture {
  protected:
    void SetUp() override {
        HomePageFixture::SetUp();
        for (const std::string& name :
             {kChannelListenersChanged, kUserOnline, kUserOffline, kChatListChanged}) {
            observations_.push_back(NotificationCenter::defaultCenter().addObserver(
                name, dispatch::mainQueue(),
                [this](const Notification& note) { notes_.push_back(note); }));
        }
        open(server_->signallingPort());
    }

    void push(Message type, const std::string& payloadHex) { pushToClient(1, type, payloadHex); }
    // Pushes a marker after the frames before it and waits for it: frames reach the page
    // in order, so everything before the marker has been handled.
    void settle() {
        const auto before = notes_.size();
        push(Message::userOffline, "7FFFFFFF");
        ASSERT_TRUE(waitUntil([&] {
            return notes_.size() > before && notes_.back().name == kUserOffline &&
                   std::any_cast<std::int64_t>(notes_.back().object) == 0x7FFFFFFF;
        }));
        notes_.pop_back();
        QApplication::processEvents();
    }
    QColor background() const { return page_->customView()->grab().toImage().pixelColor(4, 4); }
    // Waits for a listener list of `groupId` naming exactly `userIds`, in the server's order.
    bool listenersArrive(std::int64_t groupId, const std::vector<std::int64_t>& userIds) {
        return waitUntil([&] {
            return std::any_of(notes_.begin(), notes_.end(), [&](const Notification& note) {
                if (note.name != kChannelListenersChanged) {
                    return false;
                }
                const auto group = std::any_cast<Group>(note.object);
                std::vector<std::int64_t> ids;
                for (const UserInfo& user : group.listener) {
                    ids.push_back(user.id);
                }
                return group.id == groupId && ids == userIds;
            });
        });
    }

    std::vector<Observation> observations_;
    std::vector<Notification> notes_;
};

TEST_F(HomePageReceived, TallyPaintsTheBackground) {
    const QColor normal = background();
    EXPECT_NE(normal, QColor(Qt::red));
    const std::vector<std::pair<std::string, QColor>> steps = {
        {"00000001", Qt::red}, {"00000002", Qt::green}, {"00000000", normal}, {"00000001", Qt::red},
        {"00000003", normal},  {"00000002", Qt::green}, {"FFFFFFFF", normal}, {"000001", normal}};
    for (const auto& [payload, color] : steps) {
        push(Message::tally, payload);
        // The colour is set on the main queue before the marker's notice is delivered there.
        settle();
        EXPECT_EQ(background(), color) << payload << " gave " << background().name().toStdString();
    }
}

TEST_F(HomePageReceived, UserChangesAreStoredBeforeTheScreenFollows) {
    push(Message::userLevelChange, "00000002");
    settle();
    EXPECT_EQ(UserInfo::current().level, 2);
    EXPECT_FALSE(page_->bigSpeakerBtn()->isEnabled());
    push(Message::userLevelChange, "00000001");
    settle();
    EXPECT_EQ(UserInfo::current().level, 1);
    EXPECT_TRUE(page_->bigSpeakerBtn()->isEnabled());
    push(Message::userLevelChange, "");
    settle();
    EXPECT_EQ(UserInfo::current().level, -999);
    EXPECT_FALSE(page_->bigSpeakerBtn()->isEnabled());

    push(Message::userNameChange, hexOf("王大锤"));
    settle();
    EXPECT_EQ(UserInfo::current().name, "王大锤");
    EXPECT_EQ(page_->userNameLabel()->text(), "王大锤");
    push(Message::userNameChange, "E5BC");
    settle();
    EXPECT_EQ(UserInfo::current().name, "王大锤") << "a name that is not UTF-8 is ignored";
    push(Message::userNameChange, "");
    settle();
    EXPECT_EQ(UserInfo::current().name, "");
    EXPECT_EQ(page_->userNameLabel()->text(), "");

    push(Message::userEnableChange, "00000000");
    settle();
    EXPECT_EQ(UserInfo::current().enabled, 0);
    EXPECT_EQ(UserInfo::current().id, 1);
    EXPECT_EQ(UserInfo::current().sceneId, 1);
}

// A talk button that the user may not use stays on screen, dimmed: what it draws over the
// page's background alone keeps a part of what it draws enabled, not all of it.
TEST_F(HomePageReceived, BigBroadcastThatTheLevelForbidsIsDrawnDimmed) {
    TTDoubleClickButton* big = page_->bigSpeakerBtn();
    QWidget* content = page_->customView();
    const QRect place(big->mapTo(content, QPoint()), big->size());
    QImage background(place.size(), QImage::Format_RGB32);
    content->render(&background, QPoint(), QRegion(place), QWidget::DrawWindowBackground);
    const auto standingOut = [&] {
        const QImage drawn = content->grab(place).toImage().convertToFormat(QImage::Format_RGB32);
        std::int64_t sum = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                const QColor shown = drawn.pixelColor(x, y);
                const QColor behind = background.pixelColor(x, y);
                sum += std::abs(shown.red() - behind.red()) +
                       std::abs(shown.green() - behind.green()) +
                       std::abs(shown.blue() - behind.blue());
            }
        }
        return sum;
    };
    ASSERT_TRUE(big->isEnabled());
    const std::int64_t enabled = standingOut();
    ASSERT_GT(enabled, 0);

    push(Message::userLevelChange, "00000000");
    settle();
    ASSERT_FALSE(big->isEnabled());
    const double kept = static_cast<double>(standingOut()) / static_cast<double>(enabled);
    EXPECT_GT(kept, 0.2) << "the button is still shown";
    EXPECT_LT(kept, 0.7) << "the disabled button is dimmed";
}

TEST_F(HomePageReceived, ListenersPresenceAndChatListArePosted) {
    const std::string listeners = hexOf(R"([{"id":2,"name":"李娜"}])");
    push(Message::channelListenersChange, "00000065" + hexOf("[]"));
    for (const char* id : {"0000005B", "0000005D", "000000C9", "00011170"}) {
        push(Message::channelListenersChange, id + listeners);
    }
    push(Message::channelListenersChange, "000000");
    push(Message::channelListenersChange, "00000065" + hexOf("]["));
    push(Message::userOnline, "0000002A");
    push(Message::userOffline, "FFFFFFFE");
    push(Message::userOnline, "0102");
    push(Message::chatListChange, "");
    settle();

    std::vector<std::int64_t> groupIds;
    std::vector<std::size_t> listenerCounts;
    std::vector<std::pair<std::string, std::int64_t>> presence;
    int chatListChanges = 0;
    for (const Notification& note : notes_) {
        if (note.name == kChannelListenersChanged) {
            const auto group = std::any_cast<Group>(note.object);
            groupIds.push_back(group.id);
            listenerCounts.push_back(group.listener.size());
            if (!group.listener.empty()) {
                EXPECT_EQ(group.listener[0].name, "李娜");
            }
        } else if (note.name == kChatListChanged) {
            ++chatListChanges;
            EXPECT_FALSE(note.object.has_value());
        } else {
            presence.emplace_back(note.name, std::any_cast<std::int64_t>(note.object));
        }
    }
    EXPECT_EQ(groupIds, (std::vector<std::int64_t>{101, 91, 93, 201, 70000}));
    EXPECT_EQ(listenerCounts, (std::vector<std::size_t>{0, 1, 1, 1, 1}));
    const std::vector<std::pair<std::string, std::int64_t>> expected = {{kUserOnline, 42},
                                                                        {kUserOffline, -2}};
    EXPECT_EQ(presence, expected);
    EXPECT_EQ(chatListChanges, 1);
}

TEST_F(HomePageReceived, GroupChangeReloadsThePageOnScreenAndEndsTheTalk) {
    page_->setPageNum(3);
    waitForPage(3);
    const auto shown = page_->page();
    doubleClick(page_->smallSpeakerBtn());
    ASSERT_TRUE(page_->isSpeaking());

    push(Message::groupDel, "");
    ASSERT_TRUE(waitUntil([&] { return page_->page() != shown; }));
    EXPECT_EQ(page_->page()->pageNum, 3);
    EXPECT_EQ(page_->pageNum(), 3);
    EXPECT_FALSE(page_->isSpeaking());
    EXPECT_FALSE(page_->console()->recorder());
    EXPECT_EQ(page_->audioMessage(), Message::audioChannels);
}

// A restarted server knows neither the client's listen channels nor its page. Once the client
// is bound again, the listener lists of the groups on its screen reach it as before: its own
// listen channel, announced again, and another user who starts and stops listening.
TEST_F(HomePageReceived, AfterAServerRestartListenerChangesReachThePageAgain) {
    click(button<ListenChannelButton>(page_->listenPanel(), 0));
    ASSERT_TRUE(listenersArrive(101, {1}));

    restartServer();
    notes_.clear();
    ASSERT_TRUE(listenersArrive(101, {1})) << "the client's own listen channel, announced again";
    SignallingClient other(server_->signallingPort());
    ASSERT_EQ(other.bind(2, 1), 1);
    ASSERT_EQ(other.request(Message::channelListenerTap,
                            listenerFrame(Message::channelListenerTap, 2, 1, 101, true)),
              1);
    EXPECT_TRUE(listenersArrive(101, {1, 2}));
    notes_.clear();
    ASSERT_EQ(other.request(Message::channelListenerTap,
                            listenerFrame(Message::channelListenerTap, 2, 1, 101, false)),
              1);
    EXPECT_TRUE(listenersArrive(101, {1}));
}

TEST_F(HomePageReceived, BurstOfRandomFramesLeavesTheClientWhole) {
    std::mt19937 random(20261208);
    std::vector<Message> types;
    for (Message type : kAllMessages) {
        if (type != Message::userDel && type != Message::unknown) {
            types.push_back(type);
        }
    }
    // Held weakly: the player of the connection that the burst must leave standing. A loss
    // drops it, and every connect makes a new one.
    const std::weak_ptr<AudioQueuePlayer> player = page_->console()->player();
    ASSERT_FALSE(player.expired());
    httplib::Client client("127.0.0.1", server_->httpPort());
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    for (int i = 0; i < 10000; ++i) {
        Bytes payload(random() % 80);
        for (auto& byte : payload) {
            byte = static_cast<std::uint8_t>(random());
        }
        const Message type = types[random() % types.size()];
        client.Post("/admin/push", httplib::Params{{"uid", "1"},
                                                   {"type", std::to_string(rawValue(type))},
                                                   {"payload", pushHex(payload)}});
        if (i % 500 == 0) {
            QApplication::processEvents();
        }
    }
    settle();
    EXPECT_TRUE(socket_->isConnected());
    EXPECT_EQ(page_->console()->player().get(), player.lock().get()) << "the connection was lost";
    const auto stored = KeyValueStore::standard().get("UserInfo");
    ASSERT_TRUE(stored);
    const auto record = nlohmann::json::parse(stored->begin(), stored->end(), nullptr, false);
    const auto user = UserInfo::fromStoredJSON(record);
    ASSERT_TRUE(user) << "the stored user record is whole";
    EXPECT_EQ(user->id, 1);
    ASSERT_TRUE(page_->page());
    EXPECT_FALSE(page_->page()->groups.empty());
}

}  // namespace
}  // namespace intercom::test
