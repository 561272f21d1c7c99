#pragma once

#include <QWidget>

class QWebEngineView;

namespace intercom {

// The privacy policy in a window of its own: "privacy_policy.html" from the data folder in
// a web view that fills the window, with its text enlarged once loaded.
class PrivatePolicyPage : public QWidget {
    Q_OBJECT

  public:
    explicit PrivatePolicyPage(QWidget* parent = nullptr);

    QWebEngineView* webView() const { return webView_; }

    // Opens one more window, centred on the screen; it deletes itself when closed, and
    // nothing else keeps it.
    static PrivatePolicyPage* openWindow();

  private:
    void loadPolicy();
    void webViewDidFinishLoad(bool ok);

    QWebEngineView* webView_;
};

}  // namespace intercom
