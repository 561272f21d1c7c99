#include "support/TestIsolation.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/audio/SdlAudio.h"

extern char** environ;

namespace intercom::test {

namespace {

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        entries.emplace_back(*entry);
    }
    return entries;
}

std::map<std::string, std::string> byName(const std::vector<std::string>& entries) {
    std::map<std::string, std::string> variables;
    for (const auto& entry : entries) {
        const auto equals = entry.find('=');
        variables.emplace(entry.substr(0, equals),
                          equals == std::string::npos ? std::string() : entry.substr(equals + 1));
    }
    return variables;
}

}  // namespace

void TestIsolation::OnTestStart(const ::testing::TestInfo& /*test*/) {
    environment_ = currentEnvironment();
    setting_ = Setting::load();
}

void TestIsolation::OnTestEnd(const ::testing::TestInfo& /*test*/) {
    // SDL's device threads read the environment until their devices have closed, which goes on
    // after the test that dropped them, and glibc's getenv is not safe against a setenv or an
    // unsetenv at the same time.
    EXPECT_TRUE(sdlaudio::waitForCloses(std::chrono::seconds(10)))
        << "an audio device the test dropped did not finish closing";
    // Only what the test changed is put back: a name that is set anew grows the environment,
    // which moves it in memory, under the reads of threads that the test left running.
    const auto saved = byName(environment_);
    for (const auto& [name, value] : byName(currentEnvironment())) {
        if (!saved.contains(name)) {
            ::unsetenv(name.c_str());
        }
    }
    for (const auto& [name, value] : saved) {
        const char* now = std::getenv(name.c_str());
        if (now == nullptr || value != now) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    if (setting_ && Setting::load() != *setting_) {
        EXPECT_TRUE(setting_->save()) << "the stored settings could not be put back";
    }
}

void isolateTests() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestIsolation);
}

}  // namespace intercom::test
