#include "ui/pages/GroupsPage.h"

#include <QMouseEvent>
#include <QVBoxLayout>

#include "model/RecordMapping.h"
#include "net/api/APIRequests.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"

namespace intercom {

namespace {

// The users of a reply's `data.users`, or none when the reply holds no such array.
std::optional<std::vector<UserInfo>> usersOf(const api::JSONValue& reply) {
    const api::JSONValue data = reply["data"];
    if (data["users"].kind() != api::JSONValue::Kind::array) {
        return std::nullopt;
    }
    std::vector<UserInfo> users;
    mapping::mapList(data.raw(), "users", users);
    return users;
}

}  // namespace

GroupUsersAlert::Item::Item(QWidget* parent)
    : QWidget(parent), nameLabel_(new QLabel(QString(), this)) {
    QFont font = nameLabel_->font();
    font.setPixelSize(17);
    nameLabel_->setFont(font);
    nameLabel_->setTextFormat(Qt::PlainText);
    nameLabel_->setStyleSheet(QStringLiteral("color: white;"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(nameLabel_, 0, Qt::AlignCenter);
}

GroupUsersAlert::GroupUsersAlert(QWidget* parent) : QWidget(parent) {}

void GroupUsersAlert::awakeFromNib() {
    // Clear: only the panel is coloured.
    setAutoFillBackground(false);
    titleLabel_ = findChild<QLabel*>(QStringLiteral("titleLabel"));
    setCustomView(findChild<QWidget*>(QStringLiteral("customView")));
    setCollectionView(findChild<CollectionGrid*>(QStringLiteral("collectionView")));
}

void GroupUsersAlert::setCustomView(QWidget* view) {
    customView_ = view;
    if (view) {
        view->setAttribute(Qt::WA_StyledBackground, true);
        view->setStyleSheet(QStringLiteral("#%1 { background-color: rgb(0, 72, 134); "
                                           "border-radius: 30px; }")
                                .arg(view->objectName()));
    }
}

void GroupUsersAlert::setCollectionView(CollectionGrid* grid) {
    collectionView_ = grid;
    if (!grid) {
        return;
    }
    grid->registerItem([] { return new Item; });
    grid->setDataSource(
        [this] { return static_cast<int>(list_.size()); },
        [this](QWidget* item, int index) {
            static_cast<Item*>(item)->nameLabel()->setText(
                QString::fromStdString(list_[index].name));
        },
        [grid](int) {
            return QSizeF((grid->boundsWidth() - 3.0 * grid->minimumInteritemSpacing()) * 0.25, 30);
        });
}

void GroupUsersAlert::setList(std::vector<UserInfo> list) {
    list_ = std::move(list);
    if (collectionView_) {
        collectionView_->reloadData();
    }
}

void GroupUsersAlert::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) {
        return;
    }
    hide();
    setParent(nullptr);
}

GroupsPage::GroupsPage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, true);
    alert_ = loadFromNib<GroupUsersAlert>();
}

GroupsPage::~GroupsPage() = default;

void GroupsPage::awakeFromNib() {
    outlets_.awake(
        this, [this] { return static_cast<int>(list_.size()); },
        [this](TTCollectionItem* item, int index) {
            const Group group = list_[index];
            item->setGroup(group);
            item->setOnCheckClick([this, group] { pickGroup(group); });
        });
    observeChannelListeners();
}

void GroupsPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loaded_ && outlets_.collectionView()) {
        loaded_ = true;
        outlets_.collectionView()->reloadData();
    }
}

void GroupsPage::onBack() {
    hide();
    deleteLater();
}

void GroupsPage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void GroupsPage::pickGroup(const Group& group) {
    group_ = group;
    showUsers();
}

void GroupsPage::showUsers() {
    if (!alert_ || !outlets_.customView()) {
        return;
    }
    alert_->setParent(outlets_.customView());
    pinEdgesToSuperview(alert_.get());
    alert_->show();
    alert_->raise();
    if (alert_->titleLabel()) {
        alert_->titleLabel()->setText(QString::fromStdString(group_->name) + QStringLiteral(":"));
    }
    QPointer<GroupUsersAlert> alert = alert_.get();
    QPointer<GroupsPage> page = this;
    api::requestGroupListenUsers(group_->id, [page, alert](std::optional<api::JSONValue> reply) {
        if (page && alert) {
            page->handleListenUsersResponse(reply, alert);
        }
    });
}

void GroupsPage::handleListenUsersResponse(const std::optional<api::JSONValue>& reply,
                                           GroupUsersAlert* alert) {
    if (!reply) {
        return;
    }
    if (auto users = usersOf(*reply)) {
        alert->setList(std::move(*users));
    }
}

void GroupsPage::observeChannelListeners() {
    listenersObservation_ = NotificationCenter::defaultCenter().addObserver(
        kChannelListenersChanged, dispatch::mainQueue(),
        [this](const Notification& notification) { onChannelListenersChanged(notification); });
}

void GroupsPage::onChannelListenersChanged(const Notification& notification) {
    if (!group_) {
        return;
    }
    const auto* changed = std::any_cast<Group>(&notification.object);
    if (!changed || changed->id != group_->id) {
        return;
    }
    if (!alert_ || !alert_->parentWidget()) {
        return;
    }
    alert_->setList(changed->listener);
}

}  // namespace intercom
