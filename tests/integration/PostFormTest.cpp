#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "CompletionRecorder.h"
#include "ConnectionEvents.h"
#include "LoopbackServer.h"
#include "RecordingPeer.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "net/signalling/FrameBuilder.h"
#include "net/signalling/TCPSocket.h"
#include "platform/audio/VoiceFormat.h"
#include "platform/dispatch/TimerSource.h"
#include "support/WaitUntil.h"

namespace intercom {
namespace {

using namespace std::chrono_literals;
using api::JSONValue;
using test::CompletionRecorder;
using test::ConnectionEvents;
using test::LoopbackServer;
using test::RecordingPeer;

std::string httpReply(const std::string& statusLine, const std::string& contentType,
                      const std::string& body) {
    return "HTTP/1.1 " + statusLine + "\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

const std::string kJSONReply = httpReply("200 OK", "application/json", R"({"code":1})");

class PostFormTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(UserInfo::clear()); }
    void TearDown() override {
        api::setAPIBaseURL({});
        api::setHTTPTimeouts(api::defaultHTTPTimeouts());
    }

    // Posts to a bare server answering `reply` and returns what the completion got.
    std::optional<JSONValue> postTo(const std::optional<std::string>& reply) {
        LoopbackServer server(reply);
        CompletionRecorder recorder;
        api::postForm(server.baseURL() + "/api/login", {{"name", std::string("x")}},
                      recorder.completion());
        EXPECT_TRUE(recorder.wait());
        recorder.settle();
        EXPECT_EQ(recorder.calls(), 1);
        EXPECT_TRUE(recorder.allOnMainQueue());
        return recorder.value();
    }

    // The one request that reached a bare server while `send` ran.
    template <typename Send>
    std::string capture(Send send) {
        LoopbackServer server(kJSONReply);
        api::setAPIBaseURL(server.baseURL());
        CompletionRecorder recorder;
        send(recorder.completion());
        EXPECT_TRUE(recorder.wait());
        const auto requests = server.requests();
        EXPECT_EQ(requests.size(), 1U);
        return requests.empty() ? std::string() : requests.front();
    }
};

TEST_F(PostFormTest, SignInPostsTheFormPercentEscapedAsUTF8) {
    const auto request = capture(
        [](api::JSONCompletion done) { api::requestLogin("王 小明", "a&b=c+%", std::move(done)); });
    EXPECT_EQ(request.rfind("POST /api/login HTTP/1.1\r\n", 0), 0U) << request;
    EXPECT_EQ(test::requestHeader(request, "Content-Type"),
              "application/x-www-form-urlencoded; charset=utf-8");
    EXPECT_EQ(test::requestBody(request),
              "code=a%26b%3Dc%2B%25&name=%E7%8E%8B%20%E5%B0%8F%E6%98%8E");
}

TEST_F(PostFormTest, WithNothingStoredTheRequestsSendZeroForTheUser) {
    EXPECT_EQ(test::requestBody(capture(api::requestChatUserList)), "id=0");
    EXPECT_EQ(test::requestBody(capture(
                  [](api::JSONCompletion done) { api::requestGroupList(2, std::move(done)); })),
              "pageNum=2&uid=0");
}

TEST_F(PostFormTest, TheStoredUserIsReadWhenARequestIsMade) {
    UserInfo user;
    user.id = 42;
    user.sceneId = -7;
    ASSERT_TRUE(user.save());
    const auto request = capture([](api::JSONCompletion done) {
        api::requestGroupListenUsers(9000000000, std::move(done));
    });
    EXPECT_EQ(request.rfind("POST /api/groupListenUsers ", 0), 0U);
    EXPECT_EQ(test::requestBody(request), "id=9000000000&sceneId=-7");
    EXPECT_EQ(test::requestBody(capture(api::requestChatUserList)), "id=42");
}

TEST_F(PostFormTest, NothingListeningGivesNothing) {
    CompletionRecorder recorder;
    api::postForm("http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()) + "/api/login",
                  {}, recorder.completion());
    ASSERT_TRUE(recorder.wait());
    recorder.settle();
    EXPECT_EQ(recorder.calls(), 1);
    EXPECT_TRUE(recorder.allOnMainQueue());
    EXPECT_FALSE(recorder.value().has_value());
}

TEST_F(PostFormTest, AnAddressThatIsNoURLGivesNothing) {
    CompletionRecorder recorder;
    api::postForm("no address", {}, recorder.completion());
    ASSERT_TRUE(recorder.wait());
    EXPECT_FALSE(recorder.value().has_value());
}

TEST_F(PostFormTest, AnHTMLPageGivesTheNullValue) {
    const auto value = postTo(httpReply("200 OK", "text/html", "<html><body>Bad</body></html>"));
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->kind(), JSONValue::Kind::null);
    EXPECT_EQ((*value)["code"].intValue(), 0);
    EXPECT_EQ((*value)["data"].kind(), JSONValue::Kind::null);
}

