#pragma once

#include <SDL.h>

#include <chrono>
#include <cstdint>

namespace intercom::sdlaudio {

// Opens an SDL audio device with exactly the format asked for (SDL converts when the
// hardware differs), starting the audio subsystem on first use. Opening is serialised
// because SDL's device table is not safe against concurrent opens. When every place in that
// table is taken, some by devices still closing, or when the driver keeps one device each way
// and one of this direction is still closing, it waits for a close to end, at most half a
// second. 0 when there is no usable driver or device; a later call tries again.
SDL_AudioDeviceID open(bool isCapture, const SDL_AudioSpec& spec);

// Starts the audio subsystem, once for the life of the process; false, logged, when no driver
// starts (a later call tries again). SDL takes no signal handlers: SIGINT and SIGTERM stay
// the application's to handle.
bool start();

// Pauses the device, after which its callback never runs again, so that what the callback
// reaches may go as soon as this returns; the device itself closes on a thread of its own that
// nobody waits for. SDL's close waits for the device's thread, which a driver can keep for
// good (a sound server's source that stops delivering holds the capture thread in its read):
// such a device stays open, the caller never waits for it, and a later open only as `open`
// says.
void close(SDL_AudioDeviceID device);
// Waits, at most `limit`, until no close handed over above is still under way; false when one
// still is. A device's thread reads the process environment until its close has ended.
bool waitForCloses(std::chrono::milliseconds limit);
// Neither waits for an open or a close: each touches only its own device.
void pause(SDL_AudioDeviceID device, bool paused);
SDL_AudioStatus status(SDL_AudioDeviceID device);

// `SDL_LoadWAV`, serialised with the opens: reading a wave file consults SDL's hints, which
// the start of the audio subsystem changes and which are not safe against concurrent use.
// False when the file cannot be read as a wave file; release the samples with SDL_FreeWAV.
bool loadWAV(const char* path, SDL_AudioSpec& spec, std::uint8_t*& samples, std::uint32_t& length);

}  // namespace intercom::sdlaudio
