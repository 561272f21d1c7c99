#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// The stored records share one way in and out of the key-value store: one UTF-8 JSON
// object per entry, written and then flushed.
namespace intercom::recordstore {

// The object stored under `key`, or nothing when the entry is absent or not a JSON object.
std::optional<nlohmann::json> load(const std::string& key);
// Encodes `object`; false (and the store untouched) when it cannot be encoded, else the
// result of the flush that follows the write. A failure is logged with its reason.
bool save(const std::string& key, const nlohmann::json& object);
// Removes the entry; the result of the flush that follows.
bool remove(const std::string& key);

// The stored bytes of `object`, or nothing when it holds text that is not UTF-8.
std::optional<std::string> encode(const nlohmann::json& object);
// The JSON object in `bytes`, or nothing.
std::optional<nlohmann::json> decode(const std::string& bytes);

}  // namespace intercom::recordstore
