#include "model/Group.h"

#include "model/RecordMapping.h"

namespace intercom {

Group Group::fromJSON(const nlohmann::json& object) {
    Group group;
    if (!object.is_object()) {
        return group;
    }
    mapping::mapInteger(object, "id", group.id);
    mapping::mapInteger(object, "permissionSpeak", group.permissionSpeak);
    mapping::mapInteger(object, "permissionListen", group.permissionListen);
    mapping::mapText(object, "sceneId", group.sceneId);
    mapping::mapText(object, "companyId", group.companyId);
    mapping::mapText(object, "name", group.name);
    mapping::mapText(object, "remark", group.remark);
    mapping::mapList(object, "listener", group.listener);
    return group;
}

}  // namespace intercom
