#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace intercom {

// Keeps the client to one process per user and configuration folder. A second start hands
// over to the running one, which brings its window back, and then ends: this stands in for
// reopening a running application.
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    // `socketPath` names the local socket that the running instance listens on.
    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);

    // The socket of this user and configuration folder, in the runtime folder.
    static QString defaultSocketPath();

    // True when another instance runs and has taken the hand-over; otherwise this process
    // is the running one from now on and listens for later starts.
    bool handOverOrListen();

  signals:
    void reopenRequested();

  private:
    bool handOver();
    void serve(class QLocalSocket* connection);

    QString socketPath_;
    QLocalServer server_;
};

}  // namespace intercom
