#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace intercom::test {

// Starts `command` (the server's path and its arguments) as a child that dies with the
// test; its stdout, and its stderr too when `withStderr`, go to the pipe in `output`.
// -1 when it cannot be started.
pid_t spawnServer(std::vector<std::string> command, bool withStderr, int& output);

// The real intercom-server as a child process on free loopback ports, stopped (SIGTERM,
// then waited for) when this object goes. Its stderr stays the parent's, so a sanitizer
// report from the server shows in the test's output.
class ServerChild {
  public:
    // Null, with the reason in `error`, when the server did not report both ports in time.
    static std::unique_ptr<ServerChild> start(const std::string& executable,
                                              const std::vector<std::string>& extraArguments,
                                              std::string& error);
    ~ServerChild();
    ServerChild(const ServerChild&) = delete;
    ServerChild& operator=(const ServerChild&) = delete;

    pid_t pid() const { return pid_; }
    // The CPU time it has used so far (user and system), and its resident memory now.
    double cpuSeconds() const;
    std::size_t residentBytes() const;
    std::uint16_t httpPort() const { return httpPort_; }
    std::uint16_t signallingPort() const { return signallingPort_; }

  private:
    ServerChild(pid_t pid, int output) : pid_(pid), output_(output) {}

    pid_t pid_;
    int output_;
    std::uint16_t httpPort_ = 0;
    std::uint16_t signallingPort_ = 0;
};

}  // namespace intercom::test
