#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "server/CallBook.h"
#include "server/PayloadReader.h"
#include "server/ServerState.h"
#include "server/Session.h"

namespace intercom::server {

// What the server does with the signalling frames of its clients: binds connections to
// users, answers the status requests, keeps each user's listening and groups on screen,
// relays voice by talk mode, runs the private calls and tells the scene who comes and goes.
// A peer gets only what the data grants: a user of the scene it binds to, listening where it
// may listen, channel voice where it may speak, and the big broadcast at level 1.
// Runs on the network thread only; the state it shares with the HTTP side (who is online,
// who listens) goes through ServerState.
class SignallingHub final : public SessionListener {
  public:
    explicit SignallingHub(ServerState& state);

    void opened(std::shared_ptr<Session> session);
    void received(Session& session, const Frame& frame) override;
    void closed(Session& session) override;

    // Sends a ready frame to the user's connection; false when the user has none.
    bool push(std::int64_t userId, std::span<const std::uint8_t> frame);
    // Ends every connection (the server is stopping).
    void closeAll();

  private:
    struct Peer {
        std::shared_ptr<Session> session;
        std::optional<std::int64_t> userId;
        std::int64_t sceneId = 0;
        std::set<std::int64_t> tapped;
        std::set<std::int64_t> pressed;

        bool listensTo(std::int64_t groupId) const {
            return tapped.contains(groupId) || pressed.contains(groupId);
        }
    };

    void bind(Peer& peer, const Frame& frame);
    void unbind(Peer& peer);
    void dodge(Peer& peer, const Frame& frame);
    void turnPage(Peer& peer, const Frame& frame);
    void listen(Peer& peer, const Frame& frame);
    void relayToListeners(Peer& peer, const Frame& frame);
    void relayToScene(Peer& peer, const Frame& frame);
    void relayToPartner(Peer& peer, const Frame& frame);
    void callOnline(Peer& peer, const Frame& frame);
    void callOffline(Peer& peer, const Frame& frame);
    void answerCall(Peer& peer, const Frame& frame);

    // True when the peer is bound and the frame's own id and scene fields name its user and
    // scene; the reader is past those two fields afterwards.
    bool speaksForItself(const Peer& peer, PayloadReader& reader) const;
    bool groupInScene(std::int64_t groupId, std::int64_t sceneId) const;
    Peer* peerOf(std::int64_t userId);
    void sendStatus(Peer& peer, Message type, bool ok);
    void sendUserId(Peer& peer, Message type, std::int64_t userId);
    // Tells the other users of the scene that the user came or went.
    void announce(std::int64_t userId, std::int64_t sceneId, Message presence);
    void pushListeners(std::int64_t groupId, std::int64_t sceneId);
    void setListening(Peer& peer, std::int64_t groupId, bool listening);

    ServerState& state_;
    std::map<Session*, Peer> peers_;
    std::map<std::int64_t, Session*> byUser_;
    // Who listens to each group, so that a voice frame costs what it delivers rather than a
    // walk over every connection.
    std::map<std::int64_t, std::vector<Peer*>> listenersOf_;
    // The groups of each user's last page, by user rather than by connection: a client that
    // reconnects announces its listening again but not its page, and still shows that page.
    std::map<std::int64_t, std::vector<std::int64_t>> onScreen_;
    CallBook calls_;
};

}  // namespace intercom::server
