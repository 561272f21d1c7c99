#include "platform/audio/SdlAudio.h"

#include <mutex>

#include "platform/Log.h"

namespace intercom::sdlaudio {

namespace {

std::mutex sdlMutex;
bool started = false;

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
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID device =
        startLocked() ? SDL_OpenAudioDevice(nullptr, isCapture ? 1 : 0, &spec, &obtained, 0) : 0;
    if (device == 0) {
        logFailure(std::string(isCapture ? "microphone" : "speaker") +
                   " cannot be opened: " + SDL_GetError());
    }
    return device;
}

void close(SDL_AudioDeviceID device) {
    std::lock_guard lock(sdlMutex);
    SDL_CloseAudioDevice(device);
}

void pause(SDL_AudioDeviceID device, bool paused) {
    std::lock_guard lock(sdlMutex);
    SDL_PauseAudioDevice(device, paused ? 1 : 0);
}

SDL_AudioStatus status(SDL_AudioDeviceID device) {
    std::lock_guard lock(sdlMutex);
    return SDL_GetAudioDeviceStatus(device);
}

bool loadWAV(const char* path, SDL_AudioSpec& spec, std::uint8_t*& samples, std::uint32_t& length) {
    std::lock_guard lock(sdlMutex);
    return SDL_LoadWAV(path, &spec, &samples, &length) != nullptr;
}

}  // namespace intercom::sdlaudio
