#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <vector>

#include "ServerTest.h"

namespace intercom::test {
namespace {

using Clock = std::chrono::steady_clock;

class ServerLoadTest : public ServerTest {};

TEST_F(ServerLoadTest, OutOfDescriptorsTheServerIdlesAndClosesWhoNeverBinds) {
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
