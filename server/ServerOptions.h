#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace intercom::server {

// intercom-server [--data FILE] [--http-port N] [--signalling-port N]
struct ServerOptions {
    std::filesystem::path dataFile;
    std::uint16_t httpPort = 8001;
    std::uint16_t signallingPort = 6001;
};

// The options, or the reason the command line is wrong. Without --data the demo file is
// taken from beside the executable (the build tree) or from the installed data folder.
struct ParsedOptions {
    std::optional<ServerOptions> options;
    std::string error;
};
ParsedOptions parseServerOptions(const std::vector<std::string>& arguments);

std::filesystem::path defaultDataFile();

}  // namespace intercom::server
