#pragma once

#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <any>
#include <memory>
#include <string>

#include "ServerChild.h"
#include "UiTestSupport.h"
#include "app/EventLoopQueue.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "platform/KeyValueStore.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/GlobalQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/controls/FNHUD.h"

namespace intercom::test {

// The overlays' world: the stand-in server on free ports with the demo data, the signed-in
// user 张伟 (id 1, scene 1) stored, and the Qt event loop as the main queue. Everything is
// put back afterwards.
class OverlayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dispatch::setMainQueue(std::make_shared<EventLoopQueue>());
        startServer();
        UserInfo user;
        user.id = 1;
        user.name = "张伟";
        user.level = 1;
        user.sceneId = 1;
        ASSERT_TRUE(user.save());
    }

    void TearDown() override {
        // Whatever a test left shown goes before the queue it observes on.
        QApplication::processEvents();
        api::setAPIBaseURL({});
        EXPECT_TRUE(UserInfo::clear());
        KeyValueStore::standard().remove("Setting");
        EXPECT_TRUE(KeyValueStore::standard().flush());
        dispatch::setMainQueue(nullptr);
    }

    void startServer() {
        std::string error;
        server_ = ServerChild::start(INTERCOM_SERVER_PATH, {}, error);
        ASSERT_NE(server_, nullptr) << error;
        api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(server_->httpPort()));
    }
    void stopServer() { server_.reset(); }

    // As the received-message handling posts: from a thread of the global queue.
    static void postFromPool(const std::string& name, std::any object = {}) {
        dispatch::globalQueue().async(
            [name, object] { NotificationCenter::defaultCenter().post(name, object); });
    }

    // The texts of the notices now shown over `view`.
    static QStringList noticesOver(const QWidget* view) {
        QStringList texts;
        for (const QWidget* box : FNHUD::hudViews()) {
            if (box->parentWidget() == view) {
                for (const QLabel* label : box->findChildren<QLabel*>()) {
                    texts << label->text();
                }
            }
        }
        return texts;
    }

    // Lets queued work run for a while, for checks that something did not happen.
    static void settle(int ms = 300) {
        waitUntil([] { return false; }, ms);
    }

    // Runs the event loop until `widget` has deleted itself (deleteLater) or time is up.
    template <typename T>
    static bool waitUntilDeleted(const QPointer<T>& widget) {
        return waitUntil([&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return widget.isNull();
        });
    }

    std::unique_ptr<ServerChild> server_;
};

}  // namespace intercom::test
