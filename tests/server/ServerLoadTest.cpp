#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "LoopbackSocket.h"
#include "ServerTest.h"

namespace intercom::test {
namespace {

using Clock = std::chrono::steady_clock;

class ServerLoadTest : public ServerTest {};

const std::string kSignInForm = "name=%E5%BC%A0%E4%BC%9F&code=123456";

// The `code` of a JSON reply; -1 when it is no reply object.
int replyCode(const nlohmann::json& reply) {
    return reply.is_object() && reply.contains("code") && reply["code"].is_number_integer()
               ? reply["code"].get<int>()
               : -1;
}

// A sign-in as the client sends it, on a connection of its own.
std::string signInRequest() {
    return "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "Content-Type: application/x-www-form-urlencoded; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(kSignInForm.size()) + "\r\n\r\n" + kSignInForm;
}

bool sendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const auto n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Nothing has come on the connection, not even its end.
bool quietAndOpen(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 0;
}

// The reply's status code and body, read until the server ends the connection.
std::pair<int, std::string> readReply(int fd) {
    std::string reply;
    char chunk[4096];
    while (true) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(kFrameWait.count() * 1000)) <= 0) {
            break;
        }
        const auto n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            break;
        }
        reply.append(chunk, static_cast<std::size_t>(n));
    }
    const auto bodyStart = reply.find("\r\n\r\n");
    if (reply.rfind("HTTP/1.1 ", 0) != 0 || bodyStart == std::string::npos) {
        return {0, reply};
    }
    return {std::stoi(reply.substr(9, 3)), reply.substr(bodyStart + 4)};
}

