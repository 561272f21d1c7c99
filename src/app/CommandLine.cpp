#include "app/CommandLine.h"

#include <cstdio>
#include <string_view>

namespace intercom {

namespace {

constexpr std::string_view kUsage =
    "Usage: intercom [--help] [--version]\n"
    "Push-to-talk voice intercom: sign in, listen and talk on channels, broadcast and place\n"
    "private calls. Without options it opens its window, or brings back the window of the\n"
    "client already running.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n";

}  // namespace

bool answerInformationOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") {
            break;
        }
        if (argument == "--help" || argument == "-h") {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return true;
        }
        if (argument == "--version") {
            std::printf("intercom %s\n", INTERCOM_VERSION);
            return true;
        }
    }
    return false;
}

}  // namespace intercom
