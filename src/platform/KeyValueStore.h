#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Bytes.h"

namespace intercom {

// Bytes per key, kept in one file. Changes live in memory until `flush`, which replaces
// the file atomically, so a crash leaves either the old or the new content. Safe to call
// from any thread.
class KeyValueStore {
  public:
    // The process-wide store under $XDG_CONFIG_HOME/intercom/ (else ~/.config/intercom/).
    static KeyValueStore& standard();

    // A store kept in `file`. A file that exists but cannot be read is moved aside, next to
    // it, and the store starts empty.
    explicit KeyValueStore(std::filesystem::path file);

    void set(const std::string& key, Bytes value);
    std::optional<Bytes> get(const std::string& key) const;
    void remove(const std::string& key);
    // Writes every entry to the file; true when the new file is safely on disk, else the
    // failure is logged with its reason.
    bool flush();

    const std::filesystem::path& file() const { return file_; }

  private:
    void load();
    void moveAside() const;

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    std::map<std::string, Bytes> entries_;
    std::mutex flushMutex_;
};

}  // namespace intercom
