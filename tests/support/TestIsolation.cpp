#include "support/TestIsolation.h"

#include <cstdlib>
#include <cstring>

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

}  // namespace

void TestIsolation::OnTestStart(const ::testing::TestInfo& /*test*/) {
    environment_ = currentEnvironment();
    setting_ = Setting::load();
}

void TestIsolation::OnTestEnd(const ::testing::TestInfo& /*test*/) {
    for (const auto& entry : currentEnvironment()) {
        ::unsetenv(entry.substr(0, entry.find('=')).c_str());
    }
    for (const auto& entry : environment_) {
        const auto equals = entry.find('=');
        ::setenv(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str(), 1);
    }
    if (setting_ && Setting::load() != *setting_) {
        EXPECT_TRUE(setting_->save()) << "the stored settings could not be put back";
    }
}

void isolateTests() {
    ::testing::UnitTest::GetInstance()->listeners().Append(new TestIsolation);
}

}  // namespace intercom::test
