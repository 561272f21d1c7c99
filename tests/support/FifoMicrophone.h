#pragma once

#include <filesystem>

#include "platform/Bytes.h"

namespace intercom::test {

// A microphone for SDL's disk driver that is a FIFO rather than a file: a capture device that
// opens it waits until there is a writer, and one that reads it waits for what the writer
// sends, as with a sound server's source that stops delivering. Closing the writing end ends
// the file, which lets every waiting reader go on.
class FifoMicrophone {
  public:
    explicit FifoMicrophone(std::filesystem::path path);
    // Closes the writing end, then removes the FIFO.
    ~FifoMicrophone();
    FifoMicrophone(const FifoMicrophone&) = delete;
    FifoMicrophone& operator=(const FifoMicrophone&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Opens the writing end without waiting for a reader; a device waiting to open the
    // microphone goes on.
    void openWriter();
    // Sends PCM; no more than the FIFO holds (64 KiB) while nobody reads.
    void write(const Bytes& pcm);
    void closeWriter();

  private:
    std::filesystem::path path_;
    int writer_ = -1;
};

}  // namespace intercom::test
