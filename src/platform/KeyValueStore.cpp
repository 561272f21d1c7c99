#include "platform/KeyValueStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>
#include <system_error>

#include "platform/Log.h"

namespace intercom {

namespace {

constexpr std::string_view kFileName = "defaults.cbor";

std::filesystem::path configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : "/tmp";
    }
    return std::filesystem::path(home) / ".config";
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

  private:
    int fd_;
};

// The text of an errno value; strerror is not safe on the pool threads that also save.
std::string reasonOf(int error) {
    return std::generic_category().message(error);
}

bool writeAll(int fd, const std::vector<std::uint8_t>& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const auto n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            // A write that takes nothing gives no reason of its own.
            errno = ENOSPC;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> readAll(const std::filesystem::path& path, bool& missing) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    missing = fd.get() < 0 && errno == ENOENT;
    if (fd.get() < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    std::uint8_t chunk[8192];
    for (;;) {
        const auto n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return data;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
}

}  // namespace

KeyValueStore& KeyValueStore::standard() {
    // Never destroyed: pool threads may still read a record while the process exits.
    static auto* store = new KeyValueStore(configHome() / "intercom" / kFileName);
    return *store;
}

KeyValueStore::KeyValueStore(std::filesystem::path file) : file_(std::move(file)) {
    load();
}

void KeyValueStore::load() {
    bool missing = false;
    const auto data = readAll(file_, missing);
    if (missing) {
        return;
    }
    try {
        if (!data) {
            throw std::runtime_error("unreadable");
        }
        const auto root = nlohmann::json::from_cbor(*data);
        if (!root.is_object()) {
            throw std::runtime_error("not an object");
        }
        std::map<std::string, Bytes> entries;
        for (const auto& [key, value] : root.items()) {
            if (!value.is_binary()) {
                throw std::runtime_error("not bytes");
            }
            entries.emplace(key, value.get_binary());
        }
        entries_ = std::move(entries);
    } catch (const std::exception&) {
        moveAside();
    }
}

void KeyValueStore::moveAside() const {
    // The broken file may still hold something the user wants back, so it is kept under a
    // name that no earlier broken file has taken.
    const auto stamp =
        std::chrono::system_clock::now().time_since_epoch() / std::chrono::seconds(1);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        // Appended piece by piece: GCC 12 at -O3 reports a false overlap in a string literal
        // prepended to a temporary string.
        auto aside = file_;
        aside += ".unreadable-";
        aside += std::to_string(stamp);
        if (attempt > 0) {
            aside += "-";
            aside += std::to_string(attempt);
        }
        if (::link(file_.c_str(), aside.c_str()) == 0) {
            ::unlink(file_.c_str());
            logFailure("unreadable settings file " + file_.string() + " moved aside to " +
                       aside.string());
            return;
        }
        if (errno != EEXIST) {
            logFailure("unreadable settings file " + file_.string() +
                       " cannot be moved aside: " + reasonOf(errno));
            return;
        }
    }
}

void KeyValueStore::set(const std::string& key, Bytes value) {
    std::lock_guard lock(mutex_);
    entries_[key] = std::move(value);
}

std::optional<Bytes> KeyValueStore::get(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void KeyValueStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

bool KeyValueStore::flush() {
    // One flush at a time, so that the file on disk ends up as the latest snapshot.
    std::lock_guard flushing(flushMutex_);
    std::vector<std::uint8_t> data;
    {
        std::lock_guard lock(mutex_);
        auto root = nlohmann::json::object();
        for (const auto& [key, value] : entries_) {
            root[key] = nlohmann::json::binary(value);
        }
        data = nlohmann::json::to_cbor(root);
    }

    // No caller can show that a change was not kept, so the reason is logged here, where it
    // is known.
    const auto failed = [this](const std::string& reason) {
        logFailure("settings file " + file_.string() + " was not written: " + reason);
        return false;
    };
    const auto folder = file_.parent_path();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return failed("cannot create " + folder.string() + ": " + error.message());
    }
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::replace, error);

    auto temporary = file_;
    temporary += ".XXXXXX";
    std::string pattern = temporary.string();
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return failed("cannot create a temporary file: " + reasonOf(errno));
    }
    const char* step = nullptr;
    if (::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0) {
        step = "cannot set its mode: ";
    } else if (!writeAll(fd.get(), data)) {
        step = "cannot write: ";
    } else if (::fsync(fd.get()) != 0) {
        step = "cannot sync: ";
    } else if (!fd.close()) {
        step = "cannot close: ";
    } else if (::rename(pattern.c_str(), file_.c_str()) != 0) {
        step = "cannot replace it: ";
    }
    if (step != nullptr) {
        const int reason = errno;
        ::unlink(pattern.c_str());
        return failed(step + reasonOf(reason));
    }
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
        return failed("cannot sync its folder: " + reasonOf(errno));
    }
    return true;
}

}  // namespace intercom
