// The talk console of the home page: the talk buttons, the speak channels' reports, the
// talk views and the routes that need the channel buttons.
#include <QColor>
#include <QIcon>
#include <QLayout>
#include <QPalette>
#include <QPixmap>

#include "model/UserInfo.h"
#include "net/signalling/TCPSocket.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/ScreenLock.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/controls/TTDoubleClickButton.h"
#include "ui/pages/HomePage.h"

namespace intercom {

namespace {

QString statusText(Message mode, bool singleGroup) {
    switch (mode) {
        case Message::audioChannels:
            return singleGroup ? QStringLiteral("单组通话中") : QStringLiteral("通话中");
        case Message::audioSmallBroadcast:
            return QStringLiteral("小广播");
        case Message::audioBigBroadcast:
            return QStringLiteral("大广播");
        case Message::audioChat:
            return QStringLiteral("私聊中");
        default:
            return {};
    }
}

template <typename Button>
std::vector<Button*> panelButtons(QWidget* panel) {
    std::vector<Button*> buttons;
    if (!panel || !panel->layout()) {
        return buttons;
    }
    for (int i = 0; i < panel->layout()->count(); ++i) {
        if (auto* button = qobject_cast<Button*>(panel->layout()->itemAt(i)->widget())) {
            buttons.push_back(button);
        }
    }
    return buttons;
}

}  // namespace

void HomePage::updateSpeaking() {
    QPointer<HomePage> weak(this);
    dispatch::mainQueue().async([weak] {
        if (weak) {
            weak->refreshSpeakingViews();
        }
    });
    // The console reads the latch again under its capture lock: a connection loss on its own
    // thread may have turned it off since it was set here. The refresh queued above shows the
    // latch as it is then, also when the microphone could not start.
    if (!console_->applySpeaking()) {
        showNotice(QStringLiteral("麦克风不可用"));
    }
}

void HomePage::refreshSpeakingViews() {
    if (!floatingBtn_ || !speakingIcon_ || !speakingStatusBtn_) {
        return;
    }
    const bool speaking = isSpeaking();
    floatingBtn_->setIcon(QIcon(speaking ? QStringLiteral(":/images/ic_speak_enable.svg")
                                         : QStringLiteral(":/images/ic_speak_disable.svg")));
    speakingIcon_->setPixmap(QIcon(speaking ? QStringLiteral(":/images/ic_call_enable.svg")
                                            : QStringLiteral(":/images/ic_call_disable.svg"))
                                 .pixmap(speakingIcon_->size()));
    QColor color = QColor::fromRgbF(2.0 / 3, 2.0 / 3, 2.0 / 3);
    QString text = QStringLiteral("双击通话");
    if (speaking) {
        color = Qt::white;
        text = statusText(audioMessage(), singleSpeakingGroup().has_value());
    }
    speakingStatusBtn_->setText(text);
    speakingStatusBtn_->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; }").arg(color.name()));
}

void HomePage::toggleSmallBroadcast() {
    toggleBroadcast(Message::audioSmallBroadcast);
}

void HomePage::toggleBigBroadcast() {
    toggleBroadcast(Message::audioBigBroadcast);
}

void HomePage::toggleBroadcast(Message mode) {
    if (isScreenLocked()) {
        showNotice(QStringLiteral("屏幕已锁定"));
        return;
    }
    // The mode follows the capture change; the first block comes 40 ms later and the
    // queued refresh after this returns, so both see the new mode.
    if (audioMessage() == mode) {
        console_->setSpeaking(false);
        updateSpeaking();
        console_->setAudioMessage(Message::audioChannels);
    } else {
        console_->setSpeaking(true);
        updateSpeaking();
        if (isSpeaking()) {
            console_->setAudioMessage(mode);
        }
    }
}

void HomePage::toggleChannelTalk() {
    if (isScreenLocked()) {
        showNotice(QStringLiteral("屏幕已锁定"));
        return;
    }
    if (isSpeaking()) {
        console_->setSpeaking(false);
        updateSpeaking();
        console_->setAudioMessage(Message::audioChannels);
        return;
    }
    if (!singleSpeakingGroup() && selectedSpeakGroups().empty()) {
        showNotice(QStringLiteral("请先开启语音通道！"));
        return;
    }
    console_->setSpeaking(true);
    updateSpeaking();
}

void HomePage::speakChannelSelectionChanged() {
    if (!selectedSpeakGroups().empty()) {
        return;
    }
    if (audioMessage() != Message::audioChannels || singleSpeakingGroup()) {
        return;
    }
    console_->setSpeaking(false);
    updateSpeaking();
}

void HomePage::speakChannelDoubleClicked(SpeakChannelButton* button) {
    if (button->isDoubleClickSelect()) {
        console_->setSingleSpeakingGroup(button->group());
        for (SpeakChannelButton* other : panelButtons<SpeakChannelButton>(speakPanel_)) {
            if (other != button && other->isDoubleClickSelect()) {
                other->setDoubleClickSelect(false);
                other->updateBackgroundColor();
            }
        }
    } else {
        console_->setSingleSpeakingGroup(std::nullopt);
    }
    console_->setSpeaking(button->isDoubleClickSelect());
    updateSpeaking();
}

void HomePage::listenChannelClicked(ListenChannelButton* button) {
    if (button->group()) {
        socket().sendChannelListener(Message::channelListenerTap, *button->group(),
                                     button->isClickSelect());
    }
}

void HomePage::listenChannelDoubleClicked(ListenChannelButton* button) {
    if (button->group()) {
        socket().sendChannelListener(Message::channelListenerPress, *button->group(),
                                     button->isDoubleClickSelect());
    }
}

void HomePage::sendToSelectedChannels(const Bytes& amr) {
    const std::vector<Group> groups = selectedSpeakGroups();
    if (groups.empty()) {
        return;
    }
    socket().sendAudio(audioMessage(), UserInfo::current().id, groups, amr);
}

void HomePage::announcePage(TCPSocket& socket) {
    if (const auto held = page()) {
        socket.sendTurnPage(*held);
    }
}

void HomePage::announceListenChannels(TCPSocket& socket) {
    for (ListenChannelButton* button : panelButtons<ListenChannelButton>(listenPanel_)) {
        if (!button->group()) {
            continue;
        }
        if (button->isClickSelect()) {
            socket.sendChannelListener(Message::channelListenerTap, *button->group(), true);
        }
        if (button->isDoubleClickSelect()) {
            socket.sendChannelListener(Message::channelListenerPress, *button->group(), true);
        }
    }
}

void HomePage::startPrivateTalk(std::uint64_t losses) {
    console_->setAudioMessage(Message::audioChat);
    if (!console_->startPrivateTalk(losses)) {
        showNotice(QStringLiteral("麦克风不可用"));
    }
}

void HomePage::endPrivateTalk() {
    console_->stopRecording();
    console_->setAudioMessage(Message::audioChannels);
}

}  // namespace intercom
