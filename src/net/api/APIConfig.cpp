#include "net/api/APIConfig.h"

#include <mutex>

#include "net/ServerAddress.h"

namespace intercom::api {

namespace {

struct Settings {
    std::mutex mutex;
    std::string baseURL;
    HTTPTimeouts timeouts = defaultHTTPTimeouts();
};

Settings& settings() {
    static Settings shared;
    return shared;
}

}  // namespace

std::string apiBaseURL() {
    auto& shared = settings();
    const std::lock_guard lock(shared.mutex);
    if (!shared.baseURL.empty()) {
        return shared.baseURL;
    }
    return "http://" + net::serverHost() + ":" + std::to_string(net::kHTTPPort);
}

void setAPIBaseURL(std::string baseURL) {
    auto& shared = settings();
    const std::lock_guard lock(shared.mutex);
    shared.baseURL = std::move(baseURL);
}

HTTPTimeouts httpTimeouts() {
    auto& shared = settings();
    const std::lock_guard lock(shared.mutex);
    return shared.timeouts;
}

void setHTTPTimeouts(HTTPTimeouts timeouts) {
    auto& shared = settings();
    const std::lock_guard lock(shared.mutex);
    shared.timeouts = timeouts;
}

HTTPTimeouts defaultHTTPTimeouts() {
    // A server that accepts and then hangs must not keep a caller waiting for ever, while
    // a busy one still gets time to answer.
    using namespace std::chrono_literals;
    return {5s, 15s};
}

}  // namespace intercom::api
