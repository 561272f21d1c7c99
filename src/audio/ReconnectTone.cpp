#include "audio/ReconnectTone.h"

#include "audio/Beep.h"
#include "net/signalling/TCPSocket.h"

namespace intercom {

void installReconnectTone(TCPSocket& socket) {
    socket.setReconnectTone([] { Beep::shared().playReconnectBeep(); });
}

}  // namespace intercom
