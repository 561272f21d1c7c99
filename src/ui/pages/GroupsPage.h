#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "model/Group.h"
#include "model/UserInfo.h"
#include "net/api/JSONValue.h"
#include "platform/NotificationCenter.h"
#include "ui/ItemGridOutlets.h"
#include "ui/controls/CollectionGrid.h"

namespace intercom {

// The listeners of one group, over the groups panel, four names a row. A click anywhere
// on it closes it. Built from "GroupUsersAlert.ui".
class GroupUsersAlert : public QWidget {
    Q_OBJECT

  public:
    // One name of the grid.
    class Item : public QWidget {
      public:
        explicit Item(QWidget* parent = nullptr);
        QLabel* nameLabel() const { return nameLabel_; }

      private:
        QLabel* nameLabel_;
    };

    explicit GroupUsersAlert(QWidget* parent = nullptr);

    QWidget* customView() const { return customView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    CollectionGrid* collectionView() const { return collectionView_; }

    const std::vector<UserInfo>& list() const { return list_; }
    // Replaces the names and shows them.
    void setList(std::vector<UserInfo> list);

    Q_INVOKABLE void awakeFromNib();

  protected:
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void setCustomView(QWidget* view);
    void setCollectionView(CollectionGrid* grid);

    QPointer<QWidget> customView_;
    QPointer<QLabel> titleLabel_;
    QPointer<CollectionGrid> collectionView_;
    std::vector<UserInfo> list_;
};

// The overlay that lists the groups of the page on the home screen, two a row; a group's
// button shows who listens to it. Built from "GroupsPage.ui"; the home page hands it the
// groups with `setList`, adds it over its view and leaves it: the back button deletes it.
class GroupsPage : public QWidget {
    Q_OBJECT

  public:
    explicit GroupsPage(QWidget* parent = nullptr);
    ~GroupsPage() override;

    QWidget* customView() const { return outlets_.customView(); }
    CollectionGrid* collectionView() const { return outlets_.collectionView(); }

    const std::vector<Group>& list() const { return list_; }
    // Takes the groups to show. The grid shows them when it first lays out; a later
    // change does not refresh a grid already shown.
    void setList(std::vector<Group> list) { list_ = std::move(list); }
    const std::optional<Group>& group() const { return group_; }
    GroupUsersAlert* alert() const { return alert_.get(); }

    void pickGroup(const Group& group);
    void handleListenUsersResponse(const std::optional<api::JSONValue>& reply,
                                   GroupUsersAlert* alert);

    Q_INVOKABLE void awakeFromNib();

  public slots:
    void onBack();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void showUsers();
    void observeChannelListeners();
    void onChannelListenersChanged(const Notification& notification);

    ItemGridOutlets outlets_;
    std::vector<Group> list_;
    std::optional<Group> group_;
    std::unique_ptr<GroupUsersAlert> alert_;
    Observation listenersObservation_;
    bool loaded_ = false;
};

}  // namespace intercom
