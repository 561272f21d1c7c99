#include "audio/TalkConsole.h"

#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"

namespace intercom {

std::shared_ptr<TalkConsole> TalkConsole::create(TCPSocket& socket, PartnerLookup partner,
                                                 SelectedChannelsRoute selectedChannels) {
    return std::shared_ptr<TalkConsole>(
        new TalkConsole(socket, std::move(partner), std::move(selectedChannels)));
}

TalkConsole::TalkConsole(TCPSocket& socket, PartnerLookup partner,
                         SelectedChannelsRoute selectedChannels)
    : socket_(socket),
      partner_(std::move(partner)),
      selectedChannels_(std::move(selectedChannels)) {}

TalkConsole::~TalkConsole() = default;

Message TalkConsole::audioMessage() const {
    std::lock_guard lock(stateMutex_);
    return audioMessage_;
}

void TalkConsole::setAudioMessage(Message mode) {
    std::lock_guard lock(stateMutex_);
    audioMessage_ = mode;
}

std::optional<Group> TalkConsole::singleSpeakingGroup() const {
    std::lock_guard lock(stateMutex_);
    return singleSpeakingGroup_;
}

void TalkConsole::setSingleSpeakingGroup(std::optional<Group> group) {
    std::lock_guard lock(stateMutex_);
    singleSpeakingGroup_ = std::move(group);
}

bool TalkConsole::isSpeaking() const {
    std::lock_guard lock(stateMutex_);
    return isSpeaking_;
}

void TalkConsole::setSpeaking(bool speaking) {
    std::lock_guard lock(stateMutex_);
    isSpeaking_ = speaking;
}

std::shared_ptr<const Page> TalkConsole::page() const {
    std::lock_guard lock(stateMutex_);
    return page_;
}

void TalkConsole::setPage(Page page) {
    auto shared = std::make_shared<const Page>(std::move(page));
    std::lock_guard lock(stateMutex_);
    page_ = std::move(shared);
}

TalkSnapshot TalkConsole::snapshot() const {
    std::lock_guard lock(stateMutex_);
    return {audioMessage_, singleSpeakingGroup_, page_, std::nullopt};
}

bool TalkConsole::startRecording() {
    std::lock_guard capture(captureMutex_);
    return startRecordingLocked();
}

bool TalkConsole::startRecordingLocked() {
    if (recorder()) {
        return true;
    }
    // Holds the console while capture runs, as the page that started it must stay.
    auto recorder = AudioQueueRecorder::create(
        [self = shared_from_this()](const Bytes& amr) { self->sendCapturedAudio(amr); });
    if (!recorder->start()) {
        return false;
    }
    {
        std::lock_guard lock(deviceMutex_);
        recorder_ = std::move(recorder);
    }
    socket_.stopPing();
    return true;
}

void TalkConsole::stopRecording() {
    std::lock_guard capture(captureMutex_);
    stopRecordingLocked();
}

void TalkConsole::stopRecordingLocked() {
    std::shared_ptr<AudioQueueRecorder> recorder;
    {
        std::lock_guard lock(deviceMutex_);
        recorder = std::move(recorder_);
        recorder_ = nullptr;
    }
    if (!recorder) {
        return;
    }
    recorder->stop();
    socket_.startPing();
}

bool TalkConsole::applySpeaking() {
    std::lock_guard capture(captureMutex_);
    if (!isSpeaking()) {
        stopRecordingLocked();
        return true;
    }
    if (startRecordingLocked()) {
        return true;
    }
    setSpeaking(false);
    return false;
}

bool TalkConsole::startPrivateTalk(std::uint64_t losses) {
    std::lock_guard capture(captureMutex_);
    if (connectionLosses() != losses) {
        return true;
    }
    return startRecordingLocked();
}

void TalkConsole::connectionLost() {
    {
        std::lock_guard capture(captureMutex_);
        stopRecordingLocked();
        std::lock_guard lock(stateMutex_);
        isSpeaking_ = false;
        ++connectionLosses_;
    }
    stopPlayer();
}

std::uint64_t TalkConsole::connectionLosses() const {
    std::lock_guard lock(stateMutex_);
    return connectionLosses_;
}

std::shared_ptr<AudioQueueRecorder> TalkConsole::recorder() const {
    std::lock_guard lock(deviceMutex_);
    return recorder_;
}

void TalkConsole::startPlayer() {
    std::lock_guard starting(playerMutex_);
    if (player()) {
        return;
    }
    auto player = std::make_shared<AudioQueuePlayer>();
    // A speaker that does not start stays silent; the player is kept as the connection's.
    player->start();
    std::lock_guard lock(deviceMutex_);
    player_ = std::move(player);
}

void TalkConsole::stopPlayer() {
    std::lock_guard stopping(playerMutex_);
    std::shared_ptr<AudioQueuePlayer> player;
    {
        std::lock_guard lock(deviceMutex_);
        player = std::move(player_);
        player_ = nullptr;
    }
    if (player) {
        player->stop();
    }
}

std::shared_ptr<AudioQueuePlayer> TalkConsole::player() const {
    std::lock_guard lock(deviceMutex_);
    return player_;
}

void TalkConsole::play(const Bytes& amr) {
    std::shared_ptr<AudioQueuePlayer> player;
    {
        std::lock_guard lock(deviceMutex_);
        player = player_;
    }
    if (player) {
        player->play(amr);
    }
}

void TalkConsole::sendCapturedAudio(const Bytes& amr) {
    TalkSnapshot talk = snapshot();
    if (talk.mode == Message::audioChat && partner_) {
        talk.partnerId = partner_();
    }
    VoiceRoute route = routeVoiceBlock(talk, UserInfo::current().id);
    switch (route.kind) {
        case VoiceRoute::Kind::send:
            socket_.sendAudio(route.type, route.id, route.groups, amr);
            break;
        case VoiceRoute::Kind::selectedChannels:
            if (selectedChannels_) {
                selectedChannels_(amr);
            }
            break;
        case VoiceRoute::Kind::drop:
            break;
    }
}

}  // namespace intercom
