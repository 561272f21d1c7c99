#include "server/HTTPServer.h"

#include <asio/io_context.hpp>
#include <asio/strand.hpp>
#include <thread>
#include <vector>

#include "server/HTTPConnection.h"
#include "server/Listener.h"

namespace intercom::server {

namespace {

constexpr const char* kJSONContentType = "application/json; charset=utf-8";
// More than one, so that a push waiting on the signalling thread holds up no other request.
constexpr int kThreads = 4;

void sendJSON(httplib::Response& response, const nlohmann::json& body) {
    response.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace),
                         kJSONContentType);
}

}  // namespace

// Everything of one run, made by start and ended by stop: the threads go first, then the
// listener, then the context with every connection still in it.
struct HTTPServer::Running {
    explicit Running(RequestRouter& router)
        : listener(
              asio::make_strand(io), [this] { return asio::make_strand(io); },
              [&router](asio::ip::tcp::socket socket) {
                  std::make_shared<HTTPConnection>(std::move(socket), router)->start();
              }) {}

    asio::io_context io;
    Listener listener;
    std::vector<std::thread> threads;
};

HTTPServer::HTTPServer(const ServerState& state, AdminHandler::Push push)
    : handler_(state), admin_(push) {
    // Ahead of the catch-all below, which would answer it as an unknown API path.
    if (push) {
        router_.Post("/admin/push",
                     [this](const httplib::Request& request, httplib::Response& response) {
                         sendJSON(response, admin_.push(request.body));
                     });
    }
    router_.Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        sendJSON(response, handler_.handle(request.path, request.body));
    });
    router_.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request&, httplib::Response& response) {
            sendJSON(response, failureReply(response.status == 404 ? "接口不存在" : "请求无效"));
            return httplib::Server::HandlerResponse::Handled;
        }));
    router_.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            response.status = 500;
            sendJSON(response, failureReply("服务器内部错误"));
        });
}

HTTPServer::~HTTPServer() {
    stop();
}

std::optional<std::uint16_t> HTTPServer::start(const std::string& host, std::uint16_t port) {
    auto running = std::make_unique<Running>(router_);
    const auto bound = running->listener.open(host, port);
    if (!bound) {
        return std::nullopt;
    }
    for (int i = 0; i < kThreads; ++i) {
        running->threads.emplace_back([&io = running->io] { io.run(); });
    }
    running_ = std::move(running);
    return bound;
}

void HTTPServer::stop() {
    if (!running_) {
        return;
    }
    running_->io.stop();
    for (auto& thread : running_->threads) {
        thread.join();
    }
    running_.reset();
}

}  // namespace intercom::server
