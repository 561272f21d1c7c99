#include "platform/Log.h"

#include <cstdio>
#include <string>

namespace intercom {

void logFailure(std::string_view message) {
    // One write per line, so that lines from several threads do not interleave.
    const std::string line = "intercom: " + std::string(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace intercom
