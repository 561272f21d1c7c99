#include "support/SpokenPhrase.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "platform/audio/VoiceFormat.h"
#include "support/PcmAnalysis.h"
#include "support/TempDir.h"

extern char** environ;

namespace intercom::test {

namespace {

// Runs the program with its arguments, no shell in between, so the phrase needs no quoting.
bool run(std::vector<std::string> command, std::string* error) {
    std::vector<char*> argv;
    for (auto& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (const int failed = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)) {
        if (error) {
            *error = command[0] + " cannot be started (errno " + std::to_string(failed) + ")";
        }
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        if (error) {
            *error = command[0] + " failed, wait status " + std::to_string(status);
        }
        return false;
    }
    return true;
}

}  // namespace

bool writeSpokenPhrase(const std::string& text, const std::filesystem::path& path,
                       const std::string& voice, std::string* error) {
    const TempDir folder;
    const auto wave = (folder.path() / "phrase.wav").string();
    return run({"espeak-ng", "-v", voice, "-w", wave, "--", text}, error) &&
           run({"sox", "-q", wave, "-r", std::to_string(VoiceFormat::kSampleRate), "-c", "1", "-b",
                "16", "-e", "signed-integer", "-L", "-t", "raw", path.string()},
               error);
}

Pcm speakPhrase(const std::string& text, const std::string& voice, std::string* error) {
    const TempDir folder;
    const auto raw = folder.path() / "phrase.raw";
    if (!writeSpokenPhrase(text, raw, voice, error)) {
        return {};
    }
    Pcm samples = readPcm(raw);
    if (samples.empty() && error) {
        *error = "the spoken phrase came out empty";
    }
    return samples;
}

}  // namespace intercom::test
