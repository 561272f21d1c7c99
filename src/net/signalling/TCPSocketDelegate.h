#pragma once

#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

class TCPSocket;

// What the signalling connection reports. Every call comes from the global queue, one at a
// time and in the order the events happened, never on the main thread.
class TCPSocketDelegate {
  public:
    virtual ~TCPSocketDelegate() = default;

    // Once per established connection, after `sceneBind` and `channelPriorityDodge` went out.
    virtual void tcpSocketDidConnect(TCPSocket& socket) = 0;
    // Once per whole frame received, with its type and payload.
    virtual void tcpSocketDidReceive(Message message, const Bytes& data) = 0;
    // Once per loss of the connection or failed connect attempt.
    virtual void tcpSocketDidDisconnect() = 0;
};

}  // namespace intercom
