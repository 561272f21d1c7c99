#include "platform/audio/SdlAudio.h"

#include <mutex>

namespace intercom::sdlaudio {

namespace {
std::mutex sdlMutex;
}  // namespace

SDL_AudioDeviceID open(bool isCapture, const SDL_AudioSpec& spec) {
    static bool started = false;
    std::lock_guard lock(sdlMutex);
    if (!started) {
        // The subsystem stays up for the life of the process; a failed start (no driver
        // yet) is retried at the next open.
        started = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!started) {
            return 0;
        }
    }
    SDL_AudioSpec obtained{};
    return SDL_OpenAudioDevice(nullptr, isCapture ? 1 : 0, &spec, &obtained, 0);
}

bool loadWAV(const char* path, SDL_AudioSpec& spec, std::uint8_t*& samples, std::uint32_t& length) {
    std::lock_guard lock(sdlMutex);
    return SDL_LoadWAV(path, &spec, &samples, &length) != nullptr;
}

}  // namespace intercom::sdlaudio
