#include "model/RecordStore.h"

#include "platform/KeyValueStore.h"
#include "platform/Log.h"

namespace intercom::recordstore {

std::optional<std::string> encode(const nlohmann::json& object) {
    try {
        return object.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<nlohmann::json> decode(const std::string& bytes) {
    auto object = nlohmann::json::parse(bytes, nullptr, false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    return object;
}

std::optional<nlohmann::json> load(const std::string& key) {
    const auto bytes = KeyValueStore::standard().get(key);
    if (!bytes) {
        return std::nullopt;
    }
    return decode(std::string(bytes->begin(), bytes->end()));
}

bool save(const std::string& key, const nlohmann::json& object) {
    const auto bytes = encode(object);
    if (!bytes) {
        logFailure("the record " + key + " was not stored: it holds text that is not UTF-8");
        return false;
    }
    auto& store = KeyValueStore::standard();
    store.set(key, Bytes(bytes->begin(), bytes->end()));
    return store.flush();
}

bool remove(const std::string& key) {
    auto& store = KeyValueStore::standard();
    store.remove(key);
    return store.flush();
}

}  // namespace intercom::recordstore
