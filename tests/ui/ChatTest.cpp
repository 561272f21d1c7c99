#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "RecordingPeer.h"
#include "ServerChild.h"
#include "SignallingClient.h"
#include "UiTestSupport.h"
#include "app/AppDelegate.h"
#include "app/EventLoopQueue.h"
#include "audio/Beep.h"
#include "model/Setting.h"
#include "model/UserInfo.h"
#include "net/signalling/ByteOrder.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "support/Hex.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/TTCustomAlert.h"
#include "ui/pages/Chat.h"

namespace intercom {
namespace {

using test::bytesFromHex;
using test::callFrame;
using test::leadingInt;
using test::SignallingClient;
using test::textAfter;
using test::waitUntil;
using namespace std::chrono_literals;

Bytes utf8(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

bool isCallType(Message type) {
    const auto code = static_cast<int>(type);
    return code >= 10 && code <= 18;
}

bool ringing() {
    const auto player = Beep::shared().player();
    return player && std::filesystem::path(player->path()).filename() == "call_bee.wav" &&
           player->isPlaying();
}

// What the call dialog over `content` shows as "title|content|buttons"; empty when none.
std::string dialogOf(const Chat& chat, const QWidget* content) {
    const TTCustomAlert* alert = chat.alert();
    if (alert->parentWidget() != content || !alert->isVisible()) {
        return {};
    }
    QStringList parts{alert->titleLabel()->text(), alert->contentLabel()->text()};
    if (alert->singleBtn()->isVisibleTo(alert)) {
        parts << alert->singleBtn()->text();
    } else {
        parts << alert->cancelBtn()->text() << alert->confirmBtn()->text();
    }
    return parts.join(QLatin1Char('|')).toStdString();
}

// The text of the newest notice on `content`; empty when none is shown there.
std::string noticeOn(const QWidget* content) {
    const auto views = FNHUD::hudViews();
    if (views.isEmpty() || views.last()->parentWidget() != content) {
        return {};
    }
    return views.last()->findChild<QLabel*>()->text().toStdString();
}

void press(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// What the home page does with a received frame: call types go to the controller on the
// main queue. Work that arrives after the test has let go of its handler is dropped.
class ForwardingDelegate : public TCPSocketDelegate {
  public:
    using Handler = std::function<void(Message, const Bytes&)>;
    explicit ForwardingDelegate(std::weak_ptr<Handler> handler) : handler_(std::move(handler)) {}

    void tcpSocketDidConnect(TCPSocket& /*socket*/) override {}
    void tcpSocketDidReceive(Message message, const Bytes& data) override {
        dispatch::mainQueue().async([handler = handler_, message, data] {
            if (const auto live = handler.lock()) {
                (*live)(message, data);
            }
        });
    }
    void tcpSocketDidDisconnect() override {}

  private:
    std::weak_ptr<Handler> handler_;
};

// The signed-in user is 1 张伟 of scene 1, with the ring on; the main window is up, and
// the main queue is the event loop.
class ChatTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Nobody listens to the ring.
        ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
        UserInfo me;
        me.id = 1;
        me.sceneId = 1;
        me.name = "张伟";
        ASSERT_TRUE(me.save());
        Setting setting;
        setting.isCallingRing = true;
        ASSERT_TRUE(setting.save());
        dispatch::setMainQueue(std::make_shared<EventLoopQueue>());
        app_.applicationDidFinishLaunching();
        content_ = app_.window()->centralWidget();
    }

    void TearDown() override {
        Beep::shared().dropPlayer();
        FNHUD::hide();
        dispatch::setMainQueue(nullptr);
        // The environment and the settings are put back for every test; the user is ours.
        UserInfo::clear();
    }

    // The payload of a call frame from the signed-in user to `otherId`.
    static Bytes fromMe(std::int64_t otherId, std::string_view name = {}) {
        Bytes payload = bytesFromHex("00 00 00 01 00 00 00 01");
        const auto other = *int32Data(otherId);
        payload.insert(payload.end(), other.begin(), other.end());
        return concat(payload, utf8(name));
    }

    AppDelegate app_;
    QWidget* content_ = nullptr;
    int agreed_ = 0;
    int ended_ = 0;
};

TEST_F(ChatTest, EveryCallTypeShowsItsDialogAndAnswersWhomItBelongsTo) {
    test::RecordingPeer peer;
    TCPSocket socket("127.0.0.1", peer.port());
    socket.connect(
        std::make_shared<ForwardingDelegate>(std::weak_ptr<ForwardingDelegate::Handler>{}));
    ASSERT_TRUE(peer.waitUntil([](const auto& frames) { return !frames.empty(); }, 20s));
    Chat chat(socket);
    const auto handle = [&](Message type, const Bytes& data) {
        chat.handleCallMessage(
            type, data, [this] { ++agreed_; }, [this] { ++ended_; });
    };
    // The call frames the client wrote since the last look: a page frame of our own marks
    // where to stop, since frames leave in the order they were written.
    std::size_t looked = 0;
    const auto callsSent = [&] {
        socket.sendTurnPage(Page{});
        const auto marked = [&](const std::vector<test::RecordingPeer::Received>& frames) {
            return std::any_of(frames.begin() + static_cast<std::ptrdiff_t>(looked), frames.end(),
                               [](const auto& r) { return r.frame.type == Message::turnPage; });
        };
        EXPECT_TRUE(peer.waitUntil(marked, 20s)) << "the client's marker frame never came";
        std::vector<Frame> calls;
        const auto frames = peer.frames();
        while (looked < frames.size() && frames[looked].frame.type != Message::turnPage) {
            if (isCallType(frames[looked].frame.type)) {
                calls.push_back(frames[looked].frame);
            }
            ++looked;
        }
        looked = std::min(looked + 1, frames.size());
        return calls;
    };
    using Frames = std::vector<Frame>;

    // A request: the caller becomes `other`, the dialog asks, the ring starts.
    handle(Message::callOnline, concat(bytesFromHex("00 00 00 07"), utf8("李娜")));
    EXPECT_EQ(dialogOf(chat, content_), "提示|李娜正在呼叫您......|取消|确定");
    EXPECT_EQ(chat.alert()->geometry(), content_->rect());
    EXPECT_TRUE(ringing());
    UserInfo caller;
    caller.id = 7;
    caller.name = "李娜";
    EXPECT_EQ(chat.other(), caller);

    // A second request replaces the dialog in place; "确定" answers that request's caller
    // even after the user list has named someone else.
    handle(Message::callOnline, concat(bytesFromHex("00 00 00 09"), utf8("王芳")));
    EXPECT_EQ(dialogOf(chat, content_), "提示|王芳正在呼叫您......|取消|确定");
    EXPECT_EQ(content_->findChildren<TTCustomAlert*>().size(), 1);
    UserInfo listed;
    listed.id = 30;
    listed.name = "刘洋";
    chat.setOther(listed);
    press(chat.alert()->confirmBtn());
    EXPECT_EQ(dialogOf(chat, content_), "");
    EXPECT_TRUE(ringing()) << "the ring waits for the server's answer";
    EXPECT_EQ(callsSent(), (Frames{{Message::callAgree, fromMe(9, "张伟")}}));

    // A request of exactly the id has an empty name; "取消" refuses that caller, nameless.
    handle(Message::callOnline, bytesFromHex("00 00 00 05"));
    EXPECT_EQ(dialogOf(chat, content_), "提示|正在呼叫您......|取消|确定");
    press(chat.alert()->cancelBtn());
    EXPECT_EQ(callsSent(), (Frames{{Message::callRefuse, fromMe(5)}}));
    handle(Message::callRefuse, {});
    EXPECT_FALSE(ringing());

    // Requests cut short or with a name that is not UTF-8 change nothing.
    for (const char* broken : {"00 00 07", "00 00 00 08 FF FE", "00 00 00 08 E5 BC",
                               "00 00 00 08 ED A0 80", "00 00 00 08 C0 AF"}) {
        handle(Message::callOnline, bytesFromHex(broken));
        EXPECT_EQ(dialogOf(chat, content_), "") << broken;
        EXPECT_FALSE(ringing()) << broken;
        EXPECT_EQ(chat.other()->id, 5) << broken;
    }

    // The news-only dialogs answer nothing.
    handle(Message::callOffline, {});
    EXPECT_EQ(dialogOf(chat, content_), "提示|您离线期间被呼叫了!|知道了");
    press(chat.alert()->singleBtn());
    handle(Message::callInChating, {});
    EXPECT_EQ(dialogOf(chat, content_), "提示|呼叫对象正在和别人私聊|知道了");
    press(chat.alert()->singleBtn());
    EXPECT_EQ(dialogOf(chat, content_), "");
    handle(Message::callOfflineResp, {});
    EXPECT_EQ(noticeOn(content_), "您的通话申请已发送");
    EXPECT_EQ(dialogOf(chat, content_), "");
    EXPECT_EQ(callsSent(), Frames{});

    // The caller's side: "挂断" withdraws from whoever `other` is at the press.
    UserInfo li;
    li.id = 2;
    li.name = "李娜";
    li.onlineStatus = 1;
    chat.setOther(li);
    handle(Message::callOnlineResp, {});
    EXPECT_EQ(dialogOf(chat, content_), "提示|您的通话申请已发送，请等待对方处理|挂断");
    press(chat.alert()->singleBtn());
    EXPECT_EQ(callsSent(), (Frames{{Message::callRefuse, fromMe(2)}}));

    // An agreed call starts the talk, ends the ring and offers "结束" to `other`.
    handle(Message::callOnline, concat(bytesFromHex("00 00 00 02"), utf8("李娜")));
    ASSERT_TRUE(ringing());
    handle(Message::callAgree, bytesFromHex("00 00 00 02"));
    EXPECT_EQ(agreed_, 1);
    EXPECT_FALSE(ringing());
    EXPECT_EQ(dialogOf(chat, content_), "通话中......|正在和李娜通话|结束");
    press(chat.alert()->singleBtn());
    EXPECT_EQ(callsSent(), (Frames{{Message::callHangup, fromMe(2)}}));
    EXPECT_EQ(ended_, 0) << "the talk goes on until the server's hang-up";
    handle(Message::callHangup, {});
    EXPECT_EQ(ended_, 1);

    // Hung up by the other side while the dialog shows; then the partner goes offline
    // while a new call rings.
    handle(Message::callAgree, {});
    handle(Message::callHangup, {});
    EXPECT_EQ(ended_, 2);
    EXPECT_EQ(dialogOf(chat, content_), "");
    handle(Message::callOnline, concat(bytesFromHex("00 00 00 02"), utf8("李娜")));
    handle(Message::callBeingOffline, bytesFromHex("00 00 00 02"));
    EXPECT_EQ(noticeOn(content_), "对方已下线");
    EXPECT_EQ(dialogOf(chat, content_), "");
    EXPECT_EQ(ended_, 3);
    EXPECT_FALSE(ringing());

    // Types that are not calls do nothing.
    handle(Message::audioData, bytesFromHex("00 00 00 02"));
    handle(Message::unknown, {});
    EXPECT_EQ(dialogOf(chat, content_), "");
    EXPECT_EQ(agreed_, 2);

    // With nobody in `other`, "挂断" sends nothing and an agreement shows no dialog.
    Chat fresh(socket);
    fresh.handleCallMessage(Message::callOnlineResp, {}, {}, {});
    EXPECT_EQ(dialogOf(fresh, content_), "提示|您的通话申请已发送，请等待对方处理|挂断");
    press(fresh.alert()->singleBtn());
    fresh.handleCallMessage(Message::callAgree, {}, [this] { ++agreed_; }, {});
    EXPECT_EQ(agreed_, 3);
    EXPECT_EQ(dialogOf(fresh, content_), "");
    EXPECT_EQ(callsSent(), Frames{});

    // A window without content shows nothing, yet the ring and the end of the talk follow.
    const std::unique_ptr<QWidget> taken(app_.window()->takeCentralWidget());
    handle(Message::callOnline, concat(bytesFromHex("00 00 00 02"), utf8("李娜")));
    EXPECT_EQ(chat.alert()->parentWidget(), nullptr);
    EXPECT_TRUE(ringing());
    handle(Message::callBeingOffline, {});
    EXPECT_EQ(ended_, 4);
    EXPECT_FALSE(ringing());
}

// The client, signed in as 1 张伟, against the real server, with 2 李娜 on a raw second
// connection. The handler stands in for the home page: it hands the call types to the
// controller and counts the private talk starting and ending.
class ServerChatTest : public ChatTest {
  protected:
    void SetUp() override {
        ChatTest::SetUp();
        std::string error;
        server_ =
            test::ServerChild::start(INTERCOM_SERVER_PATH, {"--data", INTERCOM_DEMO_DATA}, error);
        ASSERT_TRUE(server_) << error;
        li_ = peer(2);
    }

