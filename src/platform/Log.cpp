#include "platform/Log.h"

#include <cstdio>
#include <string>

namespace intercom {

namespace {

std::string& programName() {
    static std::string name = "intercom";
    return name;
}

}  // namespace

void logFailure(std::string_view message) {
    // One write per line, so that lines from several threads do not interleave.
    const std::string line = programName() + ": " + std::string(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void setLogProgramName(std::string_view name) {
    programName() = name;
}

}  // namespace intercom
