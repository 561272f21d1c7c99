#pragma once

#include <cstdint>
#include <string>

#include "net/api/PostForm.h"

// The four questions the client asks the server. Each completion runs once on the main
// queue, with nothing when the request failed.
namespace intercom::api {

void requestLogin(const std::string& name, const std::string& code, JSONCompletion completion);
// The users the signed-in user may call.
void requestChatUserList(JSONCompletion completion);
// One page of the signed-in user's groups.
void requestGroupList(std::int64_t pageNum, JSONCompletion completion);
// The users listening to one group of the signed-in user's scene.
void requestGroupListenUsers(std::int64_t groupId, JSONCompletion completion);

}  // namespace intercom::api
