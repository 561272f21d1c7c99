#include "server/RequestRouter.h"

#include <algorithm>
#include <cstring>

namespace intercom::server {

namespace {

class MemoryStream final : public httplib::Stream {
  public:
    MemoryStream(std::string_view request, const asio::ip::tcp::endpoint& remote,
                 const asio::ip::tcp::endpoint& local)
        : unread_(request), remote_(remote), local_(local) {}

    bool is_readable() const override { return !unread_.empty(); }
    bool is_writable() const override { return true; }

    ssize_t read(char* ptr, size_t size) override {
        const auto count = std::min(size, unread_.size());
        std::memcpy(ptr, unread_.data(), count);
        unread_.remove_prefix(count);
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, size_t size) override {
        written_.append(ptr, size);
        return static_cast<ssize_t>(size);
    }
    using httplib::Stream::write;

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = remote_.address().to_string();
        port = remote_.port();
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = local_.address().to_string();
        port = local_.port();
    }
    // Nothing here stands for a socket: the reply goes out through the caller.
    socket_t socket() const override { return INVALID_SOCKET; }

    std::string& written() { return written_; }

  private:
    std::string_view unread_;
    asio::ip::tcp::endpoint remote_;
    asio::ip::tcp::endpoint local_;
    std::string written_;
};

}  // namespace

RequestRouter::RequestRouter() {
    set_payload_max_length(kMaxBodyBytes);
    set_keep_alive_timeout(kRequestLimit.count());
}

RequestRouter::Reply RequestRouter::answer(std::string_view request,
                                           const asio::ip::tcp::endpoint& remote,
                                           const asio::ip::tcp::endpoint& local) {
    MemoryStream stream(request, remote, local);
    bool clientCloses = false;
    const bool answered = process_request(stream, false, clientCloses, nullptr);
    return {std::move(stream.written()), !answered || clientCloses};
}

}  // namespace intercom::server
