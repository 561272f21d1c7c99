#include "ui/pages/HomePage.h"

#include <QIcon>
#include <QLayout>
#include <QPixmap>
#include <QVBoxLayout>
#include <functional>
#include <vector>

#include "audio/Beep.h"
#include "model/UserInfo.h"
#include "net/api/APIRequests.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/Resources.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/ScreenLock.h"
#include "ui/controls/TTChannelButton.h"
#include "ui/controls/TTDoubleClickButton.h"
#include "ui/pages/Chat.h"
#include "ui/pages/ChatListPage.h"
#include "ui/pages/GroupsPage.h"
#include "ui/pages/HomePageLink.h"
#include "ui/pages/SettingPage.h"

namespace intercom {

namespace {

// The channel buttons of a panel in the order its row shows them.
std::vector<TTChannelButton*> channelButtons(QWidget* panel) {
    std::vector<TTChannelButton*> buttons;
    if (!panel || !panel->layout()) {
        return buttons;
    }
    for (int i = 0; i < panel->layout()->count(); ++i) {
        if (auto* button = qobject_cast<TTChannelButton*>(panel->layout()->itemAt(i)->widget())) {
            buttons.push_back(button);
        }
    }
    return buttons;
}

}  // namespace

HomePage::HomePage(QWidget* parent) : QWidget(parent) {}

HomePage::~HomePage() {
    // Capture and playback belong to the page on screen; a page that goes ends them.
    if (console_) {
        console_->stopRecording();
        console_->stopPlayer();
    }
}

std::unique_ptr<HomePage> HomePage::create() {
    return create(TCPSocket::shared());
}

std::unique_ptr<HomePage> HomePage::create(TCPSocket& socket) {
    // The file's root stands for the page: its views move into a new page, which then
    // finds its outlets among them.
    std::unique_ptr<QWidget> form(
        loadWidgetFromNib(QStringLiteral("HomePage"), QWidget::staticMetaObject));
    if (!form) {
        return nullptr;
    }
    auto page = std::make_unique<HomePage>();
    auto* layout = new QVBoxLayout(page.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form.release());
    page->awakeFromNib();
    QPointer<HomePage> weak(page.get());
    page->console_ = TalkConsole::create(
        socket,
        // Only asked in the private-chat mode, which the controller's own agreement sets on
        // the main queue: the controller exists by then, so the lookup never creates it here.
        [] {
            const auto other = Chat::shared().other();
            return other ? std::optional<std::int64_t>(other->id) : std::nullopt;
        },
        [weak](Bytes amr) {
            dispatch::mainQueue().async([weak, amr = std::move(amr)] {
                if (weak) {
                    weak->sendToSelectedChannels(amr);
                }
            });
        });
    page->viewDidLoad();
    return page;
}

void HomePage::setCustomView(QWidget* view) {
    customView_ = view;
    if (view) {
        view->setAttribute(Qt::WA_StyledBackground, true);
        clearTally();
    }
}

void HomePage::setListenPanel(QWidget* panel) {
    setChannelPanel(listenPanel_, panel);
}

void HomePage::setSpeakPanel(QWidget* panel) {
    setChannelPanel(speakPanel_, panel);
}

void HomePage::setChannelPanel(QPointer<QWidget>& outlet, QWidget* panel) {
    outlet = panel;
    if (panel) {
        panel->setAttribute(Qt::WA_StyledBackground, true);
        panel->setStyleSheet(QStringLiteral("#%1 { background-color: rgb(102, 119, 138); }")
                                 .arg(panel->objectName()));
        for (TTChannelButton* button : channelButtons(panel)) {
            button->setDelegate(this);
        }
    }
}

void HomePage::setUserNameLabel(QLabel* label) {
    userNameLabel_ = label;
    if (label) {
        label->setText(QString::fromStdString(UserInfo::current().name));
    }
}

void HomePage::setSmallSpeakerBtn(TTDoubleClickButton* button) {
    smallSpeakerBtn_ = button;
    // No page yet, so no groups; a failed page request leaves it so.
    showSmallBroadcastTargets(false);
}

void HomePage::showSmallBroadcastTargets(bool hasGroups) {
    if (!smallSpeakerBtn_) {
        return;
    }
    smallSpeakerBtn_->setEnabled(hasGroups);
    smallSpeakerBtn_->setIcon(QIcon(hasGroups ? QStringLiteral(":/images/ic_small_call.svg")
                                              : QStringLiteral(":/images/ic_small_call_no.svg")));
}

void HomePage::setBigSpeakerBtn(TTDoubleClickButton* button) {
    bigSpeakerBtn_ = button;
    if (button) {
        button->setEnabled(UserInfo::current().level == 1);
    }
}

void HomePage::setFloatingBtn(TTDoubleClickButton* button) {
    floatingBtn_ = button;
}

void HomePage::setSpeakingStatusBtn(TTDoubleClickButton* button) {
    speakingStatusBtn_ = button;
}

void HomePage::awakeFromNib() {
    setCustomView(findChild<QWidget*>(QStringLiteral("customView")));
    setListenPanel(findChild<QWidget*>(QStringLiteral("listenPanel")));
    setUserNameLabel(findChild<QLabel*>(QStringLiteral("userNameLabel")));
    setPageNameLabel(findChild<QLabel*>(QStringLiteral("pageNameLabel")));
    setSmallSpeakerBtn(findChild<TTDoubleClickButton*>(QStringLiteral("smallSpeakerBtn")));
    setBigSpeakerBtn(findChild<TTDoubleClickButton*>(QStringLiteral("bigSpeakerBtn")));
    setSpeakPanel(findChild<QWidget*>(QStringLiteral("speakPanel")));
    setFloatingBtn(findChild<TTDoubleClickButton*>(QStringLiteral("floatingBtn")));
    setSpeakingIcon(findChild<QLabel*>(QStringLiteral("speakingIcon")));
    setSpeakingStatusBtn(findChild<TTDoubleClickButton*>(QStringLiteral("speakingStatusBtn")));
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (button->property("tag").isValid()) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, button] { handleButtonsClick(button); });
        }
    }
}

