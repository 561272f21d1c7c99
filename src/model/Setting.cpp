#include "model/Setting.h"

#include "model/RecordMapping.h"
#include "model/RecordStore.h"

namespace intercom {

namespace {
constexpr const char* kEntry = "Setting";
}

Setting Setting::load() {
    const auto object = recordstore::load(kEntry);
    if (!object) {
        return {};
    }
    return fromStoredJSON(*object).value_or(Setting{});
}

bool Setting::save() const {
    return recordstore::save(kEntry, toStoredJSON());
}

nlohmann::json Setting::toStoredJSON() const {
    return {{"isSidetoneBlocking", isSidetoneBlocking},
            {"isScreenAlwaysOn", isScreenAlwaysOn},
            {"isSpeakingBeep", isSpeakingBeep},
            {"isCallingRing", isCallingRing},
            {"isCallingShock", isCallingShock},
            {"isReconnectBeep", isReconnectBeep},
            {"audioEnhance", audioEnhance},
            {"channelDodge", channelDodge}};
}

std::optional<Setting> Setting::fromStoredJSON(const nlohmann::json& object) {
    Setting setting;
    const bool whole = stored::readBool(object, "isSidetoneBlocking", setting.isSidetoneBlocking) &&
                       stored::readBool(object, "isScreenAlwaysOn", setting.isScreenAlwaysOn) &&
                       stored::readBool(object, "isSpeakingBeep", setting.isSpeakingBeep) &&
                       stored::readBool(object, "isCallingRing", setting.isCallingRing) &&
                       stored::readBool(object, "isCallingShock", setting.isCallingShock) &&
                       stored::readBool(object, "isReconnectBeep", setting.isReconnectBeep) &&
                       stored::readInteger(object, "audioEnhance", setting.audioEnhance) &&
                       stored::readInteger(object, "channelDodge", setting.channelDodge);
    if (!whole) {
        return std::nullopt;
    }
    return setting;
}

}  // namespace intercom