// Every sign-in of a crowd of clients that all connect at the same moment, driven from one
// thread. Each is given what the client gives a request: 5 s to connect, then 15 s for each
// wait on the reply. The number that got a successful sign-in back.
int crowdSignIns(std::uint16_t port, int clients) {
    struct Client {
        int fd = -1;
        bool connected = false;
        std::string reply;
        Clock::time_point deadline;
    };
    const auto request = signInRequest();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<Client> crowd(static_cast<std::size_t>(clients));
    const auto start = Clock::now();
    for (auto& client : crowd) {
        client.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(client.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        client.deadline = start + std::chrono::seconds(5);
    }
    int succeeded = 0;
    std::vector<pollfd> waiting;
    std::vector<Client*> owners;
    while (true) {
        waiting.clear();
        owners.clear();
        const auto now = Clock::now();
        for (auto& client : crowd) {
            if (client.fd < 0) {
                continue;
            }
            if (now >= client.deadline) {
                ::close(client.fd);
                client.fd = -1;
                continue;
            }
            waiting.push_back(
                {client.fd, static_cast<short>(client.connected ? POLLIN : POLLOUT), 0});
            owners.push_back(&client);
        }
        if (waiting.empty()) {
            break;
        }
        if (::poll(waiting.data(), waiting.size(), 100) < 0) {
            break;
        }
        for (std::size_t i = 0; i < waiting.size(); ++i) {
            auto& client = *owners[i];
            if (waiting[i].revents == 0) {
                continue;
            }
            if (!client.connected) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(client.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                client.connected = error == 0 && sendAll(client.fd, request);
                client.deadline = Clock::now() + std::chrono::seconds(15);
                if (!client.connected) {
                    ::close(client.fd);
                    client.fd = -1;
                }
                continue;
            }
            char chunk[4096];
            const auto n = ::recv(client.fd, chunk, sizeof chunk, 0);
            if (n > 0) {
                client.reply.append(chunk, static_cast<std::size_t>(n));
                client.deadline = Clock::now() + std::chrono::seconds(15);
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            const auto body = client.reply.find("\r\n\r\n");
            if (client.reply.rfind("HTTP/1.1 200", 0) == 0 && body != std::string::npos &&
                replyCode(nlohmann::json::parse(client.reply.substr(body + 4), nullptr, false)) ==
                    1) {
                ++succeeded;
            }
            ::close(client.fd);
            client.fd = -1;
        }
    }
    return succeeded;
}

TEST_F(ServerLoadTest, SlowClientsHoldUpNoSignIn) {
    // More than any pool of worker threads would be: each has sent a first byte of its head
    // and then nothing.
    std::vector<int> slow;
    for (int i = 0; i < 32; ++i) {
        slow.push_back(connectLoopback(server_->httpPort()));
        ASSERT_GE(slow.back(), 0);
        ASSERT_TRUE(sendAll(slow.back(), "P"));
    }
    EXPECT_EQ(replyCode(post("/api/login", kSignInForm)), 1);
    // Answered without waiting for any slow client to be given up.
    for (const int fd : slow) {
        EXPECT_TRUE(quietAndOpen(fd));
        ::close(fd);
    }
}

TEST_F(ServerLoadTest, TwoThousandSignInsAtOnceAllSucceed) {
    constexpr int kClients = 2000;
    // One end of every connection here and one in the server, with room to spare.
    rlimit usual{};
    ::getrlimit(RLIMIT_NOFILE, &usual);
    rlimit raised = usual;
    raised.rlim_cur = raised.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0 || raised.rlim_cur < kClients + 100) {
        GTEST_SKIP() << "the open-file limit is " << usual.rlim_cur;
    }
    ::prlimit(server_->pid(), RLIMIT_NOFILE, &raised, nullptr);
    EXPECT_EQ(crowdSignIns(server_->httpPort(), kClients), kClients);
    ::setrlimit(RLIMIT_NOFILE, &usual);
}

TEST_F(ServerLoadTest, AnOversizedHeadIsRefusedAndLeavesNoMemoryBehind) {
    ASSERT_EQ(replyCode(post("/api/login", kSignInForm)), 1);
    const auto before = server_->residentBytes();

    // 32 MB of header lines, each within any limit on a single line.
    constexpr int kLines = 4000;
    const std::string line = "X-Filler: " + std::string(8000, 'a') + "\r\n";
    const int fd = connectLoopback(server_->httpPort());
    ASSERT_GE(fd, 0);
    bool sending = sendAll(fd, "POST /api/login HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    for (int i = 0; sending && i < kLines; ++i) {
        sending = sendAll(fd, line);
    }
    if (sending) {
        sendAll(fd, "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                        std::to_string(kSignInForm.size()) + "\r\n\r\n" + kSignInForm);
    }
    const auto [status, body] = readReply(fd);
    ::close(fd);
    EXPECT_EQ(status, 431);
    EXPECT_EQ(replyCode(nlohmann::json::parse(body, nullptr, false)), 0) << body;

    // Far less than the head (a sanitizer's own bookkeeping takes a few megabytes).
    EXPECT_LT(server_->residentBytes(), before + kLines * line.size() / 4);
    EXPECT_EQ(replyCode(post("/api/login", kSignInForm)), 1);
}

TEST_F(ServerLoadTest, OutOfDescriptorsTheServerIdlesAndClosesWhoNeverBinds) {
    // UndefinedBehaviorSanitizer's first check of a call through the server's session
    // listener needs a descriptor of its own (and a process out of them fails it): a user who
    // comes and goes first has the server make those calls while descriptors are free.
    auto watcher = user(1, 1);
    user(2, 1)->close();
    ASSERT_TRUE(watcher->nextOf(Message::userOffline));
    watcher->close();

    constexpr rlim_t kLimit = 64;
    rlimit files{};
    ASSERT_EQ(::prlimit(server_->pid(), RLIMIT_NOFILE, nullptr, &files), 0);
    files.rlim_cur = kLimit;
    ASSERT_EQ(::prlimit(server_->pid(), RLIMIT_NOFILE, &files, nullptr), 0);
    const auto inUse = std::distance(
        std::filesystem::directory_iterator("/proc/" + std::to_string(server_->pid()) + "/fd"),
        std::filesystem::directory_iterator());

    // More connections that never bind than the server has descriptors left: the rest wait
    // to be taken.
    std::vector<std::unique_ptr<SignallingClient>> silent;
    for (auto i = inUse; i < static_cast<long>(kLimit) + 8; ++i) {
        silent.push_back(connect());
    }
    const auto cpuBefore = server_->cpuSeconds();
    const auto wallBefore = Clock::now();
    auto newcomer = connect();
    ASSERT_EQ(newcomer->bind(1, 1), 1);
    for (auto& client : silent) {
        EXPECT_TRUE(client->closedByServer());
    }
    const auto cpu = server_->cpuSeconds() - cpuBefore;
    const auto wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    // Out of descriptors, the server waits for one to be freed instead of spinning.
    EXPECT_LT(cpu, wall / 4) << cpu << " s of CPU in " << wall << " s";
}

}  // namespace
}  // namespace intercom::test
