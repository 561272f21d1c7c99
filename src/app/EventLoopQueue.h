#pragma once

#include "platform/dispatch/Queue.h"

namespace intercom {

// The main queue on the Qt event loop: work queued from any thread runs on the interface
// thread. Needs a QCoreApplication for as long as it is installed.
class EventLoopQueue : public dispatch::Queue {
  public:
    void async(dispatch::Work work) override;
    void after(dispatch::Duration delay, dispatch::Work work) override;
    bool isCurrent() const override;
};

}  // namespace intercom
