#pragma once

#include <cstdint>

namespace intercom {

// Counts the presses of a multiple click: a press that follows the previous one within the
// system's double-click interval continues the count, any other starts it again at 1. Qt
// reports double clicks but never a triple one, so the controls count for themselves.
class ClickCounter {
  public:
    // Takes the press's event time in milliseconds and returns its click count.
    int press(std::uint64_t timestampMs);

    // Whether the press at this event time has been counted already: a widget on a real
    // window system gets the second press of a double click only as a double-click event,
    // while a press followed by its double-click event repeats one press.
    bool counted(std::uint64_t timestampMs) const { return count_ > 0 && last_ == timestampMs; }

  private:
    int count_ = 0;
    std::uint64_t last_ = 0;
};

}  // namespace intercom
