#include "HomePageFixture.h"

#include <httplib.h>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "../ui/UiTestSupport.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/signalling/ByteOrder.h"
#include "platform/KeyValueStore.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/ScreenLock.h"

namespace intercom::test {

namespace {

const char* const kTestData = R"({
  "scenes": [{"id": 1, "name": "一号演播厅", "companyId": "C001", "companyName": "星河传媒"}],
  "users": [
    {"id": 1, "name": "张伟", "code": "123456", "level": 1, "sceneId": 1},
    {"id": 2, "name": "李娜", "code": "123456", "level": 0, "sceneId": 1},
    {"id": 3, "name": "王芳", "code": "123456", "level": 0, "sceneId": 1}
  ],
  "groups": [
    {"id": 101, "sceneId": 1, "name": "导演组"},
    {"id": 102, "sceneId": 1, "name": "摄像组"},
    {"id": 103, "sceneId": 1, "name": "灯光组"},
    {"id": 104, "sceneId": 1, "name": "音响组"},
    {"id": 91, "sceneId": 1, "name": "九十一"},
    {"id": 93, "sceneId": 1, "name": "九十三"},
    {"id": 201, "sceneId": 1, "name": "二零一"},
    {"id": 70000, "sceneId": 1, "name": "七万"}
  ],
  "pages": [
    {"id": "P1", "sceneId": 1, "name": "主控", "groups": [101, 102, 103]},
    {"id": "P2", "sceneId": 1, "name": "空页", "groups": []},
    {"id": "P3", "sceneId": 1, "name": "音响", "groups": [104]},
    {"id": "P4", "sceneId": 1, "name": "编号", "groups": [91, 93, 201, 70000]}
  ],
  "permissions": [
    {"userId": 1, "groupId": 101, "speak": true, "listen": true},
    {"userId": 1, "groupId": 102, "speak": true, "listen": true},
    {"userId": 1, "groupId": 103, "speak": true, "listen": true},
    {"userId": 1, "groupId": 104, "speak": true, "listen": true},
    {"userId": 2, "groupId": 101, "speak": true, "listen": true},
    {"userId": 2, "groupId": 102, "speak": true, "listen": true},
    {"userId": 2, "groupId": 103, "speak": true, "listen": true},
    {"userId": 3, "groupId": 101, "speak": true, "listen": true}
  ]
})";

}  // namespace

void HomePageFixture::SetUp() {
    dispatch::setMainQueue(queue_);
    std::ofstream(audioFolder_.path() / "data.json") << kTestData;
    restartServer();
    ASSERT_TRUE(server_);
    ::setenv("SDL_DISKAUDIOFILEIN", (audioFolder_.path() / "microphone.raw").c_str(), 1);
    ::setenv("SDL_DISKAUDIOFILE", (audioFolder_.path() / "speaker.raw").c_str(), 1);
    writeMicrophone(std::chrono::seconds(30));
}

void HomePageFixture::restartServer() {
    std::vector<std::string> arguments = {"--data", (audioFolder_.path() / "data.json").string()};
    if (server_) {
        arguments.insert(arguments.end(),
                         {"--signalling-port", std::to_string(server_->signallingPort())});
        server_.reset();
    }
    std::string error;
    server_ = ServerChild::start(INTERCOM_SERVER_PATH, arguments, error);
    ASSERT_TRUE(server_) << error;
    api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(server_->httpPort()));
}

void HomePageFixture::TearDown() {
    page_.reset();
    socket_.reset();
    FNHUD::hide();
    QApplication::processEvents();
    setScreenLocked(false);
    ::unsetenv("SDL_DISKAUDIOFILEIN");
    ::unsetenv("SDL_DISKAUDIOFILE");
    api::setAPIBaseURL("");
    KeyValueStore::standard().remove("UserInfo");
    dispatch::setMainQueue(nullptr);
}

void HomePageFixture::writeMicrophone(std::chrono::seconds length) {
    // A steady tone, so that every block encodes to voice.
    std::ofstream out(audioFolder_.path() / "microphone.raw", std::ios::binary | std::ios::trunc);
    const auto samples = VoiceFormat::samplesFor(length);
    for (std::size_t i = 0; i < samples; ++i) {
        const auto value = static_cast<std::int16_t>((i % 20 < 10) ? 6000 : -6000);
        out.write(reinterpret_cast<const char*>(&value), sizeof value);
    }
}

void HomePageFixture::open(std::uint16_t signallingPort, std::int64_t userId) {
    create(signallingPort, userId);
    if (!page_) {
        return;
    }
    waitForPage(1);
    if (signallingPort == server_->signallingPort()) {
        waitUntilBound(userId);
    }
}

