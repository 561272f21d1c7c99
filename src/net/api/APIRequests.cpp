#include "net/api/APIRequests.h"

#include "model/UserInfo.h"
#include "net/api/APIConfig.h"

namespace intercom::api {

void requestLogin(const std::string& name, const std::string& code, JSONCompletion completion) {
    postForm(apiBaseURL() + "/api/login", {{"name", name}, {"code", code}}, std::move(completion));
}

void requestChatUserList(JSONCompletion completion) {
    postForm(apiBaseURL() + "/api/chatUserList", {{"id", UserInfo::current().id}},
             std::move(completion));
}

void requestGroupList(std::int64_t pageNum, JSONCompletion completion) {
    postForm(apiBaseURL() + "/api/groupList",
             {{"uid", UserInfo::current().id}, {"pageNum", pageNum}}, std::move(completion));
}

void requestGroupListenUsers(std::int64_t groupId, JSONCompletion completion) {
    postForm(apiBaseURL() + "/api/groupListenUsers",
             {{"id", groupId}, {"sceneId", UserInfo::current().sceneId}}, std::move(completion));
}

}  // namespace intercom::api
