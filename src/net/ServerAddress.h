#pragma once

#include <cstdint>
#include <string>

// Where the intercom server lives. The host is fixed when the program is built; both the
// HTTP requests and the signalling connection go to it.
namespace intercom::net {

inline constexpr std::uint16_t kHTTPPort = 8001;
inline constexpr std::uint16_t kSignallingPort = 6001;

const std::string& serverHost();

}  // namespace intercom::net