TEST_F(PostFormTest, AnErrorStatusWithAJSONBodyDeliversTheObject) {
    const auto value = postTo(httpReply("500 Internal Server Error", "text/plain",
                                        R"({"code":3,"msg":"坏了","data":{"users":[]}})"));
    ASSERT_TRUE(value.has_value());
    ASSERT_EQ(value->kind(), JSONValue::Kind::object);
    EXPECT_EQ((*value)["code"].intValue(), 3);
    EXPECT_EQ((*value)["msg"].raw(), "坏了");
    EXPECT_EQ((*value)["data"]["users"].kind(), JSONValue::Kind::array);
}

TEST_F(PostFormTest, AnEmptyBodyGivesNothingUnlessTheStatusPromisesNoBody) {
    EXPECT_FALSE(postTo(httpReply("200 OK", "application/json", "")).has_value());

    const auto noContent = postTo("HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n");
    ASSERT_TRUE(noContent.has_value());
    EXPECT_EQ(noContent->kind(), JSONValue::Kind::null);
}

TEST_F(PostFormTest, AConnectionClosedWithoutAnAnswerGivesNothing) {
    EXPECT_FALSE(postTo(std::string()).has_value());
}

TEST_F(PostFormTest, AServerThatNeverAnswersGivesNothingAfterTheReadLimit) {
    using namespace std::chrono_literals;
    api::setHTTPTimeouts({1s, 1s});
    EXPECT_FALSE(postTo(std::nullopt).has_value());
}

void expectEachCompletedOnceOnTheMainQueue(std::vector<CompletionRecorder>& recorders) {
    for (auto& recorder : recorders) {
        ASSERT_TRUE(recorder.wait());
    }
    recorders.front().settle();
    for (const auto& recorder : recorders) {
        EXPECT_EQ(recorder.calls(), 1);
        EXPECT_TRUE(recorder.allOnMainQueue());
    }
}

TEST_F(PostFormTest, ManyRequestsAtOnceEachCompleteOnceOnTheMainQueue) {
    LoopbackServer server(kJSONReply);
    constexpr int kRequests = 12;
    std::vector<CompletionRecorder> recorders(kRequests);
    for (auto& recorder : recorders) {
        api::postForm(server.baseURL() + "/api/chatUserList", {{"id", std::int64_t{1}}},
                      recorder.completion());
    }
    expectEachCompletedOnceOnTheMainQueue(recorders);
    for (const auto& recorder : recorders) {
        ASSERT_TRUE(recorder.value().has_value());
        EXPECT_EQ((*recorder.value())["code"].intValue(), 1);
    }
    EXPECT_EQ(server.requests().size(), static_cast<std::size_t>(kRequests));
}

int voiceBlocksIn(const std::vector<ConnectionEvents::Event>& events) {
    return static_cast<int>(std::count_if(events.begin(), events.end(), [](const auto& event) {
        return event.kind == ConnectionEvents::Kind::received &&
               event.message == Message::audioData;
    }));
}

