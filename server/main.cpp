#include <csignal>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "platform/Log.h"
#include "server/HTTPServer.h"
#include "server/ServerOptions.h"
#include "server/ServerState.h"
#include "server/SignallingServer.h"

using namespace intercom::server;

int main(int argc, char** argv) {
    intercom::setLogProgramName("intercom-server");
    // Blocked before any thread starts, so that only the wait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto parsed = parseServerOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.command == Command::showHelp) {
        std::cout << serverHelp();
        return 0;
    }
    if (parsed.command == Command::showVersion) {
        std::cout << "intercom-server " << INTERCOM_VERSION << "\n";
        return 0;
    }
    if (!parsed.options) {
        intercom::logFailure(parsed.error);
        std::cerr << serverHelp();
        return 2;
    }
    const auto& options = *parsed.options;

    std::optional<ServerState> state;
    try {
        state.emplace(ServerData::load(options.dataFile));
    } catch (const DataFileError& error) {
        intercom::logFailure(error.what());
        return 1;
    }

    SignallingServer signalling(*state);
    const auto signallingPort = signalling.start("127.0.0.1", options.signallingPort);
    if (!signallingPort) {
        intercom::logFailure("cannot listen on signalling port " +
                             std::to_string(options.signallingPort));
        return 1;
    }

    HTTPServer http(*state,
                    [&signalling](std::int64_t userId, std::span<const std::uint8_t> frame) {
                        return signalling.push(userId, frame);
                    });
    const auto httpPort = http.start("127.0.0.1", options.httpPort);
    if (!httpPort) {
        intercom::logFailure("cannot listen on HTTP port " + std::to_string(options.httpPort));
        return 1;
    }
    std::cout << "http " << *httpPort << std::endl;
    std::cout << "signalling " << *signallingPort << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    // The HTTP side first: an operator's push waits on the signalling thread.
    http.stop();
    signalling.stop();
    return 0;
}
