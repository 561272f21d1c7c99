#pragma once

#include <chrono>
#include <string>

// The process-wide settings of the HTTP requests: which server they go to and how long a
// request may wait. Both start at the built-in values; tests aim them at their own
// loopback servers and shorten the limits.
namespace intercom::api {

struct HTTPTimeouts {
    std::chrono::milliseconds connect;
    std::chrono::milliseconds read;
};

// "http://<host>:<port>" without a trailing slash.
std::string apiBaseURL();
// An empty text restores the built-in server address.
void setAPIBaseURL(std::string baseURL);

HTTPTimeouts httpTimeouts();
void setHTTPTimeouts(HTTPTimeouts timeouts);
HTTPTimeouts defaultHTTPTimeouts();

}  // namespace intercom::api
