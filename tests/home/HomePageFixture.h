#pragma once

#include <gtest/gtest.h>

#include <QLayout>
#include <QString>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "RecordingPeer.h"
#include "ServerChild.h"
#include "app/EventLoopQueue.h"
#include "net/signalling/TCPSocket.h"
#include "support/TempDir.h"
#include "ui/controls/TTDoubleClickButton.h"
#include "ui/pages/HomePage.h"

namespace intercom::test {

// The groups of the test data's pages: page 1 has three groups, page 2 none, page 3 one and
// page 4 the ids whose bytes trouble a text decoder.
inline const std::vector<std::int64_t> kFirstPageGroups = {101, 102, 103};

// The ids of a voice frame that the client sent: its id, its scene and its groups.
struct SentVoice {
    std::int64_t id = 0;
    std::int64_t sceneId = 0;
    std::vector<std::int64_t> groups;
    std::size_t voiceBytes = 0;
};
SentVoice readVoice(const Frame& frame);

// One home page on Qt's offscreen platform, its groups from the real stand-in server and its
// microphone and speaker on SDL's disk driver. The signalling connection goes either to the
// same server or to a recording peer that keeps the exact frames the client sends.
class HomePageFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the server; when one runs, stops it first and starts the new one, which knows
    // nothing of the old one's clients, on the same signalling port.
    void restartServer();

    // Opens the page for user `userId` on a connection to `signallingPort`; against the
    // server, returns once the server has bound the user.
    void open(std::uint16_t signallingPort, std::int64_t userId = 1);
    // The same without waiting for the first page to be on screen.
    void create(std::uint16_t signallingPort, std::int64_t userId = 1);
    // Opens the page against the recording peer.
    void openRecorded() { open(peer_.port()); }

    // Double-clicks a talk button and lets the queued work run.
    void doubleClick(QWidget* button);
    // A single click on a channel button; returns once it has taken effect, after the
    // double-click interval.
    void click(QWidget* button);
    // Runs everything queued on the main queue so far.
    void runQueuedWork();
    // The notice shown last, or empty.
    QString lastNotice() const;
    // Waits until the voice frames the peer received number `count` more than now, and
    // returns the newest.
    std::vector<Frame> nextVoiceFrames(std::size_t count);
    std::vector<Frame> voiceFrames() const;
    // Lets a few voice blocks go out, then reads the newest, which must be of type `expected`.
    SentVoice nextBlock(Message expected);
    std::size_t pings() const { return peer_.framesOf(Message::ping).size(); }
    // Waits for the page reply and the turnPage that follows it.
    void waitForPage(std::int64_t pageNum);
    // Waits until the server has bound the connection of user `userId`.
    void waitUntilBound(std::int64_t userId);
    void writeMicrophone(std::chrono::seconds length);
    void pushToClient(std::int64_t uid, Message type, const std::string& payloadHex);

    template <typename Button>
    Button* button(QWidget* panel, int index) const;

    std::unique_ptr<ServerChild> server_;
    RecordingPeer peer_;
    TempDir audioFolder_;
    std::unique_ptr<TCPSocket> socket_;
    std::unique_ptr<HomePage> page_;
    std::shared_ptr<EventLoopQueue> queue_ = std::make_shared<EventLoopQueue>();
    ulong clock_ = 1000;
};

template <typename Button>
Button* HomePageFixture::button(QWidget* panel, int index) const {
    return qobject_cast<Button*>(panel->layout()->itemAt(index)->widget());
}

}  // namespace intercom::test
