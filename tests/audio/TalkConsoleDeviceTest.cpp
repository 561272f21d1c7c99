// Received voice goes on reaching the player while a talk's devices open and close: here the
// microphone's open waits for as long as the test likes (a FIFO without a writer) and its
// close for ever (a FIFO whose writer went quiet), and neither may hold up the blocks that
// the connection plays meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/TalkConsole.h"
#include "model/Setting.h"
#include "net/signalling/TCPSocket.h"
#include "platform/audio/VoiceFormat.h"
#include "support/FifoMicrophone.h"
#include "support/KernelWait.h"

namespace intercom::test {
namespace {

using namespace std::chrono_literals;

// Plays a received voice block on the console every millisecond, counting each one played.
class Receiver {
  public:
    explicit Receiver(TalkConsole& console)
        : thread_([this, &console] {
              const Bytes amr =
                  AudioTool::shared().encode(patternBlock(VoiceFormat::kBlockBytes, 3));
              while (!stop_) {
                  console.play(amr);
                  ++played_;
                  std::this_thread::sleep_for(1ms);
              }
          }) {}
    ~Receiver() {
        stop_ = true;
        thread_.join();
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    // True once `count` more blocks have been played than when it was called; it gives up
    // after ten seconds, far longer than any device takes to open or close.
    bool playsOn(int count) const {
        const int from = played_;
        return waitUntil([&] { return played_ >= from + count; }, 10s);
    }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<int> played_{0};
    std::thread thread_;
};

TEST(TalkConsoleDevices, ReceivedVoiceFlowsWhileATalksDevicesOpenAndClose) {
    const DiskAudio disk;
    FifoMicrophone microphone(disk.folder().path() / "microphone.fifo");
    ::setenv("SDL_DISKAUDIOFILEIN", microphone.path().c_str(), 1);
    Setting setting = Setting::load();
    setting.isSidetoneBlocking = false;
    ASSERT_TRUE(setting.save());
    // Port 9 (discard) on loopback never answers: nothing leaves the console.
    TCPSocket socket("127.0.0.1", 9);
    const auto console = TalkConsole::create(socket, {}, {});
    console->startPlayer();
    ASSERT_TRUE(console->player());
    const Receiver receiver(*console);

    bool started = false;
    std::thread talk([&] { started = console->startRecording(); });
    ASSERT_TRUE(waitUntil([] { return threadWaitsIn("wait_for_partner"); }))
        << "the microphone's open waits for a writer";
    EXPECT_TRUE(receiver.playsOn(20)) << "received voice waited for the microphone to open";
    microphone.openWriter();
    // A few blocks, then nothing more: the capture thread waits for the rest for ever.
    microphone.write(Bytes(VoiceFormat::kBlockBytes * 5, 0x11));
    talk.join();
    ASSERT_TRUE(started);
    ASSERT_TRUE(console->recorder());
    ASSERT_TRUE(console->recorder()->hasSidetone()) << "the talk has its sidetone";
    ASSERT_TRUE(waitUntil([] { return threadWaitsIn("pipe_read"); }))
        << "the capture waits for a microphone that sends nothing";

    std::thread end([&] { console->stopRecording(); });
    EXPECT_TRUE(receiver.playsOn(20)) << "received voice waited for the talk's devices to close";
    // What frees a close that waits with the capture thread.
    microphone.closeWriter();
    end.join();
    EXPECT_FALSE(console->recorder());
    console->stopPlayer();
}

}  // namespace
}  // namespace intercom::test
