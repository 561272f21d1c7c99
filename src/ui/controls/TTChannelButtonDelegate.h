#pragma once

namespace intercom {

class SpeakChannelButton;
class ListenChannelButton;

// What the channel buttons report to the page that shows them.
class TTChannelButtonDelegate {
  public:
    virtual ~TTChannelButtonDelegate() = default;

    // A speak button's single-click selection has just been turned off.
    virtual void speakChannelSelectionChanged() = 0;
    // A speak button's double-click selection has just flipped.
    virtual void speakChannelDoubleClicked(SpeakChannelButton* button) = 0;
    // A listen button's single-click selection has just flipped.
    virtual void listenChannelClicked(ListenChannelButton* button) = 0;
    // A listen button's double-click selection has just flipped.
    virtual void listenChannelDoubleClicked(ListenChannelButton* button) = 0;
};

}  // namespace intercom
