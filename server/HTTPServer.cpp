#include "server/HTTPServer.h"

#include <httplib.h>

namespace intercom::server {

namespace {

constexpr const char* kJSONContentType = "application/json; charset=utf-8";
// Far above any real form; a bigger body is turned away before it is read in full.
constexpr std::size_t kMaxBodyBytes = 1 << 20;

void sendJSON(httplib::Response& response, const nlohmann::json& body) {
    response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         kJSONContentType);
}

}  // namespace

HTTPServer::HTTPServer(const ServerState& state, AdminHandler::Push push)
    : handler_(state), admin_(push), server_(std::make_unique<httplib::Server>()) {
    server_->set_payload_max_length(kMaxBodyBytes);
    // A reply goes out as header and body writes; without this each request on a kept-alive
    // connection waits for the peer's delayed acknowledgement.
    server_->set_tcp_nodelay(true);
    // Ahead of the catch-all below, which would answer it as an unknown API path.
    if (push) {
        server_->Post("/admin/push",
                      [this](const httplib::Request& request, httplib::Response& response) {
                          sendJSON(response, admin_.push(request.body));
                      });
    }
    server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        sendJSON(response, handler_.handle(request.path, request.body));
    });
    server_->set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            sendJSON(response, failureReply(response.status == 404 ? "接口不存在" : "请求无效"));
            return httplib::Server::HandlerResponse::Handled;
        }));
    server_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            sendJSON(response, failureReply("服务器内部错误"));
        });
}

HTTPServer::~HTTPServer() {
    stop();
}

std::optional<std::uint16_t> HTTPServer::start(const std::string& host, std::uint16_t port) {
    const int bound = port == 0 ? server_->bind_to_any_port(host)
                                : (server_->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        return std::nullopt;
    }
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        loopEnded_ = true;
    });
    // A stop that comes before the loop runs would go unnoticed and leave the loop running
    // for ever, so start returns only once the loop is up.
    while (!server_->is_running() && !loopEnded_) {
        std::this_thread::yield();
    }
    return static_cast<std::uint16_t>(bound);
}

void HTTPServer::stop() {
    server_->stop();
    if (thread_.joinable()) {
        thread_.join();
    }
}

}  // namespace intercom::server
