#include "support/FifoMicrophone.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace intercom::test {

FifoMicrophone::FifoMicrophone(std::filesystem::path path) : path_(std::move(path)) {
    std::filesystem::remove(path_);
    EXPECT_EQ(::mkfifo(path_.c_str(), 0600), 0) << std::strerror(errno);
}

FifoMicrophone::~FifoMicrophone() {
    closeWriter();
    std::filesystem::remove(path_);
}

void FifoMicrophone::openWriter() {
    if (writer_ >= 0) {
        return;
    }
    // Read and write: on Linux such an open of a FIFO never waits for the other end.
    writer_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(writer_, 0) << std::strerror(errno);
}

void FifoMicrophone::write(const Bytes& pcm) {
    std::size_t done = 0;
    while (writer_ >= 0 && done < pcm.size()) {
        const auto count = ::write(writer_, pcm.data() + done, pcm.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        ASSERT_GT(count, 0) << std::strerror(errno);
        done += static_cast<std::size_t>(count);
    }
}

void FifoMicrophone::closeWriter() {
    if (writer_ >= 0) {
        ::close(writer_);
        writer_ = -1;
    }
}

}  // namespace intercom::test
