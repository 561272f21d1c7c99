#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <span>
#include <string_view>

namespace intercom::server {

// The operator's control interface: `/admin/push` sends any frame to a connected user, so
// that tests and demos can play the server's side of every message.
class AdminHandler {
  public:
    // Sends a whole frame to the user's connection; false when the user has none.
    using Push = std::function<bool(std::int64_t userId, std::span<const std::uint8_t> frame)>;

    explicit AdminHandler(Push push);

    // The form's `uid`, `type` (the message code) and `payload` (hex digits, possibly none):
    // `code` 1 once the frame is on its way, 0 with the reason in `msg` otherwise.
    nlohmann::json push(std::string_view body) const;

  private:
    Push push_;
};

}  // namespace intercom::server
