#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace intercom::server {

// intercom-server [--data FILE] [--http-port N] [--signalling-port N]
//                 intercom-server --help | --version
struct ServerOptions {
    std::filesystem::path dataFile;
    std::uint16_t httpPort = 8001;
    std::uint16_t signallingPort = 6001;
};

enum class Command { serve, showHelp, showVersion };

// What the command line asks for: to serve with `options`, or only to show the help or the
// version; or nothing, with the reason, when it is wrong. Without --data the demo file is
// taken from beside the executable (the build tree) or from the installed data folder.
struct ParsedOptions {
    Command command = Command::serve;
    std::optional<ServerOptions> options;
    std::string error;
};
ParsedOptions parseServerOptions(const std::vector<std::string>& arguments);

// The usage line and what each option means.
std::string serverHelp();

std::filesystem::path defaultDataFile();

}  // namespace intercom::server
