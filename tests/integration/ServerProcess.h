#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ServerChild.h"

namespace intercom::test {

// The real intercom-server, started as a child process on a free loopback port and
// stopped when this object goes.
class ServerProcess {
  public:
    // Null (with a test failure recorded) when the server did not report its port.
    static std::unique_ptr<ServerProcess> start(std::vector<std::string> extraArguments = {});
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    std::uint16_t httpPort() const { return child_->httpPort(); }
    std::uint16_t signallingPort() const { return child_->signallingPort(); }
    std::string baseURL() const;
    bool isRunning() const;

  private:
    explicit ServerProcess(std::unique_ptr<ServerChild> child) : child_(std::move(child)) {}

    std::unique_ptr<ServerChild> child_;
};

struct ServerExit {
    int status = -1;  // the exit code, or -1 when the process did not exit normally
    std::string output;
};
// Runs the server to its end, for command lines that it must turn down.
ServerExit runServerToExit(const std::vector<std::string>& arguments);

}  // namespace intercom::test
