#include "ui/controls/ScreenLock.h"

namespace intercom {

namespace {
bool screenLocked = false;
}

bool isScreenLocked() {
    return screenLocked;
}

void setScreenLocked(bool locked) {
    screenLocked = locked;
}

}  // namespace intercom
