#pragma once

#include <SDL.h>

namespace intercom::sdlaudio {

// Opens an SDL audio device with exactly the format asked for (SDL converts when the
// hardware differs), starting the audio subsystem on first use. Opening is serialised
// because SDL's device table is not safe against concurrent opens. 0 when there is no
// usable driver or device; a later call tries again.
SDL_AudioDeviceID open(bool isCapture, const SDL_AudioSpec& spec);

}  // namespace intercom::sdlaudio
