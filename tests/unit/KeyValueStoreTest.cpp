#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "platform/KeyValueStore.h"
#include "support/TempDir.h"

using intercom::Bytes;
using intercom::KeyValueStore;
using intercom::test::TempDir;

namespace {

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::filesystem::path> asideFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".unreadable-") != std::string::npos) {
            found.push_back(entry.path());
        }
    }
    return found;
}

}  // namespace

TEST(KeyValueStore, PersistsAcrossInstancesOwnerOnly) {
    TempDir dir;
    const auto file = dir.path() / "nested" / "store";
    {
        KeyValueStore store(file);
        EXPECT_FALSE(store.get("a").has_value());
        store.set("a", bytes("first"));
        store.set("b", Bytes{0, 255, 10});
        store.set("empty", Bytes{});
        store.remove("b");
        ASSERT_TRUE(store.flush());
    }
    KeyValueStore reopened(file);
    EXPECT_EQ(reopened.get("a"), bytes("first"));
    EXPECT_FALSE(reopened.get("b").has_value());
    EXPECT_EQ(reopened.get("empty"), Bytes{});

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0) << "the folder must not be open to others";
}

TEST(KeyValueStore, UnflushedChangesStayInThisProcess) {
    TempDir dir;
    const auto file = dir.path() / "store";
    KeyValueStore store(file);
    store.set("a", bytes("x"));
    ASSERT_TRUE(store.flush());
    store.set("a", bytes("y"));
    EXPECT_EQ(store.get("a"), bytes("y"));
    EXPECT_EQ(KeyValueStore(file).get("a"), bytes("x"));
}

TEST(KeyValueStore, UnreadableFileIsMovedAsideAndKept) {
    TempDir dir;
    const auto file = dir.path() / "store";
    for (const std::string garbage : {"\xa1\x61", "not cbor at all", "\xa1\x61\x61\x01"}) {
        writeFile(file, garbage);
        KeyValueStore store(file);
        EXPECT_FALSE(store.get("a").has_value());
        EXPECT_FALSE(std::filesystem::exists(file));
        store.set("a", bytes("fresh"));
        ASSERT_TRUE(store.flush());
    }
    // Three broken files within the same second must not overwrite one another.
    const auto kept = asideFiles(dir.path());
    ASSERT_EQ(kept.size(), 3U);
    std::set<std::uintmax_t> sizes;
    for (const auto& path : kept) {
        sizes.insert(std::filesystem::file_size(path));
    }
    EXPECT_EQ(sizes, (std::set<std::uintmax_t>{2, 4, 15}));
    EXPECT_EQ(KeyValueStore(file).get("a"), bytes("fresh"));
}

TEST(KeyValueStore, FlushLeavesNoTemporaryFiles) {
    TempDir dir;
    KeyValueStore store(dir.path() / "store");
    for (int i = 0; i < 5; ++i) {
        store.set("k", bytes(std::to_string(i)));
        ASSERT_TRUE(store.flush());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}
