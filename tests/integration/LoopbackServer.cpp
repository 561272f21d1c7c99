#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace intercom::test {

namespace {

int listenOnLoopback(std::uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LoopbackServer::LoopbackServer(std::optional<std::string> reply) : reply_(std::move(reply)) {
    listener_ = listenOnLoopback(port_);
    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    ::write(wake_[1], "x", 1);
    thread_.join();
    for (const int fd : held_) {
        ::close(fd);
    }
    ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

std::string LoopbackServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> LoopbackServer::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

std::uint16_t LoopbackServer::closedPort() {
    std::uint16_t port = 0;
    ::close(listenOnLoopback(port));
    return port;
}

void LoopbackServer::serve() {
    while (true) {
        pollfd entries[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 || (entries[1].revents & POLLIN) != 0) {
            return;
        }
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) {
            continue;
        }
        const auto request = readRequest(connection);
        if (!request) {
            ::close(connection);
            return;
        }
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        if (!reply_) {
            held_.push_back(connection);
            continue;
        }
        std::size_t written = 0;
        while (written < reply_->size()) {
            const auto count = ::send(connection, reply_->data() + written,
                                      reply_->size() - written, MSG_NOSIGNAL);
            if (count <= 0) {
                break;
            }
            written += static_cast<std::size_t>(count);
        }
        ::close(connection);
    }
}

std::optional<std::string> LoopbackServer::readRequest(int connection) const {
    std::string request;
    while (true) {
        const auto headerEnd = request.find("\r\n\r\n");
        if (headerEnd != std::string::npos) {
            const auto length = requestHeader(request, "Content-Length");
            const auto bodyLength =
                length.empty() ? 0UL : std::strtoul(length.c_str(), nullptr, 10);
            if (request.size() >= headerEnd + 4 + bodyLength) {
                return request;
            }
        }
        pollfd entries[2] = {{connection, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 || (entries[1].revents & POLLIN) != 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const auto count = ::recv(connection, buffer, sizeof buffer, 0);
        if (count <= 0) {
            return request;
        }
        request.append(buffer, static_cast<std::size_t>(count));
    }
}

std::string requestBody(const std::string& request) {
    const auto headerEnd = request.find("\r\n\r\n");
    return headerEnd == std::string::npos ? std::string() : request.substr(headerEnd + 4);
}

std::string requestHeader(const std::string& request, const std::string& name) {
    std::size_t lineStart = request.find("\r\n");
    while (lineStart != std::string::npos) {
        lineStart += 2;
        const auto lineEnd = request.find("\r\n", lineStart);
        if (lineEnd == std::string::npos || lineEnd == lineStart) {
            break;
        }
        const auto line = request.substr(lineStart, lineEnd - lineStart);
        const auto colon = line.find(':');
        if (colon == name.size() && ::strncasecmp(line.c_str(), name.c_str(), colon) == 0) {
            const auto valueStart = line.find_first_not_of(' ', colon + 1);
            return valueStart == std::string::npos ? std::string() : line.substr(valueStart);
        }
        lineStart = lineEnd;
    }
    return {};
}

}  // namespace intercom::test
