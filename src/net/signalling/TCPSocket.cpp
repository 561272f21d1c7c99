#include "net/signalling/TCPSocket.h"

#include <mutex>
#include <optional>
#include <string>

#include "net/ServerAddress.h"
#include "net/signalling/FrameReader.h"
#include "net/signalling/SenderFrames.h"
#include "platform/AsyncSocket.h"
#include "platform/Log.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerSource.h"

namespace intercom {

using dispatch::Clock;
using dispatch::TimerSource;

// Both timers are created, replaced and cleared only under `mutex_`, so each check-then-create
// and each take-and-clear is whole against the others: no second timer is made and none is
// dropped while it runs. The cancel of a taken timer comes after the lock is released,
// because `cancel` waits for a running tick and every tick takes the same lock.
struct TCPSocket::State final : AsyncSocketDelegate, std::enable_shared_from_this<State> {
    State(TCPSocket& owner, std::string host, std::uint16_t port, TCPSocketTimings timings)
        : owner_(owner), host_(std::move(host)), port_(port), timings_(timings) {}

    void socketDidConnect(AsyncSocket& reporting) override;
    void socketDidRead(AsyncSocket& reporting, const Bytes& data) override;
    void socketDidDisconnect(AsyncSocket& reporting, std::error_code error) override;

    std::shared_ptr<AsyncSocket> currentSocket() const;
    std::shared_ptr<TCPSocketDelegate> currentDelegate() const;
    bool reportsFrom(const AsyncSocket& reporting) const;
    void write(std::optional<Bytes> frame) const;
    // The reason when the attempt could not even start.
    std::error_code connectSocket(AsyncSocket& socket) const;

    std::shared_ptr<TimerSource> makeTimerLocked(Clock::duration firstDelay,
                                                 Clock::duration interval,
                                                 void (State::*tick)(const TimerSource&));
    void pingTick(const TimerSource& timer);
    void reconnectTick(const TimerSource& timer);
    // Takes the timer if it is still the one in `slot`; the caller cancels it.
    std::shared_ptr<TimerSource> takeLocked(std::shared_ptr<TimerSource>& slot,
                                            const TimerSource* only = nullptr);
    void endReconnect(const TimerSource* only);
    void announceLocked(bool outage);

    TCPSocket& owner_;
    const std::string host_;
    const std::uint16_t port_;
    const TCPSocketTimings timings_;

    // Held through the whole handling of each socket report, so that the teardown can wait
    // for the one under way. Reports never overlap (the socket serialises them), and the
    // stream reader is touched only inside them.
    std::mutex delivery_;
    FrameReader reader_;

