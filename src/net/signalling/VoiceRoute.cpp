#include "net/signalling/VoiceRoute.h"

namespace intercom {

VoiceRoute routeVoiceBlock(const TalkSnapshot& talk, std::int64_t ownId) {
    VoiceRoute route;
    switch (talk.mode) {
        case Message::audioBigBroadcast:
            route = {VoiceRoute::Kind::send, Message::audioBigBroadcast, ownId, {}};
            break;
        case Message::audioSmallBroadcast:
            if (talk.page && !talk.page->groups.empty()) {
                route = {VoiceRoute::Kind::send, Message::audioSmallBroadcast, ownId,
                         talk.page->groups};
            }
            break;
        case Message::audioChat:
            if (talk.partnerId) {
                route = {VoiceRoute::Kind::send, Message::audioChat, *talk.partnerId, {}};
            }
            break;
        case Message::audioChannels:
            if (talk.singleSpeakingGroup) {
                route = {VoiceRoute::Kind::send,
                         Message::audioChannels,
                         ownId,
                         {*talk.singleSpeakingGroup}};
            } else {
                route.kind = VoiceRoute::Kind::selectedChannels;
                route.id = ownId;
            }
            break;
        default:
            break;
    }
    return route;
}

}  // namespace intercom
