#pragma once

#include <functional>
#include <optional>
#include <string>

#include "net/api/FormEncoding.h"
#include "net/api/JSONValue.h"

namespace intercom::api {

// What came back from the server: the status and the raw body, whatever their kind.
struct HTTPReply {
    int status = 0;
    std::string body;
};

// Receives nothing when the request failed, else the parsed reply.
using JSONCompletion = std::function<void(std::optional<JSONValue>)>;

// Posts `params` form-encoded to `url` on a thread of the requests' own, never on the global
// queue; `completion` runs exactly once, later, on the main queue. Requests are independent of
// each other, and their completions come in the order their replies do.
void postForm(const std::string& url, const FormParams& params, JSONCompletion completion);

// Turns the outcome of a request (none: a transport failure) into the completion's
// argument. An empty body is a failure, except that 204 and 205 promise no body.
void deliverJSON(const std::optional<HTTPReply>& outcome, const JSONCompletion& completion);

}  // namespace intercom::api
