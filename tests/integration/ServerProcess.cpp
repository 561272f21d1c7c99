#include "ServerProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>


namespace intercom::test {

namespace {

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

}  // namespace

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
