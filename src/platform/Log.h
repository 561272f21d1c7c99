#pragma once

#include <string_view>

namespace intercom {

// One line on standard error for a failure that the user cannot see, with its reason. Never
// pass a password or voice.
void logFailure(std::string_view message);

}  // namespace intercom
