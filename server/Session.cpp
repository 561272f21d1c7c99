#include "server/Session.h"

#include <asio/post.hpp>
#include <asio/write.hpp>

namespace intercom::server {

namespace {

// A client this far behind (minutes of voice) is not reading any more; holding more for it
// would only grow the server without bound.
constexpr std::size_t kMaxBacklogBytes = 8 << 20;

}  // namespace

Session::Session(asio::ip::tcp::socket socket, SessionListener& listener)
    : socket_(std::move(socket)), deadline_(socket_.get_executor()), listener_(listener) {}

void Session::start() {
    asio::error_code ignored;
    socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
    read();
}

void Session::send(std::span<const std::uint8_t> frame) {
    if (closed_ || closing_) {
        return;
    }
    if (pending_.size() + frame.size() > kMaxBacklogBytes) {
        // Closed later, not here: the sender may be walking the listener's sessions.
        closing_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] { self->close(); });
        return;
    }
    pending_.insert(pending_.end(), frame.begin(), frame.end());
    if (!writeUnderWay_ && !flushQueued_) {
        // Written once the frames of the reads at hand are all handled: under load one write
        // then carries many frames instead of one system call each.
        flushQueued_ = true;
        asio::post(socket_.get_executor(), [self = shared_from_this()] {
            self->flushQueued_ = false;
            if (!self->closed_ && !self->writeUnderWay_ && !self->pending_.empty()) {
                self->writePending();
            }
        });
    }
}

void Session::close() {
    if (closed_) {
        return;
    }
    // The listener may drop its hold on this session while hearing of the close.
    const auto self = shared_from_this();
    closed_ = true;
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    deadline_.cancel();
    listener_.closed(*this);
}

void Session::closeAfter(std::chrono::steady_clock::duration limit) {
    deadline_.expires_after(limit);
    deadline_.async_wait([self = shared_from_this()](asio::error_code error) {
        if (!error) {
            self->close();
        }
    });
}

void Session::keepOpen() {
    deadline_.cancel();
}

void Session::read() {
    socket_.async_read_some(asio::buffer(chunk_),
                            [self = shared_from_this()](asio::error_code error, std::size_t n) {
                                if (self->closed_) {
                                    return;
                                }
                                if (error) {
                                    self->close();
                                    return;
                                }
                                self->reader_.append(std::span(self->chunk_).first(n));
                                while (auto frame = self->reader_.next()) {
                                    self->listener_.received(*self, *frame);
                                    if (self->closed_) {
                                        return;
                                    }
                                }
                                // A length field out of range: the stream has lost its framing for
                                // good.
                                if (self->reader_.isBroken()) {
                                    self->close();
                                    return;
                                }
                                self->read();
                            });
}

void Session::writePending() {
    writing_.swap(pending_);
    pending_.clear();
    writeUnderWay_ = true;
    asio::async_write(socket_, asio::buffer(writing_),
                      [self = shared_from_this()](asio::error_code error, std::size_t) {
                          self->writeUnderWay_ = false;
                          if (self->closed_) {
                              return;
                          }
                          if (error) {
                              self->close();
                              return;
                          }
                          if (!self->pending_.empty()) {
                              self->writePending();
                          }
                      });
}

}  // namespace intercom::server
