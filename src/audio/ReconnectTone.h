#pragma once

namespace intercom {

class TCPSocket;

// Makes `socket` play Beep's reconnect tone at the start of each reconnect sequence; the
// tone sounds only while its setting is on.
void installReconnectTone(TCPSocket& socket);

}  // namespace intercom
