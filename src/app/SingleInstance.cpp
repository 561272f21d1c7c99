#include "app/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace intercom {

namespace {

constexpr int kHandOverTimeoutMs = 5000;
const QByteArray kReopen = "reopen\n";
const QByteArray kDone = "done\n";

}  // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = server_.nextPendingConnection()) {
            serve(connection);
        }
    });
}

QString SingleInstance::defaultSocketPath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QByteArray key =
        QCryptographicHash::hash(QDir(config).absolutePath().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists()) {
        folder = QDir::tempPath();
    }
    return QStringLiteral("%1/intercom-%2-%3.sock")
        .arg(folder)
        .arg(::getuid())
        .arg(QString::fromLatin1(key));
}

bool SingleInstance::handOverOrListen() {
    // Two starts at the same moment must not both decide to be the running one.
    QLockFile lock(socketPath_ + QStringLiteral(".lock"));
    lock.tryLock(kHandOverTimeoutMs);
    if (handOver()) {
        return true;
    }
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socketPath_);
    return false;
}

bool SingleInstance::handOver() {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kHandOverTimeoutMs)) {
        return false;
    }
    socket.write(kReopen);
    if (!socket.waitForBytesWritten(kHandOverTimeoutMs)) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kHandOverTimeoutMs)) {
            return false;
        }
    }
    return socket.readLine() == kDone;
}

void SingleInstance::serve(QLocalSocket* connection) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
        if (!connection->canReadLine()) {
            // A peer that says more than a request without ending it is not a start of ours.
            if (connection->bytesAvailable() > kReopen.size()) {
                connection->abort();
            }
            return;
        }
        if (connection->readLine() == kReopen) {
            emit reopenRequested();
        }
        connection->write(kDone);
        connection->disconnectFromServer();
    });
}

}  // namespace intercom
