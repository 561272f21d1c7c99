#include "server/HTTPConnection.h"

#include <asio/dispatch.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <string_view>

#include "server/ApiHandler.h"
#include "server/BodyFraming.h"

namespace intercom::server {

namespace {

// Far above any real client's head (a few hundred bytes), far below what would grow the
// server: a head beyond it is refused, not stored.
constexpr std::size_t kMaxHeadBytes = 32 * 1024;

constexpr std::string_view kHeadEnd = "\r\n\r\n";

std::string headTooLargeReply() {
    const auto body = failureReply("请求头过长").dump();
    return "HTTP/1.1 431 Request Header Fields Too Large\r\n"
           "Content-Type: application/json; charset=utf-8\r\n"
           "Content-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

HTTPConnection::HTTPConnection(asio::ip::tcp::socket socket, RequestRouter& router)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), router_(router) {}

void HTTPConnection::start() {
    asio::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    // From here on, only on the connection's own executor.
    asio::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->readHead(); });
}

void HTTPConnection::readHead() {
    deadline_.expires_after(RequestRouter::kRequestLimit);
    deadline_.async_wait([weak = weak_from_this()](asio::error_code error) {
        const auto self = weak.lock();
        if (!error && self) {
            self->close();
        }
    });
    asio::async_read_until(
        socket_, asio::dynamic_buffer(received_, kMaxHeadBytes), kHeadEnd,
        [self = shared_from_this()](asio::error_code error, std::size_t headSize) {
            if (error == asio::error::not_found) {
                return self->refuseHead();
            }
            if (error) {
                return self->close();
            }
            self->readBody(headSize);
        });
}

void HTTPConnection::readBody(std::size_t headSize) {
    const auto framing = bodyFraming(std::string_view(received_).substr(0, headSize));
    if (!framing.known || framing.length > RequestRouter::kMaxBodyBytes) {
        // The router answers from the head alone (no body, or too big a body), and since the
        // body's end is not known, nothing after it can be read as a request.
        return answer(headSize, true);
    }
    const auto requestSize = headSize + framing.length;
    if (received_.size() >= requestSize) {
        return answer(requestSize, false);
    }
    asio::async_read(socket_, asio::dynamic_buffer(received_),
                     asio::transfer_exactly(requestSize - received_.size()),
                     [self = shared_from_this(), requestSize](asio::error_code error, std::size_t) {
                         if (error) {
                             return self->close();
                         }
                         self->answer(requestSize, false);
                     });
}

void HTTPConnection::answer(std::size_t requestSize, bool closeAfter) {
    asio::error_code error;
    const auto remote = socket_.remote_endpoint(error);
    const auto local = socket_.local_endpoint(error);
    if (error) {
        return close();
    }
    auto reply = router_.answer(std::string_view(received_).substr(0, requestSize), remote, local);
    received_.erase(0, requestSize);
    if (reply.bytes.empty()) {
        return close();
    }
    reply_ = std::move(reply.bytes);
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared_from_this(), closeAfter = closeAfter || reply.close](
                          asio::error_code writeError, std::size_t) {
                          if (writeError) {
                              return self->close();
                          }
                          if (closeAfter) {
                              return self->finish();
                          }
                          self->readHead();
                      });
}

void HTTPConnection::refuseHead() {
    received_.clear();
    reply_ = headTooLargeReply();
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared_from_this()](asio::error_code error, std::size_t) {
                          if (error) {
                              return self->close();
                          }
                          self->finish();
                      });
}

void HTTPConnection::finish() {
    // Closing with bytes of the client's still unread would reset the connection, and the
    // client could lose the last reply with it: what it still sends is read and dropped
    // until it closes, or until the time for its request is up.
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    discardUntilClosed();
}

void HTTPConnection::discardUntilClosed() {
    socket_.async_read_some(asio::buffer(discarded_),
                            [self = shared_from_this()](asio::error_code error, std::size_t) {
                                if (error) {
                                    return self->close();
                                }
                                self->discardUntilClosed();
                            });
}

void HTTPConnection::close() {
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    deadline_.cancel();
}

}  // namespace intercom::server
