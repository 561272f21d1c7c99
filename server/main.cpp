#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "server/HTTPServer.h"
#include "server/ServerOptions.h"
#include "server/ServerState.h"

using namespace intercom::server;

int main(int argc, char** argv) {
    // Blocked before any thread starts, so that only the wait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto parsed = parseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::cerr << "intercom-server: " << parsed.error << "\n"
                  << "usage: intercom-server [--data FILE] [--http-port N] "
                     "[--signalling-port N]\n";
        return 2;
    }
    const auto& options = *parsed.options;

    std::optional<ServerState> state;
    try {
        state.emplace(ServerData::load(options.dataFile));
    } catch (const DataFileError& error) {
        std::cerr << "intercom-server: " << error.what() << "\n";
        return 1;
    }

    HTTPServer http(*state);
    const auto httpPort = http.start("127.0.0.1", options.httpPort);
    if (!httpPort) {
        std::cerr << "intercom-server: cannot listen on HTTP port " << options.httpPort << "\n";
        return 1;
    }
    std::cout << "http " << *httpPort << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    http.stop();
    return 0;
}
