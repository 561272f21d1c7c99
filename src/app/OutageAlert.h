#pragma once

#include <QPointer>
#include <memory>

#include "ui/controls/TTCustomAlert.h"

namespace intercom {

class TCPSocket;

// The panel that covers the main window while the signalling connection is lost and being
// re-established. The connection announces when a reconnect sequence starts and ends; this
// puts the one panel up and takes it down. A user who closes it does not see it again
// until the next sequence starts.
class OutageAlert {
  public:
    OutageAlert();
    ~OutageAlert();
    OutageAlert(const OutageAlert&) = delete;
    OutageAlert& operator=(const OutageAlert&) = delete;

    // From now until this object goes, `socket`'s announcements show and hide the panel.
    // Either may go first.
    void install(TCPSocket& socket);

    void showAlert();
    void hideAlert();
    TTCustomAlert* panel() const { return alert_; }

  private:
    void load();

    // Owned here while off screen, by the main window's content view while on it; a content
    // view that goes (a page replaced) takes it along, and then a new one is loaded for the
    // next sequence.
    QPointer<TTCustomAlert> alert_;
    // What the installed handlers hold: gone with this object, so a late announcement
    // finds nothing to show.
    std::shared_ptr<OutageAlert*> self_ = std::make_shared<OutageAlert*>(this);
};

}  // namespace intercom
