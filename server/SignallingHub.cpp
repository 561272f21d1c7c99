#include "server/SignallingHub.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "net/signalling/ByteOrder.h"
#include "net/signalling/FrameBuilder.h"

namespace intercom::server {

namespace {

// A client binds as soon as it connects: a connection that is still nobody's after this only
// holds one of the process's descriptors.
constexpr auto kBindLimit = std::chrono::seconds(5);

// The listeners' JSON array as the client finds it: from the first "[" to the first "]" of
// the payload. Only the outer array has brackets of its own, so a "]" anywhere else is inside
// a string (a name, a remark) and is written as its escape, which keeps the array whole.
std::string listenersText(const nlohmann::json& users) {
    const auto text = users.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == ']' && i + 1 != text.size()) {
            escaped += "\\u005d";
        } else {
            escaped += text[i];
        }
    }
    return escaped;
}

}  // namespace

SignallingHub::SignallingHub(ServerState& state) : state_(state) {}

void SignallingHub::opened(std::shared_ptr<Session> session) {
    auto* key = session.get();
    peers_[key].session = std::move(session);
    peers_[key].session->start();
    peers_[key].session->closeAfter(kBindLimit);
}

void SignallingHub::received(Session& session, const Frame& frame) {
    const auto found = peers_.find(&session);
    if (found == peers_.end()) {
        return;
    }
    Peer& peer = found->second;
    switch (frame.type) {
        case Message::sceneBind:
            return bind(peer, frame);
        case Message::channelPriorityDodge:
            return dodge(peer, frame);
        case Message::turnPage:
            return turnPage(peer, frame);
        case Message::channelListenerTap:
        case Message::channelListenerPress:
            return listen(peer, frame);
        case Message::audioChannels:
        case Message::audioSmallBroadcast:
            return relayToListeners(peer, frame);
        case Message::audioBigBroadcast:
            return relayToScene(peer, frame);
        case Message::audioChat:
            return relayToPartner(peer, frame);
        case Message::callOnline:
            return callOnline(peer, frame);
        case Message::callOffline:
            return callOffline(peer, frame);
        case Message::callRefuse:
        case Message::callAgree:
        case Message::callHangup:
            return answerCall(peer, frame);
        default:
            // Pings, and types that only the server sends or that no case knows.
            return;
    }
}

void SignallingHub::closed(Session& session) {
    const auto found = peers_.find(&session);
    if (found == peers_.end()) {
        return;
    }
    unbind(found->second);
    peers_.erase(found);
}

bool SignallingHub::push(std::int64_t userId, std::span<const std::uint8_t> frame) {
    Peer* peer = peerOf(userId);
    if (peer == nullptr) {
        return false;
    }
    peer->session->send(frame);
    return true;
}

void SignallingHub::closeAll() {
    while (!peers_.empty()) {
        peers_.begin()->second.session->close();
    }
}

void SignallingHub::bind(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    const auto userId = reader.integer();
    const auto sceneId = reader.integer();
    if (!userId || !sceneId) {
        return sendStatus(peer, frame.type, false);
    }
    const User* user = state_.data().user(*userId);
    if (user == nullptr || user->sceneId != *sceneId) {
        // A connection that claims someone it cannot be is nobody's any more: whatever it
        // was bound as before, it hears nothing from now on, and like a new connection it
        // has a few seconds to bind.
        if (peer.userId) {
            unbind(peer);
            peer.session->closeAfter(kBindLimit);
        }
        return sendStatus(peer, frame.type, false);
    }
    if (peer.userId == user->id) {
        return sendStatus(peer, frame.type, true);
    }
    if (peer.userId) {
        unbind(peer);
    }
    // The user's older connection is stale (the client holds one and has just made a new
    // one): it leaves as if it had dropped, and the new one takes its place.
    if (Peer* older = peerOf(user->id)) {
        unbind(*older);
        older->session->close();
    }
    peer.session->keepOpen();
    peer.userId = user->id;
    peer.sceneId = user->sceneId;
    byUser_[user->id] = peer.session.get();
    state_.setOnline(user->id, true);
    sendStatus(peer, frame.type, true);
    announce(user->id, user->sceneId, Message::userOnline);
    for (const auto& missed : calls_.takeMissed(user->id)) {
        peer.session->send(*FrameBuilder(Message::callOffline)
                                .integer(missed.caller)
                                .text(missed.callerName)
                                .finish());
    }
}

void SignallingHub::unbind(Peer& peer) {
    if (!peer.userId) {
        return;
    }
    const auto userId = *peer.userId;
    std::set<std::int64_t> listened = std::move(peer.tapped);
    listened.merge(peer.pressed);
    peer.tapped.clear();
    peer.pressed.clear();
    for (const auto groupId : listened) {
        setListening(peer, groupId, false);
    }
    peer.userId.reset();
    byUser_.erase(userId);
    state_.setOnline(userId, false);

    for (const auto groupId : listened) {
        pushListeners(groupId, peer.sceneId);
    }
    announce(userId, peer.sceneId, Message::userOffline);
    if (const auto other = calls_.leave(userId)) {
        if (Peer* partner = peerOf(*other)) {
            sendUserId(*partner, Message::callBeingOffline, userId);
        }
    }
}

