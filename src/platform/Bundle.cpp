#include "platform/Bundle.h"

#include <sstream>
#include <system_error>

namespace intercom::Bundle {

namespace {

bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

std::filesystem::path resourceFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code error;
        const auto executable = std::filesystem::canonical("/proc/self/exe", error);
        const auto buildTree = std::filesystem::weakly_canonical(INTERCOM_BUILD_DIR, error);
        if (!executable.empty() && !buildTree.empty() && isInside(executable, buildTree)) {
            return std::filesystem::path(INTERCOM_BUILD_RESOURCES_DIR);
        }
        return (executable.parent_path() / INTERCOM_DATA_DIR_FROM_BIN).lexically_normal();
    }();
    return folder;
}

std::optional<std::filesystem::path> pathForResource(std::string_view name) {
    const std::filesystem::path file(name);
    if (name.empty() || file.has_parent_path() || name == "." || name == "..") {
        return std::nullopt;
    }
    auto path = resourceFolder() / file;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return std::nullopt;
    }
    return path;
}

std::vector<std::string> missingResources() {
    std::vector<std::string> missing;
    std::istringstream names(INTERCOM_DATA_FILE_NAMES);
    for (std::string name; std::getline(names, name, '/');) {
        if (!name.empty() && !pathForResource(name)) {
            missing.push_back(name);
        }
    }
    return missing;
}

}  // namespace intercom::Bundle
