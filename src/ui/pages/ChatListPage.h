#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "model/UserInfo.h"
#include "net/api/JSONValue.h"
#include "platform/NotificationCenter.h"
#include "ui/ItemGridOutlets.h"
#include "ui/controls/CollectionGrid.h"

namespace intercom {

// The overlay from which the user places a private call: the users the server offers, two
// a row, each with a button that calls them. Keeps their online state current while open
// and fetches the list again when the server says that it changed. Built from
// "ChatListPage.ui"; it asks for the list as soon as it is built, and the back button
// deletes it.
class ChatListPage : public QWidget {
    Q_OBJECT

  public:
    explicit ChatListPage(QWidget* parent = nullptr);

    QWidget* customView() const { return outlets_.customView(); }
    CollectionGrid* collectionView() const { return outlets_.collectionView(); }
    const std::vector<UserInfo>& list() const { return list_; }

    void reloadChatUsers();
    void handleChatUserListResponse(const std::optional<api::JSONValue>& reply);
    // Calls an online user, tells an offline one that they were called.
    static void callUser(const UserInfo& user);

    Q_INVOKABLE void awakeFromNib();

  public slots:
    void onBack();

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void observeUserChanges();
    void setOnlineStatus(const Notification& notification, std::int64_t status);

    ItemGridOutlets outlets_;
    std::vector<UserInfo> list_;
    std::vector<Observation> observations_;
};

}  // namespace intercom
