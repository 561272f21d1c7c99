// Draws each screen of the client as a user sees it, against a running stand-in server, and
// saves one PNG per screen:
//   intercom-screenshots <out folder> <server's HTTP base URL> <server's signalling port>
// Run under a virtual X server by scripts/screenshots.

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>

#include "app/EventLoopQueue.h"
#include "app/privacy/WebEngineEnvironment.h"
#include "model/Page.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/api/APIRequests.h"
#include "net/signalling/TCPSocket.h"
#include "platform/NotificationCenter.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/pages/ChatListPage.h"
#include "ui/pages/GroupsPage.h"
#include "ui/pages/HomePage.h"
#include "ui/pages/LoginPage.h"
#include "ui/pages/SettingPage.h"
#include "ui/privacy/PrivatePolicyPage.h"

namespace intercom {
namespace {

bool waitFor(const std::function<bool()>& done, int limitMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void pause(int ms) {
    waitFor([] { return false; }, ms);
}

class Shooter {
  public:
    explicit Shooter(QString folder) : folder_(std::move(folder)) {}

    // The window's pixels as the X server has them, frame excluded.
    bool shoot(QWidget* window, const QString& name) {
        pause(400);
        const QPixmap pixels = window->screen()->grabWindow(window->winId());
        const QString path = QDir(folder_).filePath(name + QStringLiteral(".png"));
        if (pixels.isNull() || !pixels.save(path)) {
            std::fprintf(stderr, "screenshots: %s could not be saved\n", qPrintable(path));
            ok_ = false;
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        return true;
    }

    bool ok() const { return ok_; }

  private:
    QString folder_;
    bool ok_ = true;
};

// The main window's stand-in: the overlays cover their parent view.
std::unique_ptr<QWidget> makeHost() {
    auto host = std::make_unique<QWidget>();
    host->resize(1047, 560);
    host->setWindowTitle(QStringLiteral("intercom"));
    host->show();
    return host;
}

std::optional<Page> firstPage() {
    std::optional<Page> page;
    bool done = false;
    api::requestGroupList(1, [&](std::optional<api::JSONValue> reply) {
        if (reply && (*reply)["data"].kind() == api::JSONValue::Kind::object) {
            page = Page::fromJSON((*reply)["data"].raw());
        }
        done = true;
    });
    waitFor([&] { return done; });
    return page;
}

// Signs in as a user does, then shows the home page with the demo server's first page of
// groups, connected.
void signInAndHome(Shooter& shooter, std::uint16_t signallingPort) {
    auto host = makeHost();
    auto login = LoginPage::create();
    if (!login) {
        std::fprintf(stderr, "screenshots: the sign-in page could not be loaded\n");
        return;
    }
    LoginPage* shownLogin = login.release();
    shownLogin->setParent(host.get());
    pinEdgesToSuperview(shownLogin);
    shownLogin->show();
    bool signedIn = false;
    QObject::connect(shownLogin, &LoginPage::signedIn, [&signedIn] { signedIn = true; });
    shownLogin->nameTextField()->setText(QStringLiteral("张伟"));
    shownLogin->pwdTextField()->setText(QStringLiteral("123456"));
    shooter.shoot(host.get(), QStringLiteral("sign-in"));
    QTest::mouseClick(shownLogin->findChild<QPushButton*>(QStringLiteral("loginBtn")),
                      Qt::LeftButton);
    if (!waitFor([&] { return signedIn; })) {
        std::fprintf(stderr, "screenshots: the demo server did not accept the sign-in\n");
        return;
    }
    delete shownLogin;

    TCPSocket socket("127.0.0.1", signallingPort);
    auto home = HomePage::create(socket);
    if (!home) {
        std::fprintf(stderr, "screenshots: the home page could not be loaded\n");
        return;
    }
    HomePage* shownHome = home.release();
    shownHome->setParent(host.get());
    pinEdgesToSuperview(shownHome);
    shownHome->show();
    if (!waitFor([&] { return shownHome->page() && socket.isConnected(); })) {
        std::fprintf(stderr, "screenshots: the home page got no groups or no connection\n");
        return;
    }
    shooter.shoot(host.get(), QStringLiteral("home"));
    // The page goes before the connection whose delegate it is.
    delete shownHome;
}

void groups(Shooter& shooter) {
    const auto page = firstPage();
    if (!page) {
        std::fprintf(stderr, "screenshots: no group page from the server\n");
        return;
    }
    auto host = makeHost();
    auto overlay = loadFromNib<GroupsPage>();
    overlay->setList(page->groups);
    GroupsPage* shown = overlay.release();
    shown->setParent(host.get());
    pinEdgesToSuperview(shown);
    shown->show();
    shooter.shoot(host.get(), QStringLiteral("groups"));

    auto* item = static_cast<TTCollectionItem*>(shown->collectionView()->itemAt(0));
    QTest::mouseClick(item->checkButton(), Qt::LeftButton);
    pause(500);
    // As the received-message handling would report listeners of the picked group.
    Group changed = page->groups.front();
    for (const char* name : {"李娜", "王芳", "刘洋", "陈静", "杨磊"}) {
        UserInfo user;
        user.name = name;
        changed.listener.push_back(user);
    }
    NotificationCenter::defaultCenter().post(kChannelListenersChanged, changed);
    shooter.shoot(host.get(), QStringLiteral("groups-listeners"));
}

void chatList(Shooter& shooter) {
    auto host = makeHost();
    auto overlay = loadFromNib<ChatListPage>();
    ChatListPage* shown = overlay.release();
    shown->setParent(host.get());
    pinEdgesToSuperview(shown);
    shown->show();
    waitFor([&] { return shown->collectionView()->numberOfItems() > 0; });
    NotificationCenter::defaultCenter().post(kUserOnline, std::int64_t{2});
    NotificationCenter::defaultCenter().post(kUserOnline, std::int64_t{5});
    shooter.shoot(host.get(), QStringLiteral("chat-list"));
}

void settings(Shooter& shooter) {
    auto host = makeHost();
    auto overlay = loadFromNib<SettingPage>();
    SettingPage* shown = overlay.release();
    shown->setParent(host.get());
    pinEdgesToSuperview(shown);
    shown->show();
    shooter.shoot(host.get(), QStringLiteral("settings"));
    QTest::mouseClick(shown->screenBtn(), Qt::LeftButton, {}, QPoint(10, 10));
    shooter.shoot(host.get(), QStringLiteral("settings-unsupported"));
}

void privacyPolicy(Shooter& shooter) {
    PrivatePolicyPage* window = PrivatePolicyPage::openWindow();
    bool loaded = false;
    QObject::connect(window->webView(), &QWebEngineView::loadFinished,
                     [&loaded](bool ok) { loaded = ok; });
    waitFor([&] { return loaded; });
    pause(1000);
    shooter.shoot(window, QStringLiteral("privacy-policy"));
    window->close();
}

}  // namespace
}  // namespace intercom

int main(int argc, char** argv) {
    intercom::prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: intercom-screenshots <out folder> <server base URL> "
                     "<signalling port>\n");
        return 2;
    }
    QDir().mkpath(QString::fromLocal8Bit(argv[1]));
    intercom::dispatch::setMainQueue(std::make_shared<intercom::EventLoopQueue>());
    intercom::api::setAPIBaseURL(argv[2]);
    intercom::UserInfo user;
    user.id = 1;
    user.name = "张伟";
    user.level = 1;
    user.sceneId = 1;
    if (!user.save()) {
        std::fprintf(stderr, "screenshots: the user record could not be stored\n");
        return 1;
    }

    intercom::Shooter shooter(QString::fromLocal8Bit(argv[1]));
    intercom::signInAndHome(shooter, static_cast<std::uint16_t>(std::atoi(argv[3])));
    intercom::groups(shooter);
    intercom::chatList(shooter);
    intercom::settings(shooter);
    intercom::privacyPolicy(shooter);
    intercom::dispatch::setMainQueue(nullptr);
    return shooter.ok() ? 0 : 1;
}
