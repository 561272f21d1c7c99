#include "app/OutageAlert.h"

#include "net/signalling/TCPSocket.h"
#include "ui/MainContentView.h"
#include "ui/TTExtension.h"

namespace intercom {

OutageAlert::OutageAlert() {
    load();
}

OutageAlert::~OutageAlert() {
    if (alert_ && !alert_->parentWidget()) {
        delete alert_.data();
    }
}

void OutageAlert::install(TCPSocket& socket) {
    socket.setOutageHandler([weak = std::weak_ptr<OutageAlert*>(self_)](bool outage) {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        if (outage) {
            (*self)->showAlert();
        } else {
            (*self)->hideAlert();
        }
    });
}

void OutageAlert::load() {
    alert_ = loadFromNib<TTCustomAlert>().release();
    if (!alert_) {
        return;
    }
    // Appended, so that it wins over the colour the interface file gives the title.
    alert_->titleLabel()->setStyleSheet(alert_->titleLabel()->styleSheet() +
                                        QStringLiteral(" color: red;"));
    alert_->showSingle(QStringLiteral("监测到您的通话已断开"), QStringLiteral("请等待重新连接"),
                       QStringLiteral("知道了"));
}

void OutageAlert::showAlert() {
    if (!alert_) {
        load();
    }
    if (!alert_ || alert_->parentWidget()) {
        return;
    }
    // On the content view, like every panel over the whole client: notices posted there
    // during the outage come above it.
    showOverMainWindow(alert_);
}

void OutageAlert::hideAlert() {
    if (alert_ && alert_->parentWidget()) {
        alert_->setParent(nullptr);
    }
}

}  // namespace intercom
