#pragma once

namespace intercom {

// The process-wide screen lock: while it is set, the talk controls change nothing and
// say so. Main thread only; never stored.
bool isScreenLocked();
void setScreenLocked(bool locked);

}  // namespace intercom
