#include "server/ServerOptions.h"

#include <charconv>
#include <system_error>

namespace intercom::server {

namespace {

std::optional<std::uint16_t> parsePort(const std::string& text) {
    unsigned value = 0;
    const auto* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (text.empty() || error != std::errc() || end != last || value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

}  // namespace

ParsedOptions parseServerOptions(const std::vector<std::string>& arguments) {
    ServerOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& flag = arguments[i];
        if (flag == "--help" || flag == "--version") {
            return {flag == "--help" ? Command::showHelp : Command::showVersion, std::nullopt, {}};
        }
        if (flag != "--data" && flag != "--http-port" && flag != "--signalling-port") {
            return {Command::serve, std::nullopt, "unknown option " + flag};
        }
        if (i + 1 == arguments.size()) {
            return {Command::serve, std::nullopt, flag + " needs a value"};
        }
        const auto& value = arguments[++i];
        if (flag == "--data") {
            options.dataFile = value;
            continue;
        }
        const auto port = parsePort(value);
        if (!port) {
            return {Command::serve, std::nullopt, flag + " needs a port number from 0 to 65535"};
        }
        (flag == "--http-port" ? options.httpPort : options.signallingPort) = *port;
    }
    if (options.dataFile.empty()) {
        options.dataFile = defaultDataFile();
    }
    return {Command::serve, options, {}};
}

std::string serverHelp() {
    return "usage: intercom-server [--data FILE] [--http-port N] [--signalling-port N]\n"
           "       intercom-server --help | --version\n"
           "\n"
           "  --data FILE           users, scenes, groups, pages and permissions (JSON);\n"
           "                        the demo data when not given\n"
           "  --http-port N         the HTTP port on 127.0.0.1 (8001; 0: any free port)\n"
           "  --signalling-port N   the signalling port on 127.0.0.1 (6001; 0: any free port)\n"
           "  --help                this text\n"
           "  --version             the version\n";
}

std::filesystem::path defaultDataFile() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "demo.json";
    }
    const auto folder = executable.parent_path();
    const auto beside = folder / "data" / "demo.json";
    if (std::filesystem::exists(beside, error)) {
        return beside;
    }
    return folder.parent_path() / "share" / "intercom" / "demo.json";
}

}  // namespace intercom::server
