#include "ui/controls/ClickCounter.h"

#include <QApplication>

namespace intercom {

int ClickCounter::press(std::uint64_t timestampMs) {
    const auto interval = static_cast<std::uint64_t>(QApplication::doubleClickInterval());
    const bool continues = count_ > 0 && timestampMs >= last_ && timestampMs - last_ <= interval;
    count_ = continues ? count_ + 1 : 1;
    last_ = timestampMs;
    return count_;
}

}  // namespace intercom