    mutable std::mutex mutex_;
    bool closed_ = false;
    std::shared_ptr<TCPSocketDelegate> delegate_;
    std::shared_ptr<AsyncSocket> socket_;
    // The link of `socket_` is up and its first frames, the bind and the dodge, are out. A
    // ping goes out only then, and under this lock, so that none can go before them: not a
    // late tick of a heartbeat from before a loss, nor one started while the link comes up.
    bool bound_ = false;
    std::shared_ptr<TimerSource> pingTimer_;
    std::shared_ptr<TimerSource> rcTimer_;
    OutageHandler outageHandler_;
    ReconnectTone reconnectTone_;
    // Counts the sequences started, so that a start knows whether its own is still running.
    std::uint64_t reconnectSequences_ = 0;
    std::vector<std::weak_ptr<TimerSource>> madeTimers_;
};

TCPSocket& TCPSocket::shared() {
    // Never destroyed: socket reports and timer ticks on the global queue may still reach it
    // while the process ends.
    static auto* const instance = new TCPSocket(net::serverHost(), net::kSignallingPort);
    return *instance;
}

TCPSocket::TCPSocket(std::string host, std::uint16_t port, TCPSocketTimings timings)
    : state_(std::make_shared<State>(*this, std::move(host), port, timings)) {}

TCPSocket::~TCPSocket() {
    std::shared_ptr<TimerSource> ping;
    std::shared_ptr<TimerSource> reconnect;
    std::shared_ptr<AsyncSocket> socket;
    {
        std::lock_guard lock(state_->mutex_);
        state_->closed_ = true;
        ping = state_->takeLocked(state_->pingTimer_);
        reconnect = state_->takeLocked(state_->rcTimer_);
        // A tick already waiting for the lock runs once it is released, before the cancel
        // below returns; it must find the link gone, not bound.
        socket = std::move(state_->socket_);
        state_->bound_ = false;
    }
    if (ping) {
        ping->cancel();
    }
    if (reconnect) {
        reconnect->cancel();
    }
    // A report under way still uses this object; later ones find the state closed.
    { std::lock_guard wait(state_->delivery_); }
    if (socket) {
        socket->disconnect();
    }
}

void TCPSocket::connect(std::shared_ptr<TCPSocketDelegate> delegate) {
    auto fresh = AsyncSocket::create(state_);
    std::shared_ptr<AsyncSocket> replaced;
    {
        std::lock_guard lock(state_->mutex_);
        state_->delegate_ = std::move(delegate);
        replaced = std::exchange(state_->socket_, fresh);
        state_->bound_ = false;
    }
    if (replaced) {
        replaced->disconnect();
    }
    // No reconnect sequence follows a refusal at once, so the reason shows only here.
    if (const auto refused = state_->connectSocket(*fresh)) {
        logFailure("cannot connect to " + state_->host_ + " port " + std::to_string(state_->port_) +
                   ": " + refused.message());
    }
}

bool TCPSocket::isConnected() const {
    const auto socket = state_->currentSocket();
    return socket && socket->isConnected();
}

void TCPSocket::sendSceneBind() {
    state_->write(makeSceneBindFrame());
}

void TCPSocket::sendChannelDodge() {
    state_->write(makeChannelDodgeFrame());
}

void TCPSocket::sendPing() {
    state_->write(makePingFrame());
}

void TCPSocket::sendTurnPage(const Page& page) {
    state_->write(makeTurnPageFrame(page));
}

void TCPSocket::sendChannelListener(Message message, const Group& group, bool flag) {
    state_->write(makeChannelListenerFrame(message, group, flag));
}

void TCPSocket::sendCallMessage(Message message, std::int64_t otherId) {
    state_->write(makeCallMessageFrame(message, otherId));
}

void TCPSocket::sendAudio(Message message, std::int64_t id, const std::vector<Group>& groups,
                          std::span<const std::uint8_t> amr) {
    state_->write(makeAudioFrame(message, id, groups, amr));
}

void TCPSocket::startPing() {
    std::lock_guard lock(state_->mutex_);
    if (state_->closed_ || state_->pingTimer_) {
        return;
    }
    state_->pingTimer_ = state_->makeTimerLocked(Clock::duration::zero(),
                                                 state_->timings_.pingInterval, &State::pingTick);
}

void TCPSocket::stopPing() {
    std::shared_ptr<TimerSource> taken;
    {
        std::lock_guard lock(state_->mutex_);
        taken = state_->takeLocked(state_->pingTimer_);
    }
    if (taken) {
        taken->cancel();
    }
}

void TCPSocket::setOutageHandler(OutageHandler handler) {
    std::lock_guard lock(state_->mutex_);
    state_->outageHandler_ = std::move(handler);
}

void TCPSocket::setReconnectTone(ReconnectTone tone) {
    std::lock_guard lock(state_->mutex_);
    state_->reconnectTone_ = std::move(tone);
}

void TCPSocket::startReconnect() {
    ReconnectTone tone;
    std::uint64_t sequence = 0;
    {
        std::lock_guard lock(state_->mutex_);
        if (state_->closed_ || state_->rcTimer_) {
            return;
        }
        state_->rcTimer_ =
            state_->makeTimerLocked(state_->timings_.firstReconnectDelay,
                                    state_->timings_.reconnectInterval, &State::reconnectTick);
        sequence = ++state_->reconnectSequences_;
        tone = state_->reconnectTone_;
    }
    // Outside the lock: the tone opens a sound device.
    if (tone) {
        tone();
    }
    std::lock_guard lock(state_->mutex_);
    // A sequence that has already ended meanwhile has announced its end; showing the alert
    // for it now would leave the alert up with no sequence running.
    if (state_->rcTimer_ && state_->reconnectSequences_ == sequence) {
        state_->announceLocked(true);
    }
}

void TCPSocket::stopReconnect() {
    state_->endReconnect(nullptr);
}

std::size_t TCPSocket::runningTimersForTesting() const {
    std::lock_guard lock(state_->mutex_);
    std::size_t running = 0;
    for (const auto& weak : state_->madeTimers_) {
        if (const auto timer = weak.lock(); timer && !timer->isCancelled()) {
            ++running;
        }
    }
    return running;
}

std::shared_ptr<AsyncSocket> TCPSocket::State::currentSocket() const {
    std::lock_guard lock(mutex_);
    return socket_;
}

std::shared_ptr<TCPSocketDelegate> TCPSocket::State::currentDelegate() const {
    std::lock_guard lock(mutex_);
    return delegate_;
}

bool TCPSocket::State::reportsFrom(const AsyncSocket& reporting) const {
    std::lock_guard lock(mutex_);
    return !closed_ && socket_.get() == &reporting;
}

void TCPSocket::State::write(std::optional<Bytes> frame) const {
    const auto current = currentSocket();
    if (frame && current) {
        current->writeData(std::move(*frame));
    }
}

std::error_code TCPSocket::State::connectSocket(AsyncSocket& target) const {
    std::error_code refused;
    target.connectToHost(host_, port_, refused, timings_.connectTimeout);
    return refused;
}

void TCPSocket::State::socketDidConnect(AsyncSocket& reporting) {
    std::lock_guard hold(delivery_);
    if (!reportsFrom(reporting)) {
        return;
    }
    reader_ = FrameReader();
    reporting.readData();
    owner_.sendSceneBind();
    owner_.sendChannelDodge();
    {
        std::lock_guard lock(mutex_);
        bound_ = socket_.get() == &reporting;
    }
    if (const auto listener = currentDelegate()) {
        listener->tcpSocketDidConnect(owner_);
    }
    owner_.startPing();
}

void TCPSocket::State::socketDidRead(AsyncSocket& reporting, const Bytes& data) {
    std::lock_guard hold(delivery_);
    if (!reportsFrom(reporting)) {
        return;
    }
    reporting.readData();
    reader_.append(data);
    const auto listener = currentDelegate();
    while (auto frame = reader_.next()) {
        if (listener) {
            listener->tcpSocketDidReceive(frame->type, frame->payload);
        }
    }
    if (reader_.isBroken()) {
        // Nothing after a broken length can be cut into frames again; a new connection starts
        // the stream afresh.
        logFailure("the signalling stream had a broken frame length; reconnecting");
        reporting.disconnect();
    }
}

void TCPSocket::State::socketDidDisconnect(AsyncSocket& reporting, std::error_code /*error*/) {
    std::lock_guard hold(delivery_);
    if (!reportsFrom(reporting)) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        bound_ = false;
    }
    if (const auto listener = currentDelegate()) {
        listener->tcpSocketDidDisconnect();
    }
    // The heartbeat of the lost link ends here, also one that the delegate has just restarted:
    // the next link starts its own, whose first ping follows that link's bind and dodge.
    owner_.stopPing();
    owner_.startReconnect();
}

