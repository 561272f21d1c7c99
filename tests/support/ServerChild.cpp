#include "ServerChild.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace intercom::test {

namespace {

// Generous: a sanitizer build starts and stops slowly on a loaded machine.
constexpr auto kStartLimit = std::chrono::seconds(60);
constexpr auto kStopLimit = std::chrono::seconds(60);

// True when `fd` has bytes to read, or has been closed, before the deadline.
bool readableBefore(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&entry, 1, static_cast<int>(left.count())) > 0;
}

// True once the child has closed its end of the pipe, which it does by exiting.
bool waitForEnd(int fd, std::chrono::steady_clock::time_point deadline) {
    while (true) {
        if (!readableBefore(fd, deadline)) {
            return false;
        }
        char chunk[256];
        if (::read(fd, chunk, sizeof chunk) <= 0) {
            return true;
        }
    }
}

bool readLine(int fd, std::string& line, std::chrono::steady_clock::time_point deadline) {
    line.clear();
    while (true) {
        if (!readableBefore(fd, deadline)) {
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

pid_t spawnServer(std::vector<std::string> command, bool withStderr, int& output) {
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
        // Only async-signal-safe calls until exec: the parent has threads.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        if (withStderr) {
            ::dup2(pipeEnds[1], STDERR_FILENO);
        }
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

std::unique_ptr<ServerChild> ServerChild::start(const std::string& executable,
                                                const std::vector<std::string>& extraArguments,
                                                std::string& error) {
    std::vector<std::string> command{executable, "--http-port", "0", "--signalling-port", "0"};
    command.insert(command.end(), extraArguments.begin(), extraArguments.end());
    int output = -1;
    const pid_t pid = spawnServer(std::move(command), false, output);
    if (pid < 0) {
        error = "cannot start " + executable;
        return nullptr;
    }
    std::unique_ptr<ServerChild> child(new ServerChild(pid, output));
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    std::string line;
    while ((child->httpPort_ == 0 || child->signallingPort_ == 0) &&
           readLine(child->output_, line, deadline)) {
        if (line.rfind("http ", 0) == 0) {
            child->httpPort_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + 5));
        } else if (line.rfind("signalling ", 0) == 0) {
            child->signallingPort_ = static_cast<std::uint16_t>(std::atoi(line.c_str() + 11));
        }
    }
    if (child->httpPort_ == 0 || child->signallingPort_ == 0) {
        error = "the server did not report its ports; last line: " + line;
        return nullptr;
    }
    return child;
}

double ServerChild::cpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces: the state is
    // field 3, user and system time are fields 14 and 15.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) {
            ticks += std::stoull(field);
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::size_t ServerChild::residentBytes() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoull(line.substr(6)) * 1024;
        }
    }
    return 0;
}

ServerChild::~ServerChild() {
    ::kill(pid_, SIGTERM);
    const bool ended = waitForEnd(output_, std::chrono::steady_clock::now() + kStopLimit);
    if (!ended) {
        ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(output_);
    // What goes wrong while the server stops (a hang, or a sanitizer's race, bad access or
    // leak report) shows nowhere else.
    EXPECT_TRUE(ended) << "intercom-server did not stop on SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "intercom-server did not end cleanly on SIGTERM, wait status " << status;
}

}  // namespace intercom::test
