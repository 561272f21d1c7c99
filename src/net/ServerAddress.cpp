#include "net/ServerAddress.h"

namespace intercom::net {

const std::string& serverHost() {
    static const std::string host = INTERCOM_SERVER_HOST;
    return host;
}

}  // namespace intercom::net