void HomePage::viewDidLoad() {
    setupTalkButtons();
    refreshSpeakingViews();
    socket().connect(std::make_shared<Link>(this));
    requestPage();
}

void HomePage::setupTalkButtons() {
    QPointer<HomePage> weak(this);
    smallSpeakerBtn_->setDoubleClick([weak] {
        if (weak) {
            weak->toggleSmallBroadcast();
        }
    });
    bigSpeakerBtn_->setDoubleClick([weak] {
        if (weak) {
            weak->toggleBigBroadcast();
        }
    });
    const std::function<void()> channelTalk = [weak] {
        if (weak) {
            weak->toggleChannelTalk();
        }
    };
    floatingBtn_->setDoubleClick(channelTalk);
    speakingStatusBtn_->setDoubleClick(channelTalk);
}

void HomePage::showNotice(const QString& text) {
    makeToast(this, text);
}

void HomePage::handleButtonsClick(QAbstractButton* button) {
    const int tag = button->property("tag").toInt();
    if (isScreenLocked() && tag != screenLockTag) {
        showNotice(QStringLiteral("屏幕已锁定"));
        return;
    }
    switch (tag) {
        case previousPageTag:
            if (pageNum_ == 1) {
                showNotice(QStringLiteral("已经在首页了"));
            } else {
                setPageNum(pageNum_ - 1);
            }
            break;
        case nextPageTag: {
            // Before the first page there is no last page to stop at.
            const auto held = page();
            if (!held) {
                break;
            }
            if (pageNum_ == held->totalPage) {
                showNotice(QStringLiteral("已经是最后一页了"));
            } else {
                setPageNum(pageNum_ + 1);
            }
            break;
        }
        case chatListTag:
            openChatList();
            break;
        case screenLockTag:
            setScreenLocked(button->isChecked());
            showNotice(isScreenLocked() ? QStringLiteral("锁定") : QStringLiteral("解锁"));
            break;
        case groupsTag:
            openGroups();
            break;
        case settingsTag:
            openSettings();
            break;
        default:
            break;
    }
}