void SignallingHub::dodge(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    const bool ok = speaksForItself(peer, reader) && reader.integer().has_value();
    sendStatus(peer, frame.type, ok);
}

void SignallingHub::turnPage(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return sendStatus(peer, frame.type, false);
    }
    const auto count = reader.integer();
    if (!count || *count < 0 ||
        static_cast<std::uint64_t>(*count) * kInt32Size != reader.remaining()) {
        return sendStatus(peer, frame.type, false);
    }
    std::vector<std::int64_t> groups;
    while (const auto groupId = reader.integer()) {
        if (!groupInScene(*groupId, peer.sceneId)) {
            return sendStatus(peer, frame.type, false);
        }
        groups.push_back(*groupId);
    }
    onScreen_[*peer.userId] = std::move(groups);
    sendStatus(peer, frame.type, true);
}

void SignallingHub::listen(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return sendStatus(peer, frame.type, false);
    }
    const auto groupId = reader.integer();
    const auto flag = reader.integer();
    if (!flag || !groupInScene(*groupId, peer.sceneId) ||
        !state_.data().permission(*peer.userId, *groupId).listen) {
        return sendStatus(peer, frame.type, false);
    }
    const bool before = peer.listensTo(*groupId);
    auto& selection = frame.type == Message::channelListenerTap ? peer.tapped : peer.pressed;
    if (*flag != 0) {
        selection.insert(*groupId);
    } else {
        selection.erase(*groupId);
    }
    sendStatus(peer, frame.type, true);
    const bool after = peer.listensTo(*groupId);
    if (before != after) {
        setListening(peer, *groupId, after);
        state_.setListening(*peer.userId, *groupId, after);
        pushListeners(*groupId, peer.sceneId);
    }
}

void SignallingHub::relayToListeners(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return;
    }
    const auto count = reader.integer();
    if (!count || *count < 0 ||
        static_cast<std::uint64_t>(*count) * kInt32Size > reader.remaining()) {
        return;
    }
    // The small broadcast names every group of the page; the talker is heard only in those
    // where it may speak.
    std::vector<std::int64_t> groups;
    for (std::int64_t i = 0; i < *count; ++i) {
        const auto groupId = *reader.integer();
        if (state_.data().permission(*peer.userId, groupId).speak) {
            groups.push_back(groupId);
        }
    }
    const auto voice = reader.rest();
    if (voice.empty() || groups.empty()) {
        return;
    }
    // Once to each listener, however many of the groups it listens to.
    std::vector<Peer*> receivers;
    for (const auto groupId : groups) {
        const auto found = listenersOf_.find(groupId);
        if (found != listenersOf_.end()) {
            receivers.insert(receivers.end(), found->second.begin(), found->second.end());
        }
    }
    std::sort(receivers.begin(), receivers.end());
    receivers.erase(std::unique(receivers.begin(), receivers.end()), receivers.end());
    const auto out = makeFrame(Message::audioData, voice);
    for (Peer* other : receivers) {
        if (other != &peer && other->sceneId == peer.sceneId) {
            other->session->send(*out);
        }
    }
}

void SignallingHub::relayToScene(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader) || reader.remaining() == 0) {
        return;
    }
    const User* talker = state_.data().user(*peer.userId);
    if (talker == nullptr || talker->level != 1) {
        return;
    }
    const auto out = makeFrame(Message::audioData, reader.rest());
    for (auto& [key, other] : peers_) {
        if (&other != &peer && other.userId && other.sceneId == peer.sceneId) {
            other.session->send(*out);
        }
    }
}

void SignallingHub::relayToPartner(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    const auto partnerId = reader.integer();
    const auto sceneId = reader.integer();
    if (!peer.userId || sceneId != peer.sceneId || reader.remaining() == 0) {
        return;
    }
    // Only the other party of an agreed call hears private voice.
    const auto call = calls_.between(*peer.userId, *partnerId);
    Peer* partner = peerOf(*partnerId);
    if (!call || !call->agreed || partner == nullptr) {
        return;
    }
    partner->session->send(*makeFrame(Message::audioData, reader.rest()));
}

void SignallingHub::callOnline(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return;
    }
    const auto calleeId = reader.integer();
    if (!calleeId || *calleeId == *peer.userId) {
        return;
    }
    const auto callerId = *peer.userId;
    Peer* callee = peerOf(*calleeId);
    if (callee == nullptr || callee->sceneId != peer.sceneId) {
        return sendUserId(peer, Message::callBeingOffline, *calleeId);
    }
    const auto existing = calls_.between(callerId, *calleeId);
    // Calling again while it still rings rings again; any other call keeps both busy.
    const bool ringingAgain = existing && existing->caller == callerId && !existing->agreed;
    if (!ringingAgain) {
        if (calls_.callOf(callerId) || calls_.callOf(*calleeId)) {
            return sendUserId(peer, Message::callInChating, *calleeId);
        }
        calls_.ring(callerId, *calleeId);
    }
    callee->session->send(
        *FrameBuilder(Message::callOnline).integer(callerId).bytes(reader.rest()).finish());
    sendUserId(peer, Message::callOnlineResp, *calleeId);
}