    void TearDown() override {
        handler_.reset();
        chat_.reset();
        socket_.reset();
        ChatTest::TearDown();
    }

    std::unique_ptr<SignallingClient> peer(std::int64_t userId) {
        auto client = std::make_unique<SignallingClient>(server_->signallingPort());
        EXPECT_EQ(client->bind(userId, 1), 1) << "user " << userId;
        return client;
    }

    // The client connects and waits until the server has bound it.
    void connectClient() {
        socket_ = std::make_unique<TCPSocket>("127.0.0.1", server_->signallingPort());
        chat_ = std::make_unique<Chat>(*socket_);
        handler_ =
            std::make_shared<ForwardingDelegate::Handler>([this](Message type, const Bytes& data) {
                bound_ = bound_ || type == Message::sceneBind;
                if (isCallType(type)) {
                    chat_->handleCallMessage(
                        type, data, [this] { ++agreed_; }, [this] { ++ended_; });
                }
            });
        socket_->connect(std::make_shared<ForwardingDelegate>(handler_));
        ASSERT_TRUE(waitUntil([&] { return bound_; }));
    }

    bool showsDialog(const std::string& dialog) {
        return waitUntil([&] { return dialogOf(*chat_, content_) == dialog; });
    }
    bool showsNotice(const std::string& notice) {
        return waitUntil([&] { return noticeOn(content_) == notice; });
    }

