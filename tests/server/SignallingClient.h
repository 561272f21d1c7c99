#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/signalling/Frame.h"
#include "net/signalling/FrameReader.h"
#include "platform/Bytes.h"

namespace intercom::test {

// Long enough for a sanitizer build on a loaded machine; only failures ever wait this long.
inline constexpr auto kFrameWait = std::chrono::seconds(20);

// One raw client connection to the server's signalling port: whole frames out, frames cut
// from the stream by the project's reader in.
class SignallingClient {
  public:
    explicit SignallingClient(std::uint16_t port);
    ~SignallingClient();
    SignallingClient(const SignallingClient&) = delete;
    SignallingClient& operator=(const SignallingClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void send(const Bytes& bytes);

    // The next frame, or none when none comes in time or the server closed the connection.
    std::optional<Frame> next(std::chrono::milliseconds limit = kFrameWait);
    // The next frame of `type`; the frames before it are appended to `skipped`.
    std::optional<Frame> nextOf(Message type, std::vector<Frame>* skipped = nullptr);
    // Every frame that arrives before the answer to a request sent now. The server handles
    // each connection's frames in order on one thread, so whatever it owed this client from
    // an earlier event is in the list: an empty list shows that nothing came.
    std::vector<Frame> drain();
    // True once the server has closed the connection (an end of stream within the wait).
    bool closedByServer();
    // Closes this end; the server sees the client drop.
    void close();

    // Binds the connection as the user; the status of the server's answer.
    std::int64_t bind(std::int64_t userId, std::int64_t sceneId);
    // Sends a request that gets a status answer; that status.
    std::int64_t request(Message type, const Bytes& frame);

  private:
    int fd_ = -1;
    FrameReader reader_;
    bool ended_ = false;
};

// The frames of the client's senders, for users of the tests' choosing.
Bytes sceneBindFrame(std::int64_t userId, std::int64_t sceneId);
Bytes dodgeFrame(std::int64_t userId, std::int64_t sceneId, std::int64_t value);
Bytes turnPageFrame(std::int64_t userId, std::int64_t sceneId,
                    const std::vector<std::int64_t>& groups);
Bytes listenerFrame(Message type, std::int64_t userId, std::int64_t sceneId, std::int64_t groupId,
                    bool flag, const std::string& name = "名字");
// `name` goes out only for the types that carry one, as the client's sender does.
Bytes callFrame(Message type, std::int64_t userId, std::int64_t sceneId, std::int64_t otherId,
                const std::string& name = {});
Bytes audioFrame(Message type, std::int64_t id, std::int64_t sceneId,
                 const std::vector<std::int64_t>& groups, const Bytes& amr);

// A voice block of 64 bytes, distinct per seed.
Bytes voiceBlock(std::uint8_t seed);
// The big-endian integer at the start of a payload.
std::int64_t leadingInt(const Bytes& payload);
std::string textAfter(const Bytes& payload, std::size_t offset);

}  // namespace intercom::test