// Sixteen requests hang on a server that takes them and never answers, while voice goes both
// ways over the signalling connection: the peer relays a block every 40 ms, a 40 ms timer on
// the global queue sends one as the recorder's drain does, and the heartbeat beats every
// 100 ms. While every request still hangs, the client takes the peer's 50 blocks, the drain
// sends 49 and the heartbeat 19 pings, as many as two seconds hold: a global queue that the
// requests held would take and send nothing, however long it was given. When the server goes,
// every request completes once, with nothing.
TEST_F(PostFormTest, HangingRequestsHoldBackNoVoiceBlockTickOrHeartbeat) {
    api::setHTTPTimeouts({5s, 120s});
    auto hanging = std::make_unique<LoopbackServer>(std::nullopt);
    RecordingPeer peer;
    auto events = std::make_shared<ConnectionEvents>();
    TCPSocket socket("127.0.0.1", peer.port(), {.pingInterval = 100ms});
    socket.connect(events);
    ASSERT_TRUE(events->waitForCount(ConnectionEvents::Kind::connected, 1, 20s));
    // The client is connected once the kernel has the handshake; the peer sends to the link
    // only once it has accepted it, which its first frame shows.
    ASSERT_TRUE(peer.waitUntil([](const auto& frames) { return !frames.empty(); }, 20s));

    const Bytes amr(32, 0x3C);
    Group group;
    group.id = 5;
    auto drain = dispatch::TimerSource::create();
    drain->schedule(dispatch::Clock::now(), VoiceFormat::kBlockDuration,
                    dispatch::Duration::zero());
    drain->setEventHandler(
        [&socket, group, amr] { socket.sendAudio(Message::audioChannels, 1, {group}, amr); });
    drain->resume();

    constexpr int kRequests = 16;
    std::vector<CompletionRecorder> recorders(kRequests);
    for (auto& recorder : recorders) {
        api::postForm(hanging->baseURL() + "/api/groupList",
                      {{"uid", std::int64_t{1}}, {"pageNum", std::int64_t{1}}},
                      recorder.completion());
    }
    ASSERT_TRUE(test::waitUntil([&] { return !hanging->requests().empty(); }));

    const auto sentBefore = peer.framesOf(Message::audioChannels).size();
    const auto pingsBefore = peer.framesOf(Message::ping).size();
    constexpr int kBlocks = 50;
    const auto relayed = *makeFrame(Message::audioData, amr);
    const auto start = std::chrono::steady_clock::now();
    for (int block = 0; block < kBlocks; ++block) {
        std::this_thread::sleep_until(start + block * VoiceFormat::kBlockDuration);
        peer.send(relayed);
    }
    EXPECT_TRUE(
        events->waitUntil([](const auto& all) { return voiceBlocksIn(all) == kBlocks; }, 20s))
        << voiceBlocksIn(events->events()) << " of the relayed blocks came in";
    const auto count = [](const std::vector<RecordingPeer::Received>& frames, Message type) {
        return static_cast<std::size_t>(
            std::count_if(frames.begin(), frames.end(),
                          [type](const auto& received) { return received.frame.type == type; }));
    };
    EXPECT_TRUE(peer.waitUntil(
        [&](const auto& frames) {
            return count(frames, Message::audioChannels) >= sentBefore + kBlocks - 1 &&
                   count(frames, Message::ping) >= pingsBefore + 19;
        },
        20s))
        << "drain blocks and pings on the wire";
    drain->cancel();
    EXPECT_EQ(hanging->requests().size(), static_cast<std::size_t>(kRequests))
        << "every request waits on the server at once";

    hanging.reset();
    expectEachCompletedOnceOnTheMainQueue(recorders);
    for (const auto& recorder : recorders) {
        EXPECT_FALSE(recorder.value().has_value());
    }
}

}  // namespace
}  // namespace intercom