void SignallingHub::callOffline(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return;
    }
    const auto calleeId = reader.integer();
    const User* callee = calleeId ? state_.data().user(*calleeId) : nullptr;
    if (callee == nullptr || callee->id == *peer.userId || callee->sceneId != peer.sceneId) {
        return;
    }
    const auto name = reader.rest();
    // Listed as offline when the caller looked, but back since: told at once.
    if (Peer* online = peerOf(callee->id)) {
        online->session->send(
            *FrameBuilder(Message::callOffline).integer(*peer.userId).bytes(name).finish());
    } else {
        calls_.addMissed(callee->id, {*peer.userId, std::string(name.begin(), name.end())});
    }
    sendUserId(peer, Message::callOfflineResp, callee->id);
}

void SignallingHub::answerCall(Peer& peer, const Frame& frame) {
    PayloadReader reader(frame.payload);
    if (!speaksForItself(peer, reader)) {
        return;
    }
    const auto userId = *peer.userId;
    const auto otherId = reader.integer();
    const auto call = otherId ? calls_.between(userId, *otherId) : std::nullopt;
    Peer* other = otherId ? peerOf(*otherId) : nullptr;
    if (!call || other == nullptr) {
        return;
    }
    switch (frame.type) {
        case Message::callRefuse:
            // Either side may refuse or withdraw while it rings; an agreed call is hung up.
            if (call->agreed) {
                return;
            }
            calls_.end(userId, *otherId);
            break;
        case Message::callAgree:
            if (call->agreed || call->callee != userId) {
                return;
            }
            calls_.agree(*otherId, userId);
            break;
        default:
            calls_.end(userId, *otherId);
            break;
    }
    // Both sides hear the answer: the one who gave it waits for it to stop its ring and
    // start or end its talk.
    const auto payload = *FrameBuilder(frame.type).integer(userId).bytes(reader.rest()).finish();
    peer.session->send(payload);
    other->session->send(payload);
}

bool SignallingHub::speaksForItself(const Peer& peer, PayloadReader& reader) const {
    const auto userId = reader.integer();
    const auto sceneId = reader.integer();
    return peer.userId && userId == peer.userId && sceneId == peer.sceneId;
}

bool SignallingHub::groupInScene(std::int64_t groupId, std::int64_t sceneId) const {
    const Group* group = state_.data().group(groupId);
    return group != nullptr && group->sceneId == sceneId;
}

SignallingHub::Peer* SignallingHub::peerOf(std::int64_t userId) {
    const auto found = byUser_.find(userId);
    return found == byUser_.end() ? nullptr : &peers_.at(found->second);
}

void SignallingHub::sendStatus(Peer& peer, Message type, bool ok) {
    peer.session->send(*FrameBuilder(type).integer(ok ? 1 : 0).finish());
}

void SignallingHub::sendUserId(Peer& peer, Message type, std::int64_t userId) {
    peer.session->send(*FrameBuilder(type).integer(userId).finish());
}

void SignallingHub::announce(std::int64_t userId, std::int64_t sceneId, Message presence) {
    const auto frame = *FrameBuilder(presence).integer(userId).finish();
    for (auto& [key, other] : peers_) {
        if (other.userId && other.userId != userId && other.sceneId == sceneId) {
            other.session->send(frame);
        }
    }
}

void SignallingHub::setListening(Peer& peer, std::int64_t groupId, bool listening) {
    auto& listeners = listenersOf_[groupId];
    if (listening) {
        listeners.push_back(&peer);
    } else {
        listeners.erase(std::remove(listeners.begin(), listeners.end(), &peer), listeners.end());
    }
    if (listeners.empty()) {
        listenersOf_.erase(groupId);
    }
}

void SignallingHub::pushListeners(std::int64_t groupId, std::int64_t sceneId) {
    const auto answer = state_.groupListeners(groupId, sceneId);
    if (!answer.ok()) {
        return;
    }
    const auto frame = FrameBuilder(Message::channelListenersChange)
                           .integer(groupId)
                           .text(listenersText(answer.data["users"]))
                           .finish();
    if (!frame) {
        return;
    }
    for (auto& [key, other] : peers_) {
        if (!other.userId || other.sceneId != sceneId) {
            continue;
        }
        const auto shown = onScreen_.find(*other.userId);
        if (shown != onScreen_.end() &&
            std::find(shown->second.begin(), shown->second.end(), groupId) != shown->second.end()) {
            other.session->send(*frame);
        }
    }
}

}  // namespace intercom::server