void HomePage::showOverlay(QWidget* overlay) {
    overlay->setParent(this);
    pinEdgesToSuperview(overlay);
    overlay->show();
    overlay->raise();
}

void HomePage::openChatList() {
    if (auto overlay = loadFromNib<ChatListPage>()) {
        showOverlay(overlay.release());
    }
}

void HomePage::openGroups() {
    auto overlay = loadFromNib<GroupsPage>();
    if (!overlay) {
        return;
    }
    // Before the first page there are no groups to list.
    const auto held = page();
    overlay->setList(held ? held->groups : std::vector<Group>{});
    showOverlay(overlay.release());
}

void HomePage::openSettings() {
    auto overlay = loadFromNib<SettingPage>();
    if (!overlay) {
        return;
    }
    showOverlay(overlay.get());
    QPointer<HomePage> weak(this);
    overlay->setSidetoneBlockingHandler([weak](bool on) {
        if (weak) {
            weak->sidetoneBlockingChanged(on);
        }
    });
    overlay->setSpeakingBeepHandler([weak](bool on) {
        if (!on) {
            Beep::shared().dropPlayer();
        } else if (weak) {
            weak->speakingBeepChanged(true);
        }
    });
    overlay.release();
}

void HomePage::setPageNum(std::int64_t pageNum) {
    pageNum_ = pageNum;
    pageNumDidChange();
}

void HomePage::pageNumDidChange() {
    requestPage();
    console_->stopRecording();
}

void HomePage::requestPage() {
    QPointer<HomePage> weak(this);
    api::requestGroupList(pageNum_, [weak](std::optional<api::JSONValue> reply) {
        if (weak) {
            weak->handleGroupListResponse(reply);
        }
    });
}

void HomePage::handleGroupListResponse(const std::optional<api::JSONValue>& reply) {
    if (!reply) {
        showNotice(QStringLiteral("服务器错误"));
        return;
    }
    const api::JSONValue data = (*reply)["data"];
    if (data.kind() != api::JSONValue::Kind::object) {
        return;
    }
    console_->setPage(Page::fromJSON(data.raw()));
    applyPage();
}

void HomePage::applyPage() {
    const auto held = page();
    if (!held) {
        return;
    }
    bindPageGroups();
    if (pageNameLabel_) {
        pageNameLabel_->setText(QString::fromStdString(held->pageName));
    }
    showSmallBroadcastTargets(!held->groups.empty());
    console_->setAudioMessage(Message::audioChannels);
    console_->setSpeaking(false);
    updateSpeaking();
    socket().sendTurnPage(*held);
}

void HomePage::bindPageGroups() {
    const auto held = page();
    if (!held) {
        return;
    }
    for (QWidget* panel : {speakPanel_.data(), listenPanel_.data()}) {
        const auto buttons = channelButtons(panel);
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            buttons[i]->setGroup(i < held->groups.size() ? std::optional<Group>(held->groups[i])
                                                         : std::nullopt);
        }
    }
}

std::vector<Group> HomePage::selectedSpeakGroups() const {
    std::vector<Group> groups;
    for (TTChannelButton* button : channelButtons(speakPanel_)) {
        if (button->isClickSelect() && button->group()) {
            groups.push_back(*button->group());
        }
    }
    return groups;
}

void HomePage::sidetoneBlockingChanged(bool on) {
    const auto recorder = console_->recorder();
    if (!recorder) {
        return;
    }
    if (on) {
        recorder->stopSidetone();
    } else {
        recorder->startSidetone();
    }
}

void HomePage::speakingBeepChanged(bool on) {
    if (!on) {
        Beep::shared().dropPlayer();
    } else if (console_->recorder()) {
        Beep::shared().playSpeakingBeep();
    }
}

void HomePage::showTally(const QColor& color) {
    if (customView_) {
        customView_->setStyleSheet(QStringLiteral("#%1 { background-color: %2; }")
                                       .arg(customView_->objectName(), color.name()));
    }
}

void HomePage::clearTally() {
    if (customView_) {
        customView_->setStyleSheet(
            QStringLiteral("#%1 { border-image: url(:/images/img_content_bg.svg); }")
                .arg(customView_->objectName()));
    }
}

}  // namespace intercom
