#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace intercom::test {

// A bare TCP server on a free loopback port that reads each whole HTTP request, keeps its
// bytes, and answers with exactly the bytes it was given, or never answers at all.
class LoopbackServer {
  public:
    // `reply` is written as it is after each request; nothing means the connection is
    // held open and silent until the server goes.
    explicit LoopbackServer(std::optional<std::string> reply);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string baseURL() const;
    std::vector<std::string> requests() const;

    // A loopback port on which nothing listens.
    static std::uint16_t closedPort();

  private:
    void serve();
    std::optional<std::string> readRequest(int connection) const;

    std::optional<std::string> reply_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::vector<std::string> requests_;
    std::vector<int> held_;
    std::thread thread_;
};

// The body of a raw HTTP request (after the blank line).
std::string requestBody(const std::string& request);
// The value of one header of a raw HTTP request, matched without regard to case.
std::string requestHeader(const std::string& request, const std::string& name);

}  // namespace intercom::test