std::shared_ptr<TimerSource> TCPSocket::State::makeTimerLocked(
    Clock::duration firstDelay, Clock::duration interval, void (State::*tick)(const TimerSource&)) {
    auto timer = TimerSource::create();
    timer->schedule(Clock::now() + firstDelay, interval, Clock::duration::zero());
    std::weak_ptr<State> weak = weak_from_this();
    const TimerSource* identity = timer.get();
    timer->setEventHandler([weak, identity, tick] {
        if (const auto self = weak.lock()) {
            ((*self).*tick)(*identity);
        }
    });
    timer->resume();
    std::erase_if(madeTimers_, [](const auto& made) { return made.expired(); });
    madeTimers_.push_back(timer);
    return timer;
}

std::shared_ptr<TimerSource> TCPSocket::State::takeLocked(std::shared_ptr<TimerSource>& slot,
                                                          const TimerSource* only) {
    if (!slot || (only && slot.get() != only)) {
        return nullptr;
    }
    return std::exchange(slot, nullptr);
}

void TCPSocket::State::pingTick(const TimerSource& timer) {
    std::shared_ptr<TimerSource> taken;
    {
        std::lock_guard lock(mutex_);
        if (bound_ && socket_->isConnected()) {
            socket_->writeData(makePingFrame());
            return;
        }
        taken = takeLocked(pingTimer_, &timer);
    }
    if (taken) {
        taken->cancel();
    }
}

void TCPSocket::State::reconnectTick(const TimerSource& timer) {
    const auto current = currentSocket();
    if (!current || current->isConnected()) {
        endReconnect(&timer);
    } else if (current->isDisconnected()) {
        // A refusal at once is left to the next tick.
        connectSocket(*current);
    }
    // An attempt under way is left to connect or to fail at its limit; the next tick looks
    // again, so the alert stays up until the link is really back.
}

void TCPSocket::State::endReconnect(const TimerSource* only) {
    std::shared_ptr<TimerSource> taken;
    {
        std::lock_guard lock(mutex_);
        taken = takeLocked(rcTimer_, only);
        if (taken) {
            announceLocked(false);
        }
    }
    if (taken) {
        taken->cancel();
    }
}

void TCPSocket::State::announceLocked(bool outage) {
    // Posted under the lock, so that the announcements reach the main queue in the order in
    // which the sequences started and ended.
    std::weak_ptr<State> weak = weak_from_this();
    dispatch::mainQueue().async([weak, outage] {
        OutageHandler handler;
        if (const auto self = weak.lock()) {
            std::lock_guard lock(self->mutex_);
            handler = self->outageHandler_;
        }
        if (handler) {
            handler(outage);
        }
    });
}

}  // namespace intercom
