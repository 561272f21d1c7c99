#include "model/Page.h"

#include "model/RecordMapping.h"

namespace intercom {

Page Page::fromJSON(const nlohmann::json& object) {
    Page page;
    if (!object.is_object()) {
        return page;
    }
    mapping::mapInteger(object, "totalPage", page.totalPage);
    mapping::mapText(object, "pageName", page.pageName);
    mapping::mapInteger(object, "pageNum", page.pageNum);
    mapping::mapText(object, "pageId", page.pageId);
    mapping::mapList(object, "groups", page.groups);
    return page;
}

}  // namespace intercom
