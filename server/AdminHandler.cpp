#include "server/AdminHandler.h"

#include <limits>
#include <optional>
#include <string>

#include "net/signalling/FrameBuilder.h"
#include "server/ApiHandler.h"
#include "server/FormParser.h"

namespace intercom::server {

namespace {

std::optional<Bytes> bytesFromHex(const std::string& text) {
    if (text.size() % 2 != 0) {
        return std::nullopt;
    }
    Bytes bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigitValue(text[i]);
        const int low = hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return bytes;
}

}  // namespace

AdminHandler::AdminHandler(Push push) : push_(std::move(push)) {}

nlohmann::json AdminHandler::push(std::string_view body) const {
    const auto form = parseForm(body);
    if (!form || !form->contains("uid") || !form->contains("type") || !form->contains("payload")) {
        return failureReply("需要参数 uid、type 和 payload");
    }
    const auto userId = decimalInteger(form->at("uid"));
    if (!userId) {
        return failureReply("参数 uid 不是整数");
    }
    const auto type = decimalInteger(form->at("type"));
    if (!type || *type < std::numeric_limits<std::int32_t>::min() ||
        *type > std::numeric_limits<std::int32_t>::max()) {
        return failureReply("参数 type 不是 32 位整数");
    }
    const auto payload = bytesFromHex(form->at("payload"));
    if (!payload) {
        return failureReply("参数 payload 不是十六进制数字");
    }
    const auto frame = makeFrame(static_cast<std::int32_t>(*type), *payload);
    if (!frame) {
        return failureReply("参数 payload 过长");
    }
    if (!push_(*userId, *frame)) {
        return failureReply("用户不在线");
    }
    return {{"code", 1}, {"data", nullptr}, {"msg", "成功"}};
}

}  // namespace intercom::server