void HomePageFixture::waitUntilBound(std::int64_t userId) {
    // The connection is up before the server has handled its bind, and until then the server
    // has no one to push to or relay to. Another user of the scene sees the bind as the
    // user's online status.
    httplib::Client client("127.0.0.1", server_->httpPort());
    const std::string asker = userId == 1 ? "2" : "1";
    ASSERT_TRUE(waitUntil([&] {
        const auto reply = client.Post("/api/chatUserList", httplib::Params{{"id", asker}});
        if (!reply) {
            return false;
        }
        const auto answer = nlohmann::json::parse(reply->body, nullptr, false);
        const auto users = answer.is_object() ? answer.value("data", nlohmann::json::object())
                                                    .value("users", nlohmann::json::array())
                                              : nlohmann::json::array();
        return std::any_of(users.begin(), users.end(), [&](const nlohmann::json& user) {
            return user.value("id", std::int64_t{0}) == userId &&
                   user.value("onlineStatus", 0) == 1;
        });
    })) << "the server never had user "
        << userId << " online";
}

void HomePageFixture::create(std::uint16_t signallingPort, std::int64_t userId) {
    UserInfo user;
    user.id = userId;
    user.name = userId == 1 ? "张伟" : "李娜";
    user.level = userId == 1 ? 1 : 0;
    user.enabled = 1;
    user.sceneId = 1;
    ASSERT_TRUE(user.save());
    TCPSocketTimings timings;
    timings.pingInterval = std::chrono::milliseconds(150);
    timings.firstReconnectDelay = std::chrono::milliseconds(100);
    timings.reconnectInterval = std::chrono::milliseconds(100);
    socket_ = std::make_unique<TCPSocket>("127.0.0.1", signallingPort, timings);
    page_ = HomePage::create(*socket_);
    ASSERT_TRUE(page_);
    page_->resize(1047, 560);
    page_->show();
}

void HomePageFixture::waitForPage(std::int64_t pageNum) {
    ASSERT_TRUE(waitUntil([&] { return page_->page() && page_->page()->pageNum == pageNum; }));
    ASSERT_TRUE(waitUntil([&] { return socket_->isConnected(); }));
}

void HomePageFixture::doubleClick(QWidget* target) {
    test::doubleClick(target, clock_);
    clock_ += 10000;
    QApplication::processEvents();
}

void HomePageFixture::click(QWidget* target) {
    test::click(target, clock_);
    clock_ += 10000;
    // A single click acts when its timer fires, once no second press has come within the
    // double-click interval.
    ASSERT_TRUE(waitUntil([target] {
        const auto timers = target->findChildren<QTimer*>(Qt::FindDirectChildrenOnly);
        return std::none_of(timers.begin(), timers.end(),
                            [](const QTimer* timer) { return timer->isActive(); });
    }));
}

void HomePageFixture::runQueuedWork() {
    const auto reached = std::make_shared<bool>(false);
    dispatch::mainQueue().async([reached] { *reached = true; });
    ASSERT_TRUE(waitUntil([reached] { return *reached; }));
}

QString HomePageFixture::lastNotice() const {
    const QList<QWidget*> views = FNHUD::hudViews();
    if (views.isEmpty()) {
        return {};
    }
    const auto* label = views.last()->findChild<QLabel*>();
    return label ? label->text() : QString();
}

std::vector<Frame> HomePageFixture::voiceFrames() const {
    std::vector<Frame> voice;
    for (RecordingPeer::Received& received : peer_.frames()) {
        const auto code = rawValue(received.frame.type);
        if (code >= 41 && code <= 44) {
            voice.push_back(std::move(received.frame));
        }
    }
    return voice;
}

std::vector<Frame> HomePageFixture::nextVoiceFrames(std::size_t count) {
    const std::size_t before = voiceFrames().size();
    waitUntil([&] { return voiceFrames().size() >= before + count; });
    auto all = voiceFrames();
    return std::vector<Frame>(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

SentVoice HomePageFixture::nextBlock(Message expected) {
    const auto frames = nextVoiceFrames(3);
    EXPECT_FALSE(frames.empty());
    if (frames.empty()) {
        return {};
    }
    EXPECT_EQ(frames.back().type, expected);
    return readVoice(frames.back());
}

void HomePageFixture::pushToClient(std::int64_t uid, Message type, const std::string& payloadHex) {
    httplib::Client client("127.0.0.1", server_->httpPort());
    const auto reply =
        client.Post("/admin/push", httplib::Params{{"uid", std::to_string(uid)},
                                                   {"type", std::to_string(rawValue(type))},
                                                   {"payload", payloadHex}});
    ASSERT_TRUE(reply);
    ASSERT_NE(reply->body.find("\"code\":1"), std::string::npos) << reply->body;
}

SentVoice readVoice(const Frame& frame) {
    SentVoice voice;
    const auto& p = frame.payload;
    auto at = [&](std::size_t offset) {
        return bigEndianInt32(std::span(p).subspan(std::min(offset, p.size())));
    };
    voice.id = at(0);
    voice.sceneId = at(4);
    std::size_t offset = 8;
    // Broadcast and private voice carry no group list: the voice follows the scene id.
    if (frame.type == Message::audioChannels || frame.type == Message::audioSmallBroadcast) {
        const auto count = at(8);
        offset = 12;
        for (std::int64_t i = 0; i < count && offset + 4 <= p.size(); ++i, offset += 4) {
            voice.groups.push_back(at(offset));
        }
    }
    voice.voiceBytes = p.size() - std::min(offset, p.size());
    return voice;
}

}  // namespace intercom::test
