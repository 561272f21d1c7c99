#include "platform/audio/SdlAudio.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Log.h"

namespace intercom::sdlaudio {

namespace {

std::mutex sdlMutex;
bool started = false;

// SDL 2 keeps at most 15 devices open (the first of its 16 places belongs to its legacy
// interface), and a closed device's place frees only once its close has ended, about two
// periods after it began, or never when its driver holds the device's thread. A driver with
// one device each way (SDL's dummy driver, a sound card without a mixer) likewise opens a
// device only once the last one of its direction has closed. The places and the closes of
// each direction are counted, so that an open that fails while every place is taken, some of
// them by closes under way, or while a device of its direction is closing, waits for a close
// to end; but only briefly, as it may never end.
class DevicePlaces {
  public:
    static constexpr int kPlaces = 15;
    static constexpr auto kLongestWait = std::chrono::milliseconds(500);

    void opened(SDL_AudioDeviceID device, bool isCapture) {
        std::lock_guard lock(mutex_);
        ++open_;
        isCapture_[device] = isCapture;
    }
    void closing(SDL_AudioDeviceID device) {
        std::lock_guard lock(mutex_);
        ++closing_;
        ++closingEachWay_[isCapture_[device]];
    }
    // The close could not be handed over: the device keeps its place.
    void notClosing(SDL_AudioDeviceID device) {
        std::lock_guard lock(mutex_);
        --closing_;
        --closingEachWay_[isCapture_[device]];
    }
    void closed(SDL_AudioDeviceID device) {
        {
            std::lock_guard lock(mutex_);
            --open_;
            --closing_;
            --closingEachWay_[isCapture_[device]];
            isCapture_.erase(device);
            ++closed_;
        }
        changed_.notify_all();
    }
    // True once a close under way has ended, when every place was taken or a device of the
    // same direction was closing, and `deadline` had not passed.
    bool waitForAPlace(bool isCapture, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        const std::uint64_t before = closed_;
        return ((open_ >= kPlaces && closing_ > 0) || closingEachWay_[isCapture] > 0) &&
               changed_.wait_until(lock, deadline, [&] { return closed_ != before; });
    }

    bool waitForCloses(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return closing_ == 0; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int open_ = 0;
    int closing_ = 0;
    // Indexed by whether the device captures.
    std::array<int, 2> closingEachWay_{};
    std::map<SDL_AudioDeviceID, bool> isCapture_;
    std::uint64_t closed_ = 0;
};

// Never destroyed: a close may end while the process exits.
DevicePlaces& devicePlaces() {
    static auto* const places = new DevicePlaces;
    return *places;
}

bool startLocked() {
    if (started) {
        return true;
    }
    // SDL would otherwise turn SIGINT and SIGTERM into quit events that nobody reads, and the
    // client could no longer be stopped from a terminal or by its session.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The subsystem stays up for the life of the process; a failed start (no driver yet) is
    // retried at the next open.
    started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    return started;
}

}  // namespace

bool start() {
    std::lock_guard lock(sdlMutex);
    if (!startLocked()) {
        logFailure(std::string("audio cannot start: ") + SDL_GetError());
        return false;
    }
    return true;
}

SDL_AudioDeviceID open(bool isCapture, const SDL_AudioSpec& spec) {
    std::lock_guard lock(sdlMutex);
    if (!startLocked()) {
        logFailure(std::string(isCapture ? "microphone" : "speaker") +
                   " cannot be opened: " + SDL_GetError());
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + DevicePlaces::kLongestWait;
    SDL_AudioSpec obtained{};
    SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, isCapture ? 1 : 0, &spec, &obtained, 0);
    while (device == 0 && devicePlaces().waitForAPlace(isCapture, deadline)) {
        device = SDL_OpenAudioDevice(nullptr, isCapture ? 1 : 0, &spec, &obtained, 0);
    }
    if (device == 0) {
        logFailure(std::string(isCapture ? "microphone" : "speaker") +
                   " cannot be opened: " + SDL_GetError());
        return 0;
    }
    devicePlaces().opened(device, isCapture);
    return device;
}

// What SDL 2 shares between devices: the table of open devices, whose free places an open
// looks for and fills under SDL's own lock. A pause and a status read look up only their own
// device's place, which nothing but that device's close changes, and then take that device's
// own lock, so neither needs `sdlMutex` nor waits behind an open that reaches a slow sound
// server. A close clears its own place with one store of an aligned pointer, after its device
// thread has ended; an open that reads the place meanwhile finds it taken or free, and both
// are right. So the close runs outside `sdlMutex` too: held there, one close that never ends
// would keep every later open waiting.
void close(SDL_AudioDeviceID device) {
    // The callback runs under the device's lock, which the pause takes, and checks the pause
    // under it. A capture thread that waits in the driver does not hold that lock.
    SDL_PauseAudioDevice(device, 1);
    devicePlaces().closing(device);
    try {
        std::thread([device] {
            SDL_CloseAudioDevice(device);
            devicePlaces().closed(device);
        }).detach();
    } catch (const std::system_error& error) {
        // Paused, the device does no harm where it stays.
        devicePlaces().notClosing(device);
        logFailure(std::string("an audio device stays open: ") + error.what());
    }
}

bool waitForCloses(std::chrono::milliseconds limit) {
    return devicePlaces().waitForCloses(std::chrono::steady_clock::now() + limit);
}

void pause(SDL_AudioDeviceID device, bool paused) {
    SDL_PauseAudioDevice(device, paused ? 1 : 0);
}

SDL_AudioStatus status(SDL_AudioDeviceID device) {
    return SDL_GetAudioDeviceStatus(device);
}

bool loadWAV(const char* path, SDL_AudioSpec& spec, std::uint8_t*& samples, std::uint32_t& length) {
    std::lock_guard lock(sdlMutex);
    return SDL_LoadWAV(path, &spec, &samples, &length) != nullptr;
}

}  // namespace intercom::sdlaudio
