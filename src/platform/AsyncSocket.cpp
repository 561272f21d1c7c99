#include "platform/AsyncSocket.h"

#include <asio/connect.hpp>
#include <asio/ip/address.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>

#include "platform/dispatch/GlobalQueue.h"

namespace intercom {

namespace {

// Enough for any burst the server sends in one go; a longer one simply takes more reads.
constexpr std::size_t kReadSize = 64 * 1024;

}  // namespace

std::shared_ptr<AsyncSocket> AsyncSocket::create(std::weak_ptr<AsyncSocketDelegate> delegate) {
    return create(std::move(delegate), asio::make_strand(dispatch::globalQueue().executor()));
}

std::shared_ptr<AsyncSocket> AsyncSocket::create(std::weak_ptr<AsyncSocketDelegate> delegate,
                                                 Strand strand) {
    return std::shared_ptr<AsyncSocket>(new AsyncSocket(std::move(delegate), std::move(strand)));
}

AsyncSocket::AsyncSocket(std::weak_ptr<AsyncSocketDelegate> delegate, Strand strand)
    : delegate_(std::move(delegate)), strand_(std::move(strand)) {}

AsyncSocket::~AsyncSocket() = default;

bool AsyncSocket::connectToHost(const std::string& host, std::uint16_t port, std::error_code& error,
                                Duration timeout) {
    const auto address = asio::ip::make_address(host, error);
    if (error) {
        return false;
    }
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        if (status_ != Status::idle) {
            error = std::make_error_code(std::errc::operation_in_progress);
            return false;
        }
        status_ = Status::connecting;
        link = std::make_shared<Link>(strand_, ++generation_);
        link_ = link;
    }
    const asio::ip::tcp::endpoint endpoint(address, port);
    asio::post(strand_, [self = shared_from_this(), link, endpoint, timeout] {
        if (!self->isCurrent(*link)) {
            return;
        }
        if (timeout > Duration::zero()) {
            link->timer.expires_after(timeout);
            link->timer.async_wait([self, link](const std::error_code& waitError) {
                if (!waitError) {
                    self->timeOut(link);
                }
            });
        }
        link->socket.async_connect(endpoint, [self, link](const std::error_code& connectError) {
            self->connected(link, connectError);
        });
    });
    return true;
}

void AsyncSocket::connected(const std::shared_ptr<Link>& link, std::error_code error) {
    if (error && link->timedOut) {
        // The limit cancelled the wait, not the connection: the system may have made it in
        // time, with its report still to come. Such a link is up like any other.
        std::error_code notConnected;
        link->socket.remote_endpoint(notConnected);
        error = notConnected ? std::make_error_code(std::errc::timed_out) : std::error_code();
    }
    if (error) {
        finish(link, error);
        return;
    }
    bool flush = false;
    {
        std::lock_guard lock(mutex_);
        if (link->generation != generation_ || status_ == Status::idle) {
            return;
        }
        status_ = Status::connected;
        flush = !writes_.empty() && !writing_;
        writing_ = writing_ || flush;
    }
    link->timer.cancel();
    std::error_code ignored;
    link->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    if (flush) {
        startWrite(link);
    }
    if (auto delegate = delegate_.lock()) {
        delegate->socketDidConnect(*this);
    }
}

void AsyncSocket::readData() {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        if (status_ != Status::connected || reading_) {
            return;
        }
        reading_ = true;
        link = link_;
    }
    asio::post(strand_, [self = shared_from_this(), link] { self->startRead(link); });
}

void AsyncSocket::startRead(const std::shared_ptr<Link>& link) {
    if (!isCurrent(*link)) {
        return;
    }
    link->readBuffer.resize(kReadSize);
    link->socket.async_read_some(
        asio::buffer(link->readBuffer),
        [self = shared_from_this(), link](const std::error_code& error, std::size_t size) {
            if (error) {
                self->finish(link, error);
                return;
            }
            {
                std::lock_guard lock(self->mutex_);
                if (link->generation != self->generation_) {
                    return;
                }
                self->reading_ = false;
            }
            const Bytes data(link->readBuffer.begin(),
                             link->readBuffer.begin() + static_cast<std::ptrdiff_t>(size));
            if (auto delegate = self->delegate_.lock()) {
                delegate->socketDidRead(*self, data);
            }
        });
}

void AsyncSocket::writeData(Bytes data) {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        if (status_ == Status::idle) {
            return;
        }
        writes_.push_back(std::move(data));
        if (status_ != Status::connected || writing_) {
            return;
        }
        writing_ = true;
        link = link_;
    }
    asio::post(strand_, [self = shared_from_this(), link] { self->startWrite(link); });
}

void AsyncSocket::startWrite(const std::shared_ptr<Link>& link) {
    // The bytes in flight belong to the handler, not to the queue, which a disconnect on
    // another thread may clear while the write is still under way.
    std::shared_ptr<Bytes> buffer;
    {
        std::lock_guard lock(mutex_);
        if (link->generation != generation_ || status_ != Status::connected) {
            return;
        }
        if (writes_.empty()) {
            writing_ = false;
            return;
        }
        buffer = std::make_shared<Bytes>(std::move(writes_.front()));
        writes_.pop_front();
    }
    asio::async_write(
        link->socket, asio::buffer(*buffer),
        [self = shared_from_this(), link, buffer](const std::error_code& error, std::size_t) {
            if (error) {
                self->finish(link, error);
                return;
            }
            self->startWrite(link);
        });
}

bool AsyncSocket::isConnected() const {
    std::lock_guard lock(mutex_);
    return status_ == Status::connected;
}

bool AsyncSocket::isDisconnected() const {
    std::lock_guard lock(mutex_);
    return status_ == Status::idle;
}

void AsyncSocket::disconnect() {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        if (status_ == Status::idle) {
            return;
        }
        link = link_;
        retireLink();
    }
    asio::post(strand_, [self = shared_from_this(), link] {
        self->closeLink(*link, asio::error::operation_aborted);
    });
}

bool AsyncSocket::isCurrent(const Link& link) const {
    std::lock_guard lock(mutex_);
    return link.generation == generation_ && status_ != Status::idle;
}

void AsyncSocket::finish(const std::shared_ptr<Link>& link, std::error_code error) {
    {
        std::lock_guard lock(mutex_);
        if (link->generation != generation_ || status_ == Status::idle) {
            return;
        }
        retireLink();
    }
    closeLink(*link, error);
}

void AsyncSocket::timeOut(const std::shared_ptr<Link>& link) {
    {
        std::lock_guard lock(mutex_);
        if (link->generation != generation_ || status_ != Status::connecting) {
            return;
        }
    }
    // The limit and the connect can be ready together, and either handler may run first: the
    // connect may already have succeeded with its report queued behind this one. So the limit
    // only cancels the wait; the connect's handler, which runs next, says how it ended.
    link->timedOut = true;
    std::error_code ignored;
    link->socket.cancel(ignored);
}

void AsyncSocket::retireLink() {
    ++generation_;
    status_ = Status::idle;
    link_.reset();
    writes_.clear();
    writing_ = false;
    reading_ = false;
}

void AsyncSocket::closeLink(Link& link, std::error_code error) {
    std::error_code ignored;
    link.socket.close(ignored);
    link.timer.cancel();
    if (auto delegate = delegate_.lock()) {
        delegate->socketDidDisconnect(*this, error);
    }
}

}  // namespace intercom
