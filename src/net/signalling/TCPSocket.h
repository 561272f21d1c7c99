#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/Group.h"
#include "model/Page.h"
#include "net/signalling/Message.h"
#include "net/signalling/TCPSocketDelegate.h"

namespace intercom {

// The intervals of the heartbeat and the reconnect sequence. The application always uses the
// defaults; tests shorten them to repeat many cycles.
struct TCPSocketTimings {
    std::chrono::milliseconds pingInterval{8000};
    std::chrono::milliseconds firstReconnectDelay{2000};
    std::chrono::milliseconds reconnectInterval{3000};
    // A connect attempt that has not succeeded by then fails into the disconnected path.
    std::chrono::milliseconds connectTimeout{5000};
};

// The client's one signalling connection: connects, binds the user on every connect, keeps
// the heartbeat, hands every received frame to its delegate and reconnects after a loss.
class TCPSocket {
  public:
    // The one connection of the application, aimed at the fixed server address.
    static TCPSocket& shared();

    TCPSocket(std::string host, std::uint16_t port, TCPSocketTimings timings = {});
    ~TCPSocket();
    TCPSocket(const TCPSocket&) = delete;
    TCPSocket& operator=(const TCPSocket&) = delete;

    // Stores the delegate (held strongly) and opens the connection.
    void connect(std::shared_ptr<TCPSocketDelegate> delegate);
    bool isConnected() const;

    // Each builds one frame from the stored records and writes it whole; a write while the
    // link is down is discarded.
    void sendSceneBind();
    void sendChannelDodge();
    void sendPing();
    void sendTurnPage(const Page& page);
    void sendChannelListener(Message message, const Group& group, bool flag);
    void sendCallMessage(Message message, std::int64_t otherId);
    void sendAudio(Message message, std::int64_t id, const std::vector<Group>& groups,
                   std::span<const std::uint8_t> amr);

    // Starts the heartbeat unless it runs; the first ping goes out at once.
    void startPing();
    // Cancels and clears the heartbeat (the home page, whenever capture starts).
    void stopPing();

    // Told on the main queue when a reconnect sequence starts (true: put the outage alert
    // up) and when it ends (false: take it down). The interface layer owns the panel.
    using OutageHandler = std::function<void(bool outage)>;
    void setOutageHandler(OutageHandler handler);
    // Played on the caller's thread as a reconnect sequence starts, before the outage alert
    // is queued. The tone belongs to the audio layer above this one, so the application
    // hands it in at start-up.
    using ReconnectTone = std::function<void()>;
    void setReconnectTone(ReconnectTone tone);

    // The reconnect sequence: the loss of the link starts it, a tick that finds the link up
    // ends it; also reachable for tests that drive it from several threads.
    void startReconnect();
    void stopReconnect();

    // How many of the timers this connection made are still running; at most one of each
    // kind, for tests that try to make a second one.
    std::size_t runningTimersForTesting() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace intercom
