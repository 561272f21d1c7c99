#include "ServerProcess.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace intercom::test {

std::unique_ptr<ServerProcess> ServerProcess::start(std::vector<std::string> extraArguments) {
    std::string error;
    auto child = ServerChild::start(INTERCOM_SERVER_PATH, extraArguments, error);
    if (!child) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return std::unique_ptr<ServerProcess>(new ServerProcess(std::move(child)));
}

std::string ServerProcess::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(httpPort());
}

bool ServerProcess::isRunning() const {
    int status = 0;
    return ::waitpid(child_->pid(), &status, WNOHANG) == 0;
}

ServerExit runServerToExit(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{INTERCOM_SERVER_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    int output = -1;
    const pid_t pid = spawnServer(std::move(command), true, output);
    if (pid < 0) {
        return {};
    }
    ServerExit result;
    char buffer[512];
    ssize_t count = 0;
    while ((count = ::read(output, buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(output);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace intercom::test
