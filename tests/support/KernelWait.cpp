#include "support/KernelWait.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace intercom::test {

bool threadWaitsIn(std::string_view function) {
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        std::ifstream in(task.path() / "wchan");
        std::string channel;
        if (std::getline(in, channel) && channel.find(function) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace intercom::test
