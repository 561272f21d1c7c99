#pragma once

namespace intercom {

// The process-wide screen lock: while it is set, the talk controls, the channel buttons and
// the home page's tagged buttons change nothing and say so. Only the home page's lock button
// writes it. Main thread only; never stored.
bool isScreenLocked();
void setScreenLocked(bool locked);

}  // namespace intercom
