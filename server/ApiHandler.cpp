#include "server/ApiHandler.h"

#include <map>
#include <optional>
#include <string>

#include "server/FormParser.h"

namespace intercom::server {

namespace {

using Form = std::map<std::string, std::string>;

nlohmann::json reply(const Answer& answer) {
    if (!answer.ok()) {
        return failureReply(answer.failure);
    }
    return {{"code", 1}, {"data", answer.data}, {"msg", "成功"}};
}

// Another failure than a missing field: the name of the field that is wrong.
struct FieldError {
    std::string why;
};

const std::string& textField(const Form& form, const char* name) {
    const auto found = form.find(name);
    if (found == form.end()) {
        throw FieldError{std::string("缺少参数 ") + name};
    }
    return found->second;
}

std::int64_t integerField(const Form& form, const char* name) {
    const auto value = decimalInteger(textField(form, name));
    if (!value) {
        throw FieldError{std::string("参数 ") + name + " 不是整数"};
    }
    return *value;
}

}  // namespace

nlohmann::json failureReply(const std::string& why) {
    return {{"code", 0}, {"data", nullptr}, {"msg", why}};
}

ApiHandler::ApiHandler(const ServerState& state) : state_(state) {}

nlohmann::json ApiHandler::handle(std::string_view path, std::string_view body) const {
    const auto form = parseForm(body);
    if (!form) {
        return failureReply("请求格式错误");
    }
    try {
        if (path == "/api/login") {
            return reply(state_.signIn(textField(*form, "name"), textField(*form, "code")));
        }
        if (path == "/api/groupList") {
            return reply(
                state_.groupPage(integerField(*form, "uid"), integerField(*form, "pageNum")));
        }
        if (path == "/api/chatUserList") {
            return reply(state_.callableUsers(integerField(*form, "id")));
        }
        if (path == "/api/groupListenUsers") {
            return reply(
                state_.groupListeners(integerField(*form, "id"), integerField(*form, "sceneId")));
        }
    } catch (const FieldError& error) {
        return failureReply(error.why);
    }
    return failureReply("接口不存在");
}

}  // namespace intercom::server
