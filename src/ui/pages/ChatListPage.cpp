#include "ui/pages/ChatListPage.h"

#include <QMouseEvent>

#include "model/RecordMapping.h"
#include "net/api/APIRequests.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/pages/Chat.h"

namespace intercom {

namespace {

// The received-message handling posts ids as 64-bit integers; a plain int is taken too.
std::optional<std::int64_t> userIdOf(const std::any& object) {
    if (const auto* id = std::any_cast<std::int64_t>(&object)) {
        return *id;
    }
    if (const auto* id = std::any_cast<int>(&object)) {
        return *id;
    }
    return std::nullopt;
}

}  // namespace

ChatListPage::ChatListPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
}

void ChatListPage::awakeFromNib() {
    outlets_.awake(
        this, [this] { return static_cast<int>(list_.size()); },
        [this](TTCollectionItem* item, int index) {
            const UserInfo user = list_[index];
            item->setUserInfo(user);
            item->setOnCheckClick([user] { callUser(user); });
        });
    reloadChatUsers();
    observeUserChanges();
}

void ChatListPage::onBack() {
    hide();
    deleteLater();
}

void ChatListPage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ChatListPage::reloadChatUsers() {
    QPointer<ChatListPage> page = this;
    api::requestChatUserList([page](std::optional<api::JSONValue> reply) {
        if (page) {
            page->handleChatUserListResponse(reply);
        }
    });
}

void ChatListPage::handleChatUserListResponse(const std::optional<api::JSONValue>& reply) {
    if (!reply) {
        return;
    }
    const api::JSONValue data = (*reply)["data"];
    if (data["users"].kind() == api::JSONValue::Kind::array) {
        std::vector<UserInfo> users;
        mapping::mapList(data.raw(), "users", users);
        list_ = std::move(users);
        if (CollectionGrid* grid = outlets_.collectionView()) {
            grid->reloadData();
        }
        return;
    }
    const api::JSONValue msg = (*reply)["msg"];
    if (msg.kind() == api::JSONValue::Kind::string) {
        makeToast(this, QString::fromStdString(msg.raw().get<std::string>()));
    }
}

void ChatListPage::observeUserChanges() {
    auto& center = NotificationCenter::defaultCenter();
    observations_.push_back(center.addObserver(
        kUserOnline, dispatch::mainQueue(),
        [this](const Notification& notification) { setOnlineStatus(notification, 1); }));
    observations_.push_back(center.addObserver(
        kUserOffline, dispatch::mainQueue(),
        [this](const Notification& notification) { setOnlineStatus(notification, 0); }));
    observations_.push_back(center.addObserver(kChatListChanged, dispatch::mainQueue(),
                                               [this](const Notification&) { reloadChatUsers(); }));
}

void ChatListPage::setOnlineStatus(const Notification& notification, std::int64_t status) {
    if (list_.empty()) {
        return;
    }
    const auto id = userIdOf(notification.object);
    if (!id) {
        return;
    }
    for (UserInfo& user : list_) {
        if (user.id == *id) {
            user.onlineStatus = status;
            if (CollectionGrid* grid = outlets_.collectionView()) {
                grid->reloadData();
            }
            return;
        }
    }
}

void ChatListPage::callUser(const UserInfo& user) {
    Chat& chat = Chat::shared();
    if (user.onlineStatus == 1) {
        chat.setOther(user);
        TCPSocket::shared().sendCallMessage(Message::callOnline, user.id);
    } else if (user.onlineStatus == 0) {
        TCPSocket::shared().sendCallMessage(Message::callOffline, user.id);
    }
}

}  // namespace intercom
