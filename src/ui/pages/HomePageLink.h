#pragma once

#include <QPointer>
#include <memory>

#include "audio/TalkConsole.h"
#include "net/signalling/TCPSocketDelegate.h"
#include "ui/pages/HomePage.h"

namespace intercom {

// The home page as the connection's delegate. The connection holds it and calls it from its
// own thread, so it keeps only what is safe there: the talk console, shared and locked, and
// a guarded pointer to the page that is followed on the main queue alone. Once the page is
// gone it does nothing.
class HomePage::Link : public TCPSocketDelegate {
  public:
    explicit Link(HomePage* page) : page_(page), console_(page->console()) {}

    void tcpSocketDidConnect(TCPSocket& socket) override;
    void tcpSocketDidReceive(Message message, const Bytes& data) override;
    void tcpSocketDidDisconnect() override;

  private:
    // Runs `work` with the page on the main queue, when the page still exists then.
    template <typename Work>
    void onPage(Work work) const;
    void reloadPage() const;
    void handOverCall(Message message, const Bytes& data) const;

    QPointer<HomePage> page_;
    std::weak_ptr<TalkConsole> console_;
    // Touched only by the connection's reports, which never overlap.
    int connects_ = 0;
};

}  // namespace intercom
