#include "ServerProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace intercom::test {

namespace {

// Generous: the server may start slowly under a sanitizer on a loaded machine.
constexpr auto kStartLimit = std::chrono::seconds(60);

pid_t spawn(const std::vector<std::string>& arguments, int& output) {
    std::vector<std::string> command{INTERCOM_SERVER_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec: the test process has threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::dup2(pipeEnds[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    if (pid < 0) {
        ::close(pipeEnds[0]);
        return -1;
    }
    output = pipeEnds[0];
    return pid;
}

// Reads one line, or gives up at the deadline or the end of the output.
bool readLine(int fd, std::string& line, std::chrono::steady_clock::time_point deadline) {
    line.clear();
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char character = 0;
        if (::read(fd, &character, 1) != 1) {
            return false;
        }
        if (character == '\n') {
            return true;
        }
        line.push_back(character);
    }
}

}  // namespace

std::unique_ptr<ServerProcess> ServerProcess::start(std::vector<std::string> extraArguments) {
    std::vector<std::string> arguments{"--http-port", "0", "--signalling-port", "0"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    int output = -1;
    const pid_t pid = spawn(arguments, output);
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << INTERCOM_SERVER_PATH;
        return nullptr;
    }
    std::unique_ptr<ServerProcess> server(new ServerProcess(pid, output));
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    std::string line;
    while (readLine(output, line, deadline)) {
        if (line.rfind("http ", 0) == 0) {
            server->httpPort_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + 5));
            return server;
        }
    }
    ADD_FAILURE() << "the server reported no HTTP port; last line: " << line;
    return nullptr;
}

ServerProcess::~ServerProcess() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(output_);
}

std::string ServerProcess::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(httpPort_);
}

bool ServerProcess::isRunning() const {
    int status = 0;
    return ::waitpid(pid_, &status, WNOHANG) == 0;
}

ServerExit runServerToExit(const std::vector<std::string>& arguments) {
    int output = -1;
    const pid_t pid = spawn(arguments, output);
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
