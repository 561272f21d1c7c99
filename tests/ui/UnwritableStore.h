#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/KeyValueStore.h"

namespace intercom::test {

// While it lives, the stored settings file cannot be written: a plain file stands where its
// folder belongs, so that every flush fails, as on a full disk (a permission would not stop
// a test run as root). The folder is put back at the end.
class UnwritableStore {
  public:
    UnwritableStore() {
        std::filesystem::create_directories(folder_);
        std::filesystem::rename(folder_, aside_);
        std::ofstream(folder_) << "not a folder";
    }
    ~UnwritableStore() {
        std::filesystem::remove(folder_);
        std::filesystem::rename(aside_, folder_);
    }
    UnwritableStore(const UnwritableStore&) = delete;
    UnwritableStore& operator=(const UnwritableStore&) = delete;

    // The line that each failed flush logs, reason included.
    std::string failureLine() const {
        return "intercom: settings file " + KeyValueStore::standard().file().string() +
               " was not written: cannot create " + folder_.string() + ": " +
               std::make_error_code(std::errc::not_a_directory).message() + "\n";
    }

  private:
    std::filesystem::path folder_ = KeyValueStore::standard().file().parent_path();
    std::filesystem::path aside_ = folder_.string() + ".aside";
};

}  // namespace intercom::test
