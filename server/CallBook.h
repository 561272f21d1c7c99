#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace intercom::server {

// The private calls between users: each user takes part in at most one call, ringing
// (asked, not answered yet) or agreed. Also the calls made to users while they were offline,
// kept until they next connect.
class CallBook {
  public:
    struct Call {
        std::int64_t caller = 0;
        std::int64_t callee = 0;
        bool agreed = false;
    };
    struct MissedCall {
        std::int64_t caller = 0;
        std::string callerName;
    };

    // The call the user takes part in, if any.
    std::optional<Call> callOf(std::int64_t user) const;
    // The call between exactly these two users, if any.
    std::optional<Call> between(std::int64_t a, std::int64_t b) const;

    void ring(std::int64_t caller, std::int64_t callee);
    void agree(std::int64_t caller, std::int64_t callee);
    void end(std::int64_t a, std::int64_t b);
    // Ends the user's call; the other party, if there was a call.
    std::optional<std::int64_t> leave(std::int64_t user);

    // One missed call per caller: calling again only replaces the name.
    void addMissed(std::int64_t callee, MissedCall call);
    std::vector<MissedCall> takeMissed(std::int64_t callee);

  private:
    std::vector<Call> calls_;
    std::map<std::int64_t, std::vector<MissedCall>> missed_;
};

}  // namespace intercom::server
