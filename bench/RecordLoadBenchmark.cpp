// The voice sender reads the signed-in user and the capture callback the settings for every
// 40 ms block, with no cache in between: each read must stay well under 20 microseconds.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "model/Setting.h"
#include "model/UserInfo.h"

namespace {

void storeTypicalRecords() {
    intercom::UserInfo user;
    user.id = 1024;
    user.name = "张伟";
    user.code = "123456";
    user.level = 1;
    user.enabled = 1;
    user.remark = "调度台";
    user.companyId = "c-17";
    user.sceneId = 3;
    user.companyName = "示例公司";
    user.save();
    auto setting = intercom::Setting::load();
    setting.audioEnhance = 6;
    setting.save();
}

void UserInfoCurrent(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(intercom::UserInfo::current());
    }
}
BENCHMARK(UserInfoCurrent)->Unit(benchmark::kMicrosecond);

void SettingLoad(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(intercom::Setting::load());
    }
}
BENCHMARK(SettingLoad)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    // Keep the benchmark's records out of the user's own store.
    const auto folder = std::filesystem::temp_directory_path() / "intercom-bench";
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    storeTypicalRecords();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
