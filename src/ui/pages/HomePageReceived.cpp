// What the home page does with the connection's reports: connect, loss and every received
// frame.
#include <QColor>
#include <cstdio>
#include <cstdlib>

#include "model/UserInfo.h"
#include "net/signalling/ByteOrder.h"
#include "net/signalling/ReceivedPayload.h"
#include "net/signalling/TCPSocket.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/TTDoubleClickButton.h"
#include "ui/pages/Chat.h"
#include "ui/pages/HomePageLink.h"

namespace intercom {

template <typename Work>
void HomePage::Link::onPage(Work work) const {
    dispatch::mainQueue().async([page = page_, work = std::move(work)]() mutable {
        if (page) {
            work(*page);
        }
    });
}

void HomePage::Link::tcpSocketDidConnect(TCPSocket& socket) {
    if (const auto console = console_.lock()) {
        console->startPlayer();
    }
    // The first page reply tells the server the page itself; after that, a server that has
    // restarted knows nothing of this client's screen, so every later connect tells it again,
    // before the listen channels, whose listener lists then reach this page too.
    const bool again = connects_++ > 0;
    onPage([&socket, again](HomePage& page) {
        if (again) {
            page.announcePage(socket);
        }
        page.announceListenChannels(socket);
    });
}

void HomePage::Link::tcpSocketDidDisconnect() {
    if (const auto console = console_.lock()) {
        console->connectionLost();
    }
    onPage([](HomePage& page) { page.refreshSpeakingViews(); });
}

void HomePage::Link::reloadPage() const {
    onPage([](HomePage& page) { page.requestPage(); });
}

void HomePage::Link::handOverCall(Message message, const Bytes& data) const {
    // Read as the message arrives, before the loss of its connection can be handled: an
    // agreement whose connection is lost by the time the main queue gets to it starts nothing.
    const auto console = console_.lock();
    const std::uint64_t losses = console ? console->connectionLosses() : 0;
    dispatch::mainQueue().async([page = page_, message, data, losses] {
        auto onAgree = [page, losses] {
            if (page) {
                page->startPrivateTalk(losses);
            }
        };
        auto onEnd = [page] {
            if (page) {
                page->endPrivateTalk();
            }
        };
        Chat::shared().handleCallMessage(message, data, onAgree, onEnd);
    });
}

void HomePage::Link::tcpSocketDidReceive(Message message, const Bytes& data) {
    switch (message) {
        case Message::audioData:
            if (const auto console = console_.lock()) {
                console->play(data);
            }
            break;
        case Message::callOnline:
        case Message::callOffline:
        case Message::callOfflineResp:
        case Message::callOnlineResp:
        case Message::callBeingOffline:
        case Message::callInChating:
        case Message::callRefuse:
        case Message::callHangup:
        case Message::callAgree:
            handOverCall(message, data);
            break;
        case Message::channelListenersChange:
            if (auto group = channelListenersGroup(data)) {
                NotificationCenter::defaultCenter().post(kChannelListenersChanged,
                                                         std::move(*group));
            }
            break;
        case Message::userOnline:
        case Message::userOffline:
            if (const auto id = payloadInt32(data)) {
                NotificationCenter::defaultCenter().post(
                    message == Message::userOnline ? kUserOnline : kUserOffline, *id);
            }
            break;
        case Message::sceneSwitch:
        case Message::pageDel:
        case Message::pageNameChange:
        case Message::pageGroupsChange:
        case Message::groupNameChange:
        case Message::groupDel:
        case Message::groupDelUser:
        case Message::groupAddUser:
        case Message::groupPermissionsChange:
            reloadPage();
            break;
        case Message::userLevelChange:
            if (const auto user = storeUserChange(message, data)) {
                onPage([level = user->level](HomePage& page) {
                    if (page.bigSpeakerBtn_) {
                        page.bigSpeakerBtn_->setEnabled(level == 1);
                    }
                });
            }
            break;
        case Message::userNameChange:
            if (const auto user = storeUserChange(message, data)) {
                onPage([name = QString::fromStdString(user->name)](HomePage& page) {
                    if (page.userNameLabel_) {
                        page.userNameLabel_->setText(name);
                    }
                });
            }
            break;
        case Message::userEnableChange:
            storeUserChange(message, data);
            break;
        case Message::chatListChange:
            NotificationCenter::defaultCenter().post(kChatListChanged);
            break;
        case Message::userDel:
            if (UserInfo::clear()) {
                // The record is flushed; leave at once without running the static destructors,
                // which the interface thread and the pool threads may still be using.
                std::fflush(nullptr);
                std::_Exit(0);
            }
            break;
        case Message::tally: {
            if (data.size() < 4) {
                break;
            }
            const std::int64_t value = bigEndianInt32(data);
            onPage([value](HomePage& page) {
                if (value == 1) {
                    page.showTally(QColor(Qt::red));
                } else if (value == 2) {
                    page.showTally(QColor(Qt::green));
                } else {
                    page.clearTally();
                }
            });
            break;
        }
        default:
            // Status replies, the talk-mode codes and unknown types carry nothing for the page.
            break;
    }
}

}  // namespace intercom
