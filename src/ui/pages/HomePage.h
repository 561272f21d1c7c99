#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "audio/TalkConsole.h"
#include "model/Group.h"
#include "model/Page.h"
#include "net/api/JSONValue.h"
#include "net/signalling/Message.h"
#include "ui/controls/TTChannelButtonDelegate.h"
#include "ui/controls/TTDoubleClickButton.h"

namespace intercom {

class TCPSocket;
class TCPSocketDelegate;

// The main screen: two rows of channel buttons bound to one page of groups, the talk
// buttons, the talk state and everything the signalling connection reports. `create` builds
// it from "HomePage.ui" and starts it.
//
// The screen and paging live in HomePage.cpp, the talk console in HomePageTalk.cpp and the
// received-message handling in HomePageReceived.cpp.
class HomePage : public QWidget, public TTChannelButtonDelegate {
  public:
    // The tags of the six buttons that share `handleButtonsClick`, as the "tag" property of
    // each in the interface file.
    enum Tag {
        previousPageTag = 1000,
        nextPageTag = 1001,
        chatListTag = 1002,
        screenLockTag = 1003,
        groupsTag = 1004,
        settingsTag = 1005,
    };

    explicit HomePage(QWidget* parent = nullptr);
    ~HomePage() override;

    // Loads the page from its interface file, makes it the delegate of `socket` and asks
    // for the first page of groups; null when the interface file cannot be loaded.
    static std::unique_ptr<HomePage> create(TCPSocket& socket);
    static std::unique_ptr<HomePage> create();

    // Outlets, found by object name when the interface file has been loaded.
    QWidget* customView() const { return customView_; }
    void setCustomView(QWidget* view);
    QWidget* listenPanel() const { return listenPanel_; }
    void setListenPanel(QWidget* panel);
    QLabel* userNameLabel() const { return userNameLabel_; }
    void setUserNameLabel(QLabel* label);
    QLabel* pageNameLabel() const { return pageNameLabel_; }
    void setPageNameLabel(QLabel* label) { pageNameLabel_ = label; }
    TTDoubleClickButton* smallSpeakerBtn() const { return smallSpeakerBtn_; }
    void setSmallSpeakerBtn(TTDoubleClickButton* button);
    TTDoubleClickButton* bigSpeakerBtn() const { return bigSpeakerBtn_; }
    void setBigSpeakerBtn(TTDoubleClickButton* button);
    QWidget* speakPanel() const { return speakPanel_; }
    void setSpeakPanel(QWidget* panel);
    TTDoubleClickButton* floatingBtn() const { return floatingBtn_; }
    void setFloatingBtn(TTDoubleClickButton* button);
    QLabel* speakingIcon() const { return speakingIcon_; }
    void setSpeakingIcon(QLabel* icon) { speakingIcon_ = icon; }
    TTDoubleClickButton* speakingStatusBtn() const { return speakingStatusBtn_; }
    void setSpeakingStatusBtn(TTDoubleClickButton* button);

    // The talk state (shared with the connection's and the recorder's threads).
    std::optional<Group> singleSpeakingGroup() const { return console_->singleSpeakingGroup(); }
    Message audioMessage() const { return console_->audioMessage(); }
    bool isSpeaking() const { return console_->isSpeaking(); }
    std::shared_ptr<const Page> page() const { return console_->page(); }
    std::int64_t pageNum() const { return pageNum_; }
    void setPageNum(std::int64_t pageNum);
    const std::shared_ptr<TalkConsole>& console() const { return console_; }
    TCPSocket& socket() const { return console_->socket(); }

    // Finds the outlets among the views of the interface file.
    void awakeFromNib();
    void viewDidLoad();
    void setupTalkButtons();

    // The group-page reply: a good one becomes the page on screen.
    void handleGroupListResponse(const std::optional<api::JSONValue>& reply);
    void applyPage();
    void bindPageGroups();

    // The talk console.
    // Applies the latch: queues the refresh of the talk views and starts or stops capture;
    // when the microphone cannot start, says so and leaves the latch off.
    void updateSpeaking();
    void refreshSpeakingViews();
    void toggleSmallBroadcast();
    void toggleBigBroadcast();
    void toggleChannelTalk();
    void sendToSelectedChannels(const Bytes& amr);
    // Tells the server the groups of the page on screen, if there is one.
    void announcePage(TCPSocket& socket);
    void announceListenChannels(TCPSocket& socket);
    // The private call's two closures. The start is given the console's count of connection
    // losses as the agreement arrived (see `TalkConsole::startPrivateTalk`).
    void startPrivateTalk(std::uint64_t losses);
    void endPrivateTalk();

    void speakChannelSelectionChanged() override;
    void speakChannelDoubleClicked(SpeakChannelButton* button) override;
    void listenChannelClicked(ListenChannelButton* button) override;
    void listenChannelDoubleClicked(ListenChannelButton* button) override;

    // The two closures handed to the settings overlay.
    void sidetoneBlockingChanged(bool on);
    void speakingBeepChanged(bool on);

    // The tally colours of the background.
    void showTally(const QColor& color);
    void clearTally();

    // The action of the six tagged buttons.
    void handleButtonsClick(QAbstractButton* button);

  private:
    class Link;

    // Colours a channel panel and makes this page the delegate of its buttons.
    void setChannelPanel(QPointer<QWidget>& outlet, QWidget* panel);
    void toggleBroadcast(Message mode);
    // The small broadcast goes to every group of the page on screen: without any, it is off.
    void showSmallBroadcastTargets(bool hasGroups);
    void pageNumDidChange();
    void requestPage();
    // Adds an overlay over the whole page; it removes itself with its back button.
    void showOverlay(QWidget* overlay);
    void openChatList();
    void openGroups();
    void openSettings();
    std::vector<Group> selectedSpeakGroups() const;
    void showNotice(const QString& text);

    QPointer<QWidget> customView_;
    QPointer<QWidget> listenPanel_;
    QPointer<QLabel> userNameLabel_;
    QPointer<QLabel> pageNameLabel_;
    QPointer<TTDoubleClickButton> smallSpeakerBtn_;
    QPointer<TTDoubleClickButton> bigSpeakerBtn_;
    QPointer<QWidget> speakPanel_;
    QPointer<TTDoubleClickButton> floatingBtn_;
    QPointer<QLabel> speakingIcon_;
    QPointer<TTDoubleClickButton> speakingStatusBtn_;
    std::int64_t pageNum_ = 1;
    std::shared_ptr<TalkConsole> console_;
};

}  // namespace intercom
