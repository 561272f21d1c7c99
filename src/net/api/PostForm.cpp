#include "net/api/PostForm.h"

#include <httplib.h>

#include <memory>

#include "net/api/APIConfig.h"
#include "net/api/RequestThreads.h"
#include "platform/Log.h"
#include "platform/dispatch/MainQueue.h"

namespace intercom::api {

namespace {

constexpr const char* kFormContentType = "application/x-www-form-urlencoded; charset=utf-8";

struct SplitURL {
    std::string origin;  // scheme, host and port
    std::string path;
};

std::optional<SplitURL> splitURL(const std::string& url) {
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string::npos) {
        return std::nullopt;
    }
    const auto pathStart = url.find('/', schemeEnd + 3);
    if (pathStart == std::string::npos) {
        return SplitURL{url, "/"};
    }
    return SplitURL{url.substr(0, pathStart), url.substr(pathStart)};
}

std::optional<HTTPReply> performPost(const std::string& url, const std::string& body,
                                     const HTTPTimeouts& timeouts) {
    const auto split = splitURL(url);
    if (!split) {
        return std::nullopt;
    }
    httplib::Client client(split->origin);
    if (!client.is_valid()) {
        return std::nullopt;
    }
    client.set_connection_timeout(timeouts.connect);
    client.set_read_timeout(timeouts.read);
    client.set_write_timeout(timeouts.read);
    const auto result = client.Post(split->path, body, kFormContentType);
    if (!result) {
        logFailure("HTTP request to " + url + " failed: " + httplib::to_string(result.error()));
        return std::nullopt;
    }
    return HTTPReply{result->status, result->body};
}

}  // namespace

void postForm(const std::string& url, const FormParams& params, JSONCompletion completion) {
    // Held apart from the request's work, so that it is still here when no thread takes the
    // work. Whoever runs it moves it out onto the main queue, where it and all it captures
    // are let go.
    auto pending = std::make_shared<JSONCompletion>(std::move(completion));
    const bool started =
        requestThreads().run([url, body = formEncode(params), timeouts = httpTimeouts(), pending] {
            std::optional<HTTPReply> outcome;
            try {
                outcome = performPost(url, body, timeouts);
            } catch (const std::exception& error) {
                logFailure("HTTP request to " + url + " failed: " + error.what());
                // The completion still runs, with nothing, like for any other failure.
                outcome.reset();
            }
            dispatch::mainQueue().async(
                [outcome = std::move(outcome), completion = std::move(*pending)] {
                    deliverJSON(outcome, completion);
                });
        });
    if (!started) {
        dispatch::mainQueue().async(
            [completion = std::move(*pending)] { completion(std::nullopt); });
    }
}

void deliverJSON(const std::optional<HTTPReply>& outcome, const JSONCompletion& completion) {
    if (!outcome) {
        completion(std::nullopt);
        return;
    }
    const bool promisesNoBody = outcome->status == 204 || outcome->status == 205;
    if (outcome->body.empty() && !promisesNoBody) {
        completion(std::nullopt);
        return;
    }
    completion(JSONValue::parse(outcome->body));
}

}  // namespace intercom::api
