#pragma once

#include <cstddef>
#include <string_view>

namespace intercom::server {

// How a request head says where its body ends: the length that its one Content-Length names
// (0 without one). The framing is not known when the head names a transfer coding, names
// the length twice or names one that is no decimal number; the body is then read no further
// and nothing after it on the connection can be taken for the next request.
struct BodyFraming {
    std::size_t length = 0;
    bool known = true;
};

// `head` runs from the request line to the empty line that ends it.
BodyFraming bodyFraming(std::string_view head);

}  // namespace intercom::server