    // The frame of `type` that `party` gets next, checked to come from the client.
    static void expectFromClient(SignallingClient& party, Message type,
                                 const std::string& name = {}) {
        const auto frame = party.nextOf(type);
        ASSERT_TRUE(frame) << "no " << static_cast<int>(type);
        EXPECT_EQ(leadingInt(frame->payload), 1);
        EXPECT_EQ(textAfter(frame->payload, 4), name);
    }

    // 李娜 answers the call; the server tells her too, and that is read here.
    void liAnswers(Message type, const std::string& name = {}) {
        li_->send(callFrame(type, 2, 1, 1, name));
        const auto echo = li_->nextOf(type);
        ASSERT_TRUE(echo);
        EXPECT_EQ(leadingInt(echo->payload), 2);
    }

    // What the user list does for a user who is online.
    void call(const std::unique_ptr<SignallingClient>& callee, std::int64_t calleeId) {
        UserInfo user;
        user.id = calleeId;
        user.name = "李娜";
        user.onlineStatus = 1;
        chat_->setOther(user);
        socket_->sendCallMessage(Message::callOnline, calleeId);
        if (callee) {
            expectFromClient(*callee, Message::callOnline, "张伟");
        }
    }

    std::unique_ptr<test::ServerChild> server_;
    std::unique_ptr<SignallingClient> li_;
    std::unique_ptr<TCPSocket> socket_;
    std::unique_ptr<Chat> chat_;
    std::shared_ptr<ForwardingDelegate::Handler> handler_;
    bool bound_ = false;
};

TEST_F(ServerChatTest, AsCalleeTheClientRingsAnswersAndSeesTheCallEnd) {
    // Called while offline: told once connected.
    li_->send(callFrame(Message::callOffline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(li_->nextOf(Message::callOfflineResp));
    connectClient();
    ASSERT_TRUE(showsDialog("提示|您离线期间被呼叫了!|知道了"));
    press(chat_->alert()->singleBtn());

    // Refused by the client.
    li_->send(callFrame(Message::callOnline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(showsDialog("提示|李娜正在呼叫您......|取消|确定"));
    EXPECT_TRUE(ringing());
    press(chat_->alert()->cancelBtn());
    expectFromClient(*li_, Message::callRefuse);
    EXPECT_TRUE(waitUntil([] { return !ringing(); }));
    EXPECT_EQ(dialogOf(*chat_, content_), "");

    // Accepted, then hung up by the caller.
    li_->send(callFrame(Message::callOnline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(showsDialog("提示|李娜正在呼叫您......|取消|确定"));
    press(chat_->alert()->confirmBtn());
    expectFromClient(*li_, Message::callAgree, "张伟");
    ASSERT_TRUE(showsDialog("通话中......|正在和李娜通话|结束"));
    EXPECT_EQ(agreed_, 1);
    EXPECT_FALSE(ringing());
    liAnswers(Message::callHangup);
    EXPECT_TRUE(waitUntil([&] { return ended_ == 1; }));
    EXPECT_EQ(dialogOf(*chat_, content_), "");

    // Accepted, then hung up by the client.
    li_->send(callFrame(Message::callOnline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(showsDialog("提示|李娜正在呼叫您......|取消|确定"));
    press(chat_->alert()->confirmBtn());
    ASSERT_TRUE(showsDialog("通话中......|正在和李娜通话|结束"));
    press(chat_->alert()->singleBtn());
    expectFromClient(*li_, Message::callHangup);
    EXPECT_TRUE(waitUntil([&] { return ended_ == 2; }));

    // Withdrawn by the caller while it rings.
    li_->send(callFrame(Message::callOnline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(showsDialog("提示|李娜正在呼叫您......|取消|确定"));
    liAnswers(Message::callRefuse);
    EXPECT_TRUE(waitUntil([&] { return !ringing() && dialogOf(*chat_, content_).empty(); }));

    // The caller drops out of an agreed call.
    li_->send(callFrame(Message::callOnline, 2, 1, 1, "李娜"));
    ASSERT_TRUE(showsDialog("提示|李娜正在呼叫您......|取消|确定"));
    press(chat_->alert()->confirmBtn());
    ASSERT_TRUE(showsDialog("通话中......|正在和李娜通话|结束"));
    li_->close();
    EXPECT_TRUE(showsNotice("对方已下线"));
    EXPECT_TRUE(waitUntil([&] { return ended_ == 3; }));
    EXPECT_EQ(dialogOf(*chat_, content_), "");
    EXPECT_EQ(agreed_, 3);
}

TEST_F(ServerChatTest, AsCallerTheClientWaitsAndHearsEveryAnswer) {
    connectClient();
    const std::string waiting = "提示|您的通话申请已发送，请等待对方处理|挂断";

    // Refused by the callee.
    call(li_, 2);
    ASSERT_TRUE(showsDialog(waiting));
    EXPECT_FALSE(ringing()) << "only the callee rings";
    liAnswers(Message::callRefuse);
    EXPECT_TRUE(waitUntil([&] { return dialogOf(*chat_, content_).empty(); }));

    // Withdrawn by the client.
    call(li_, 2);
    ASSERT_TRUE(showsDialog(waiting));
    press(chat_->alert()->singleBtn());
    expectFromClient(*li_, Message::callRefuse);

    // Accepted, then ended by the client.
    call(li_, 2);
    ASSERT_TRUE(showsDialog(waiting));
    liAnswers(Message::callAgree, "李娜");
    ASSERT_TRUE(showsDialog("通话中......|正在和李娜通话|结束"));
    EXPECT_EQ(agreed_, 1);
    press(chat_->alert()->singleBtn());
    expectFromClient(*li_, Message::callHangup);
    EXPECT_TRUE(waitUntil([&] { return ended_ == 1; }));

    // Busy: 王芳's call rings at 李娜.
    auto wang = peer(3);
    wang->send(callFrame(Message::callOnline, 3, 1, 2, "王芳"));
    ASSERT_TRUE(wang->nextOf(Message::callOnlineResp));
    call(nullptr, 2);
    ASSERT_TRUE(showsDialog("提示|呼叫对象正在和别人私聊|知道了"));
    press(chat_->alert()->singleBtn());
    wang->send(callFrame(Message::callRefuse, 3, 1, 2));
    ASSERT_TRUE(li_->nextOf(Message::callRefuse));

    // Offline: 刘洋 hears of the call when he connects.
    socket_->sendCallMessage(Message::callOffline, 4);
    EXPECT_TRUE(showsNotice("您的通话申请已发送"));
    auto liu = peer(4);
    expectFromClient(*liu, Message::callOffline, "张伟");

    // The callee drops out of an agreed call.
    call(li_, 2);
    liAnswers(Message::callAgree, "李娜");
    ASSERT_TRUE(showsDialog("通话中......|正在和李娜通话|结束"));
    li_->close();
    EXPECT_TRUE(showsNotice("对方已下线"));
    EXPECT_TRUE(waitUntil([&] { return ended_ == 2; }));
    EXPECT_EQ(dialogOf(*chat_, content_), "");
}

}  // namespace
}  // namespace intercom
