#pragma once

#include <cstdint>

namespace intercom::test {

// A TCP connection to `port` on 127.0.0.1 without Nagle's delay, as a client that sends
// small frames wants it; -1 when nothing accepts it.
int connectLoopback(std::uint16_t port);

}  // namespace intercom::test
