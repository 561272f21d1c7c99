#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "model/UserInfo.h"
#include "net/signalling/Message.h"
#include "platform/Bytes.h"

namespace intercom {

class TCPSocket;
class TTCustomAlert;

// The private-call controller: remembers the other party, owns the one alert panel of the
// call dialogs, reacts to the nine received call types and answers over the connection.
class Chat {
  public:
    using Closure = std::function<void()>;

    static Chat& shared();

    explicit Chat(TCPSocket& socket);
    ~Chat();
    Chat(const Chat&) = delete;
    Chat& operator=(const Chat&) = delete;

    // The other party of the current or last call. Read by the capture callback off the main
    // thread while the user list or a call request writes it, so it is kept under a lock.
    std::optional<UserInfo> other() const;
    void setOther(UserInfo user);

    // On the main queue, for each received call type; any other type does nothing.
    void handleCallMessage(Message message, const Bytes& data, Closure onAgree, Closure onEnd);

    TTCustomAlert* alert() const;

  private:
    // The answers of the dialog buttons: to the caller id of the request the dialog belongs
    // to, or to whoever `other` holds when the button is pressed.
    void replyToCaller(Message message, std::int64_t callerId);
    void replyToOther(Message message);
    // The one panel over the main window's content; shown at most once.
    void showAlert();
    void hideAlert();

    TCPSocket& socket_;
    std::unique_ptr<TTCustomAlert> alert_;
    mutable std::mutex otherMutex_;
    std::optional<UserInfo> other_;
};

}  // namespace intercom
