#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>

#include "ServerProcess.h"
#include "UiTestSupport.h"
#include "app/AppDelegate.h"
#include "app/EventLoopQueue.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/pages/LoginPage.h"

// A sign-in through the window opens the home page, whose signalling connection goes to the
// fixed server address like the overlays' connection: run beside a server on the fixed ports,
// it would bind there as the signed-in user and take that user's connection away.

namespace intercom {
namespace {

using test::notices;

class SignInTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dispatch::setMainQueue(std::make_shared<EventLoopQueue>());
        ASSERT_TRUE(UserInfo::clear());
        server_ = test::ServerProcess::start();
        ASSERT_NE(server_, nullptr);
        api::setAPIBaseURL(server_->baseURL());
    }

    void TearDown() override {
        api::setAPIBaseURL({});
        EXPECT_TRUE(UserInfo::clear());
    }

    std::unique_ptr<test::ServerProcess> server_;
};

TEST_F(SignInTest, SigningInThroughTheWindowStoresTheServersRecordForTheNextStart) {
    AppDelegate delegate;
    delegate.applicationDidFinishLaunching();
    MainWindow* window = delegate.window();
    QPointer<LoginPage> page = qobject_cast<LoginPage*>(window->centralWidget());
    ASSERT_NE(page, nullptr) << "the sign-in page is the first content";

    page->nameTextField()->setText(QStringLiteral("张伟"));
    QTest::keyClicks(page->pwdTextField(), QStringLiteral("654321"));
    QTest::keyClick(page->pwdTextField(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !notices(*page).isEmpty(); }));
    EXPECT_NE(notices(*page).first(), QStringLiteral("服务器错误")) << "the server's own message";
    EXPECT_EQ(UserInfo::current(), UserInfo{}) << "a refused sign-in stores nothing";

    std::optional<api::JSONValue> accepted;
    api::requestLogin("张伟", "123456",
                      [&](std::optional<api::JSONValue> reply) { accepted = std::move(reply); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted.has_value(); }));

    page->pwdTextField()->clear();
    QTest::keyClicks(page->pwdTextField(), QStringLiteral("123456"));
    QTest::keyClick(page->nameTextField(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.isNull(); })) << "the sign-in page gives way";
    EXPECT_NE(window->centralWidget(), nullptr);
    EXPECT_EQ(delegate.window(), window);
    EXPECT_EQ(UserInfo::current(), UserInfo::fromJSON((*accepted)["data"].raw()))
        << "exactly the server's record is stored";

    const auto nextStart = LoginPage::create();
    ASSERT_NE(nextStart, nullptr);
    EXPECT_EQ(nextStart->nameTextField()->text(), QStringLiteral("张伟"));
    EXPECT_EQ(nextStart->pwdTextField()->text(), QStringLiteral("123456"));
}

}  // namespace
}  // namespace intercom
