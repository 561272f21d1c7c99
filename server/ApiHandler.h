#pragma once

#include <nlohmann/json.hpp>
#include <string_view>

#include "server/ServerState.h"

namespace intercom::server {

// Answers one posted form: always a JSON object with `code` (1 on success), `data` and
// `msg`, whatever the path and the body hold.
class ApiHandler {
  public:
    explicit ApiHandler(const ServerState& state);

    nlohmann::json handle(std::string_view path, std::string_view body) const;

  private:
    const ServerState& state_;
};

// The reply for a request that never reached a handler (unknown path, oversized body).
nlohmann::json failureReply(const std::string& why);

}  // namespace intercom::server
