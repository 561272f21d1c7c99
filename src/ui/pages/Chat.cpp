#include "ui/pages/Chat.h"

#include <cstdlib>
#include <span>

#include "audio/Beep.h"
#include "net/signalling/ByteOrder.h"
#include "net/signalling/TCPSocket.h"
#include "platform/Log.h"
#include "ui/MainContentView.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTCustomAlert.h"

namespace intercom {

namespace {

// Stops whatever prompt tone plays at that moment, not only the ring.
void stopRing() {
    Beep::shared().dropPlayer();
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut-off
// sequence at the end.
bool isUTF8(std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t lead = bytes[i];
        std::size_t length = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (bytes.size() - i < length || bytes[i + 1] < low || bytes[i + 1] > high) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// The caller of an incoming request: its id, then its name to the end. None when the id is
// cut short or the name is not UTF-8, so that a broken request changes nothing.
std::optional<UserInfo> callerOf(const Bytes& data) {
    if (data.size() < 4) {
        return std::nullopt;
    }
    const auto nameBytes = std::span(data).subspan(4);
    if (!isUTF8(nameBytes)) {
        return std::nullopt;
    }
    UserInfo caller;
    caller.id = bigEndianInt32(data);
    caller.name.assign(nameBytes.begin(), nameBytes.end());
    return caller;
}

}  // namespace

Chat& Chat::shared() {
    // Kept for the life of the process, never destroyed after the interface is gone.
    static Chat* const instance = new Chat(TCPSocket::shared());
    return *instance;
}

Chat::Chat(TCPSocket& socket) : socket_(socket), alert_(loadFromNib<TTCustomAlert>()) {
    if (!alert_) {
        // The interface file is built into the program; without it no call can be answered.
        logFailure("the call dialogs cannot be made: the alert panel did not load");
        std::abort();
    }
    // On screen the content view holds the panel; if that view goes first, it takes the
    // panel with it, and the pointer must not outlive it.
    QObject::connect(alert_.get(), &QObject::destroyed, alert_.get(),
                     [this] { static_cast<void>(alert_.release()); });
}

Chat::~Chat() {
    if (alert_) {
        QObject::disconnect(alert_.get(), &QObject::destroyed, alert_.get(), nullptr);
    }
}

std::optional<UserInfo> Chat::other() const {
    std::lock_guard lock(otherMutex_);
    return other_;
}

void Chat::setOther(UserInfo user) {
    std::lock_guard lock(otherMutex_);
    other_ = std::move(user);
}

TTCustomAlert* Chat::alert() const {
    return alert_.get();
}

void Chat::handleCallMessage(Message message, const Bytes& data, Closure onAgree, Closure onEnd) {
    const auto run = [](const Closure& closure) {
        if (closure) {
            closure();
        }
    };
    switch (message) {
        case Message::callOnline: {
            auto caller = callerOf(data);
            if (!caller) {
                logFailure(
                    "ignored a call request that is cut short or whose caller name is "
                    "not UTF-8");
                return;
            }
            const std::int64_t callerId = caller->id;
            const QString content = QString::fromStdString(caller->name) + "正在呼叫您......";
            setOther(std::move(*caller));
            alert_->showDouble(
                "提示", content, "取消",
                [this, callerId] { replyToCaller(Message::callRefuse, callerId); }, "确定",
                [this, callerId] { replyToCaller(Message::callAgree, callerId); });
            showAlert();
            Beep::shared().playCallingRing();
            return;
        }
        case Message::callOffline:
            alert_->showSingle("提示", "您离线期间被呼叫了!", "知道了");
            showAlert();
            return;
        case Message::callOfflineResp:
            showNoticeInMainWindow("您的通话申请已发送");
            return;
        case Message::callOnlineResp:
            alert_->showSingle("提示", "您的通话申请已发送，请等待对方处理", "挂断",
                               [this] { replyToOther(Message::callRefuse); });
            showAlert();
            return;
        case Message::callBeingOffline:
            showNoticeInMainWindow("对方已下线");
            hideAlert();
            run(onEnd);
            stopRing();
            return;
        case Message::callInChating:
            alert_->showSingle("提示", "呼叫对象正在和别人私聊", "知道了");
            showAlert();
            return;
        case Message::callRefuse:
            hideAlert();
            stopRing();
            return;
        case Message::callHangup:
            run(onEnd);
            hideAlert();
            stopRing();
            return;
        case Message::callAgree: {
            run(onAgree);
            stopRing();
            const auto partner = other();
            if (!partner) {
                return;
            }
            alert_->showSingle("通话中......",
                               "正在和" + QString::fromStdString(partner->name) + "通话", "结束",
                               [this] { replyToOther(Message::callHangup); });
            showAlert();
            return;
        }
        default:
            return;
    }
}

void Chat::replyToCaller(Message message, std::int64_t callerId) {
    socket_.sendCallMessage(message, callerId);
}

void Chat::replyToOther(Message message) {
    // Read at the press: the party of the call the dialog stands for. With none (a reply to
    // a request that was never made) there is nobody to answer.
    if (const auto partner = other()) {
        socket_.sendCallMessage(message, partner->id);
    }
}

void Chat::showAlert() {
    // Already up: its texts and actions have just been replaced in place.
    if (!alert_->parentWidget()) {
        showOverMainWindow(alert_.get());
    }
}

void Chat::hideAlert() {
    if (alert_->parentWidget()) {
        alert_->hide();
        alert_->setParent(nullptr);
    }
}

}  // namespace intercom
