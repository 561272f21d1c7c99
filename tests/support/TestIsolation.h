#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "model/Setting.h"

namespace intercom::test {

// Puts back, after each test, the process state that tests change and that would otherwise
// reach the tests after them in the same process, in whatever order they run: the
// environment (SDL's disk driver reads its files and pace from it at each device open) and
// the stored settings.
class TestIsolation : public ::testing::EmptyTestEventListener {
  public:
    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;

  private:
    std::vector<std::string> environment_;
    std::optional<Setting> setting_;
};

// Installs the listener; call once, after InitGoogleTest.
void isolateTests();

}  // namespace intercom::test
