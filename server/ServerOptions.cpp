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
        if (flag != "--data" && flag != "--http-port" && flag != "--signalling-port") {
            return {std::nullopt, "unknown option " + flag};
        }
        if (i + 1 == arguments.size()) {
            return {std::nullopt, flag + " needs a value"};
        }
        const auto& value = arguments[++i];
        if (flag == "--data") {
            options.dataFile = value;
            continue;
        }
        const auto port = parsePort(value);
        if (!port) {
            return {std::nullopt, flag + " needs a port number from 0 to 65535"};
        }
        (flag == "--http-port" ? options.httpPort : options.signallingPort) = *port;
    }
    if (options.dataFile.empty()) {
        options.dataFile = defaultDataFile();
    }
    return {options, {}};
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
