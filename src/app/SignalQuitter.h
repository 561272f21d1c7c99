#pragma once

#include <QObject>

class QSocketNotifier;

namespace intercom {

// Quits the application on SIGINT and SIGTERM the way its quit action does: the handler only
// writes a byte to a pipe, and the quit runs from the event loop, which watches the pipe.
class SignalQuitter : public QObject {
  public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;
    SignalQuitter(const SignalQuitter&) = delete;
    SignalQuitter& operator=(const SignalQuitter&) = delete;

  private:
    void quit();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace intercom
