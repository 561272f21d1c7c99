#pragma once

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <asio/strand.hpp>
#include <asio/thread_pool.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "platform/Bytes.h"

namespace intercom {

class AsyncSocket;

// What a socket reports. Every call comes from the global queue, one at a time and in the
// order the events happened on the socket.
class AsyncSocketDelegate {
  public:
    virtual ~AsyncSocketDelegate() = default;

    virtual void socketDidConnect(AsyncSocket& socket) = 0;
    // The bytes that one read found, at least one.
    virtual void socketDidRead(AsyncSocket& socket, const Bytes& data) = 0;
    // Once per connection or attempt that ended, whatever ended it (also `disconnect`).
    virtual void socketDidDisconnect(AsyncSocket& socket, std::error_code error) = 0;
};

// A TCP client socket that can be reused for connection after connection. Idle, connecting
// or connected; every operation may be called from any thread.
//
// Writes go out whole and in call order; they are dropped while idle and held while
// connecting. At most one read is outstanding. Everything the socket does runs on one strand,
// which is what keeps the delegate calls serial and in order.
class AsyncSocket : public std::enable_shared_from_this<AsyncSocket> {
  public:
    using Duration = std::chrono::steady_clock::duration;
    using Strand = asio::strand<asio::thread_pool::executor_type>;
    // No limit on a connect attempt.
    static constexpr Duration kNoTimeout = Duration::zero();

    // The delegate is held weakly: it usually owns the socket. The socket works and reports
    // on a strand of its own on the global queue, or on `strand`, which the caller may also
    // use to run work of its own between the socket's.
    static std::shared_ptr<AsyncSocket> create(std::weak_ptr<AsyncSocketDelegate> delegate);
    static std::shared_ptr<AsyncSocket> create(std::weak_ptr<AsyncSocketDelegate> delegate,
                                               Strand strand);
    ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    // Starts connecting to a dotted IPv4 or IPv6 address. False, with the reason in `error`,
    // when the socket is not idle or the address cannot be read; nothing is reported then.
    // Otherwise exactly one of `socketDidConnect` and `socketDidDisconnect` follows; an
    // attempt whose connection the system has not made within a non-zero `timeout` ends as
    // timed out, and one that it has made connects, however late its report comes.
    bool connectToHost(const std::string& host, std::uint16_t port, std::error_code& error,
                       Duration timeout = kNoTimeout);
    // Queues one read unless one is outstanding; only while connected.
    void readData();
    void writeData(Bytes data);
    bool isConnected() const;
    bool isDisconnected() const;
    // Closes the connection or the attempt at once; it is reported like any other end.
    void disconnect();

  private:
    enum class Status { idle, connecting, connected };
    // One connection or attempt; a reconnect gets a new one, so handlers of an old one that
    // complete late find it is no longer current.
    struct Link {
        Link(Strand& strand, std::uint64_t generation)
            : socket(strand), timer(strand), generation(generation) {}
        asio::ip::tcp::socket socket;
        asio::steady_timer timer;
        const std::uint64_t generation;
        Bytes readBuffer;
        // Set on the strand when the time limit passed during the attempt.
        bool timedOut = false;
    };

    AsyncSocket(std::weak_ptr<AsyncSocketDelegate> delegate, Strand strand);
    bool isCurrent(const Link& link) const;
    // On the strand: ends `link` if it is still current and reports it.
    void finish(const std::shared_ptr<Link>& link, std::error_code error);
    // On the strand, with the connect's result: connected, or the attempt ends.
    void connected(const std::shared_ptr<Link>& link, std::error_code error);
    // On the strand, when the time limit passed: cancels the attempt if it is still under
    // way, and leaves the verdict to the connect's own handler.
    void timeOut(const std::shared_ptr<Link>& link);
    // Under the lock: makes the socket idle and drops what was queued, so that the handlers
    // of the current link find it stale.
    void retireLink();
    // On the strand: closes a retired link and reports the disconnect with `error`.
    void closeLink(Link& link, std::error_code error);
    void startWrite(const std::shared_ptr<Link>& link);
    void startRead(const std::shared_ptr<Link>& link);

    const std::weak_ptr<AsyncSocketDelegate> delegate_;
    Strand strand_;

    mutable std::mutex mutex_;
    Status status_ = Status::idle;
    std::uint64_t generation_ = 0;
    std::shared_ptr<Link> link_;
    std::deque<Bytes> writes_;
    bool writing_ = false;
    bool reading_ = false;
};

}  // namespace intercom
