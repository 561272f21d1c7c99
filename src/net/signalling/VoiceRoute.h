#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "model/Group.h"
#include "model/Page.h"
#include "net/signalling/Message.h"

namespace intercom {

// What the home page's talk state looks like to one captured block.
struct TalkSnapshot {
    Message mode = Message::audioChannels;
    std::optional<Group> singleSpeakingGroup;
    std::shared_ptr<const Page> page;
    // The call partner's id while one is known.
    std::optional<std::int64_t> partnerId;
};

// Where one captured block goes.
struct VoiceRoute {
    enum class Kind {
        // One voice frame of `type` for `id` and `groups`, sent at once.
        send,
        // Only the interface knows which speak channels are selected: the block is handed
        // to it, and it sends or drops it.
        selectedChannels,
        // Nothing goes out.
        drop,
    };
    Kind kind = Kind::drop;
    Message type = Message::unknown;
    std::int64_t id = 0;
    std::vector<Group> groups;
};

// The route of one block by the talk mode of the moment. A small broadcast before any page
// has arrived (or on a page without groups) and a private chat without a partner are dropped: a
// frame addressed to nobody would only be refused by the server.
VoiceRoute routeVoiceBlock(const TalkSnapshot& talk, std::int64_t ownId);

}  // namespace intercom
