#include "platform/Bundle.h"

#include <sstream>
#include <system_error>

namespace intercom::Bundle {

namespace {

bool isInside(const std::filesystem::path& path, const std::filesystem::path& folder) {
    const auto relative = path.lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

std::filesystem::path runningExecutable() {
    std::error_code error;
    return std::filesystem::canonical("/proc/self/exe", error);
}

bool runsFromBuildTree(const std::filesystem::path& executable) {
    std::error_code error;
    const auto buildTree = std::filesystem::weakly_canonical(INTERCOM_BUILD_DIR, error);
    return !executable.empty() && !buildTree.empty() && isInside(executable, buildTree);
}

}  // namespace

std::filesystem::path resourceFolder() {
    static const std::filesystem::path folder = [] {
        const auto executable = runningExecutable();
        if (runsFromBuildTree(executable)) {
            return std::filesystem::path(INTERCOM_BUILD_RESOURCES_DIR);
        }
        return (executable.parent_path() / INTERCOM_DATA_DIR_FROM_BIN).lexically_normal();
    }();
    return folder;
}

std::filesystem::path programPath(std::string_view name) {
    const auto executable = runningExecutable();
    if (runsFromBuildTree(executable)) {
        return std::filesystem::path(INTERCOM_BUILD_PROGRAMS_DIR) / name;
    }
    return executable.parent_path() / name;
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
