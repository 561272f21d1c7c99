#pragma once

#include <string_view>

namespace intercom {

// One line on standard error for a failure that the user cannot see, with its reason. Never
// pass a password or voice.
void logFailure(std::string_view message);

// The name that begins each line, "intercom" unless a program names itself: once, before it
// starts any thread.
void setLogProgramName(std::string_view name);

}  // namespace intercom
