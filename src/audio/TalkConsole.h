#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "audio/AudioQueuePlayer.h"
#include "audio/AudioQueueRecorder.h"
#include "model/Group.h"
#include "model/Page.h"
#include "net/signalling/Message.h"
#include "net/signalling/VoiceRoute.h"
#include "platform/Bytes.h"

namespace intercom {

class TCPSocket;

// The home page's talk state, recorder and player: everything that the main thread, the
// connection's thread and the recorder's timer thread share.
//
// The capture callback needs the mode, the single talk group and the page as one consistent
// view, so those are kept under one short lock and copied out together for every block
// (`snapshot`); the page is shared immutably, so the copy costs one reference. The call
// partner is asked afterwards, outside that lock, through the partner lookup.
//
// Starting and stopping capture is serialised by a lock of its own, and so are starting and
// stopping the player: each is held while a device opens, which takes a while on a sound
// server, but neither is taken by playback, by the capture callback or by the interface's
// reads, which find the recorder and the player under a third lock that guards the two
// pointers alone. Closing a device never waits (see `sdlaudio::close`). The latch is applied
// under the capture lock: of two threads that set it and then apply it, the one that applies
// last sees the final latch, so capture runs exactly when the latch says, whatever the order.
// A connection loss ends capture under the same lock and counts itself there, and a private
// call's start, which does not go by the latch, is decided under it against that count: a
// call agreed on a connection that has been lost since starts nothing, whichever comes last.
class TalkConsole : public std::enable_shared_from_this<TalkConsole> {
  public:
    // The call partner's id while one is known; asked once per private-chat block.
    using PartnerLookup = std::function<std::optional<std::int64_t>()>;
    // Takes a block for the selected speak channels, which only the interface can read.
    using SelectedChannelsRoute = std::function<void(Bytes amr)>;

    static std::shared_ptr<TalkConsole> create(TCPSocket& socket, PartnerLookup partner,
                                               SelectedChannelsRoute selectedChannels);
    ~TalkConsole();
    TalkConsole(const TalkConsole&) = delete;
    TalkConsole& operator=(const TalkConsole&) = delete;

    TCPSocket& socket() const { return socket_; }

    Message audioMessage() const;
    void setAudioMessage(Message mode);
    std::optional<Group> singleSpeakingGroup() const;
    void setSingleSpeakingGroup(std::optional<Group> group);
    bool isSpeaking() const;
    void setSpeaking(bool speaking);
    std::shared_ptr<const Page> page() const;
    void setPage(Page page);
    TalkSnapshot snapshot() const;

    // Creates and starts the recorder unless one runs, and pauses the heartbeat. False when
    // the microphone cannot start: then nothing is held and the heartbeat goes on.
    bool startRecording();
    // Stops and drops the recorder and restarts the heartbeat; nothing without a recorder.
    void stopRecording();
    // Brings capture in line with the latch: starts it while the latch is on, stops it while
    // the latch is off. When the latch is on and the microphone cannot start, sets the latch
    // off and returns false.
    bool applySpeaking();
    // A private call's start: capture without the latch, unless a connection loss has come
    // since `losses` was read (`connectionLosses`) as the call's agreement arrived. False when
    // the microphone cannot start.
    bool startPrivateTalk(std::uint64_t losses);
    // Ends talk and playback for a lost connection: capture and the player stop and the latch
    // goes off. A talk started after this is the user's own, shown as one.
    void connectionLost();
    std::uint64_t connectionLosses() const;
    std::shared_ptr<AudioQueueRecorder> recorder() const;

    void startPlayer();
    void stopPlayer();
    std::shared_ptr<AudioQueuePlayer> player() const;
    // Plays one received voice block; dropped while no player exists.
    void play(const Bytes& amr);

    // The capture callback: sends one block where the talk state of the moment says.
    void sendCapturedAudio(const Bytes& amr);

  private:
    TalkConsole(TCPSocket& socket, PartnerLookup partner, SelectedChannelsRoute selectedChannels);
    bool startRecordingLocked();
    void stopRecordingLocked();

    TCPSocket& socket_;
    const PartnerLookup partner_;
    const SelectedChannelsRoute selectedChannels_;

    mutable std::mutex stateMutex_;
    Message audioMessage_ = Message::audioChannels;
    std::optional<Group> singleSpeakingGroup_;
    std::shared_ptr<const Page> page_;
    bool isSpeaking_ = false;
    // Changed under the capture lock as well, so that a private call's start, which checks it
    // under that lock, sees no loss come between its check and its start.
    std::uint64_t connectionLosses_ = 0;

    std::mutex captureMutex_;
    std::mutex playerMutex_;
    mutable std::mutex deviceMutex_;
    std::shared_ptr<AudioQueueRecorder> recorder_;
    std::shared_ptr<AudioQueuePlayer> player_;
};

}  // namespace intercom
