#pragma once

#include <memory>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"

namespace intercom::dispatch {

// The queue of the interface thread. Until the application installs its own (the Qt
// event loop), it is the plain run loop below, which tests drive by hand.
Queue& mainQueue();

// Replaces the main queue for the rest of the process; passing null restores the run loop.
void setMainQueue(std::shared_ptr<Queue> queue);

// The run loop that serves as the main queue while no other one is installed.
RunLoop& mainRunLoop();

}  // namespace intercom::dispatch
