// A client process that hosts nothing but a home page, for the tests that must watch the
// process itself end. Its configuration folder is its own.
//
//   home_page_host <config folder> <http port> <signalling port>   runs a home page as user 1
//   home_page_host <config folder> --stored-user                   prints the stored user's id
//                                                                   or "none"
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/EventLoopQueue.h"
#include "model/UserInfo.h"
#include "net/api/APIConfig.h"
#include "net/signalling/TCPSocket.h"
#include "platform/KeyValueStore.h"
#include "platform/dispatch/MainQueue.h"
#include "ui/pages/HomePage.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    ::setenv("XDG_CONFIG_HOME", argv[1], 1);
    if (std::string(argv[2]) == "--stored-user") {
        const bool stored = intercom::KeyValueStore::standard().get("UserInfo").has_value();
        std::printf("%s\n",
                    stored ? std::to_string(intercom::UserInfo::current().id).c_str() : "none");
        return 0;
    }
    if (argc < 4) {
        return 2;
    }
    intercom::UserInfo user;
    user.id = 1;
    user.name = "张伟";
    user.level = 1;
    user.sceneId = 1;
    if (!user.save()) {
        return 3;
    }
    QApplication app(argc, argv);
    intercom::dispatch::setMainQueue(std::make_shared<intercom::EventLoopQueue>());
    intercom::api::setAPIBaseURL(std::string("http://127.0.0.1:") + argv[2]);
    intercom::TCPSocket socket("127.0.0.1", static_cast<std::uint16_t>(std::stoi(argv[3])));
    const auto page = intercom::HomePage::create(socket);
    if (!page) {
        return 4;
    }
    page->show();
    const int status = QApplication::exec();
    intercom::dispatch::setMainQueue(nullptr);
    return status;
}
