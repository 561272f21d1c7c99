#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <memory>

#include "LoopbackServer.h"
#include "UiTestSupport.h"
#include "UnwritableStore.h"
#include "app/EventLoopQueue.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/controls/TTSecureTextFieldCell.h"
#include "ui/controls/TTTextFieldCell.h"
#include "ui/pages/LoginPage.h"

namespace intercom {
namespace {

using test::LoopbackServer;
using test::notices;

std::string jsonReply(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// The main queue, counting the work it has run: the sign-in page hands it nothing but the
// completions of its requests.
class CountingQueue : public EventLoopQueue {
  public:
    void async(dispatch::Work work) override {
        EventLoopQueue::async([this, work = std::move(work)]() mutable {
            work();
            ++ran_;
        });
    }
    int ran() const { return ran_; }

  private:
    std::atomic<int> ran_{0};
};

class LoginPageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dispatch::setMainQueue(queue_);
        ASSERT_TRUE(UserInfo::clear());
    }
    void TearDown() override {
        api::setAPIBaseURL({});
        // Replies still on their way land before the queue goes.
        QTest::qWait(50);
        dispatch::setMainQueue(nullptr);
        EXPECT_TRUE(UserInfo::clear());
    }

    static std::unique_ptr<LoginPage> makePage() {
        auto page = LoginPage::create();
        EXPECT_NE(page, nullptr);
        if (page) {
            page->resize(1047, 560);
        }
        return page;
    }

    static void clickLogin(LoginPage& page) {
        page.findChild<QPushButton*>(QStringLiteral("loginBtn"))->click();
    }

    std::shared_ptr<CountingQueue> queue_ = std::make_shared<CountingQueue>();
};

TEST_F(LoginPageTest, EmptyFieldsShowTheirPlaceholdersAndSendNothing) {
    LoopbackServer server(jsonReply(R"({"code":0,"msg":"不该发出"})"));
    api::setAPIBaseURL(server.baseURL());
    const auto page = makePage();
    QLineEdit* name = page->nameTextField();
    QLineEdit* password = page->pwdTextField();
    ASSERT_NE(qobject_cast<TTTextFieldCell*>(name), nullptr);
    ASSERT_NE(qobject_cast<TTSecureTextFieldCell*>(password), nullptr);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(name->text().isEmpty()) << "nothing stored, nothing prefilled";
    EXPECT_TRUE(password->text().isEmpty());
    ASSERT_FALSE(name->placeholderText().isEmpty());
    ASSERT_FALSE(password->placeholderText().isEmpty());
    ASSERT_NE(name->placeholderText(), password->placeholderText());

    clickLogin(*page);
    EXPECT_EQ(notices(*page), QStringList{name->placeholderText()});

    name->setText(QStringLiteral("张伟"));
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return notices(*page) == QStringList{password->placeholderText()};
    })) << notices(*page).join(QLatin1Char('/')).toStdString();

    QTest::qWait(200);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(LoginPageTest, AnAcceptedSignInThatCannotBeStoredStaysAndLogsWhy) {
    LoopbackServer server(jsonReply(
        R"({"code":1,"data":{"id":9,"name":"王芳","code":"123456","level":0,"sceneId":1}})"));
    api::setAPIBaseURL(server.baseURL());
    const auto page = makePage();
    QSignalSpy signedIn(page.get(), &LoginPage::signedIn);
    page->nameTextField()->setText(QStringLiteral("王芳"));
    page->pwdTextField()->setText(QStringLiteral("123456"));
    std::string log;
    std::string failure;
    {
        const test::UnwritableStore unwritable;
        failure = unwritable.failureLine();
        ::testing::internal::CaptureStderr();
        clickLogin(*page);
        // The record is set for the running process before the flush that fails.
        const bool handled = QTest::qWaitFor([] { return UserInfo::current().id == 9; });
        log = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(handled);
    }
    EXPECT_EQ(signedIn.count(), 0) << "the home page needs the stored record";
    EXPECT_TRUE(notices(*page).isEmpty());
    EXPECT_EQ(log, failure);
}

TEST_F(LoginPageTest, RepliesTheServerNeverMeantAsSuccessLeaveThePageAsItWas) {
    UserInfo earlier;
    earlier.id = 7;
    earlier.name = "李娜";
    earlier.code = "123456";
    ASSERT_TRUE(earlier.save());

    struct Case {
        std::string reply;
        QStringList notices;
    };
    const std::vector<Case> cases = {
        {jsonReply(R"({"code":1,"data":null,"msg":"成功"})"), {}},
        {jsonReply(R"({"code":1,"data":[{"id":9}]})"), {}},
        {jsonReply(R"({"code":0,"data":null,"msg":5})"), {}},
        {jsonReply(R"({"code":"2","msg":"用户名或密码错误"})"),
         {QStringLiteral("用户名或密码错误")}},
    };
    for (const Case& each : cases) {
        LoopbackServer server(each.reply);
        api::setAPIBaseURL(server.baseURL());
        const auto page = makePage();
        EXPECT_EQ(page->nameTextField()->text(), QStringLiteral("李娜")) << "prefilled";
        EXPECT_EQ(page->pwdTextField()->text(), QStringLiteral("123456"));
        QSignalSpy signedIn(page.get(), &LoginPage::signedIn);
        const int ran = queue_->ran();
        clickLogin(*page);
        ASSERT_TRUE(test::waitUntil([&] { return queue_->ran() > ran; })) << "no reply handled";
        EXPECT_EQ(server.requests().size(), 1u);
        EXPECT_EQ(notices(*page).join(QLatin1Char('/')), each.notices.join(QLatin1Char('/')))
            << each.reply;
        EXPECT_EQ(signedIn.count(), 0) << each.reply;
        EXPECT_EQ(UserInfo::current(), earlier) << each.reply;
    }

    LoopbackServer refusing(jsonReply(R"({"code":0,"msg":"用户名或密码错误"})"));
    api::setAPIBaseURL(refusing.baseURL());
    auto page = makePage();
    page->nameTextField()->setText(QStringLiteral(" "));
    page->pwdTextField()->setText(QStringLiteral("pw"));
    clickLogin(*page);
    clickLogin(*page);
    clickLogin(*page);
    ASSERT_TRUE(QTest::qWaitFor([&] { return refusing.requests().size() == 3; }))
        << "each click sends its own request";
    EXPECT_EQ(test::requestBody(refusing.requests().front()), "code=pw&name=%20")
        << "a name of one blank goes out unchanged";

    // Replies still on their way to the first page go nowhere once it is gone.
    page = makePage();
    api::setAPIBaseURL("http://127.0.0.1:" + std::to_string(LoopbackServer::closedPort()));
    clickLogin(*page);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return notices(*page) == QStringList{QStringLiteral("服务器错误")};
    })) << notices(*page).join(QLatin1Char('/')).toStdString();
}

}  // namespace
}  // namespace intercom
