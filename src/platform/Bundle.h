#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace intercom::Bundle {

// The folder that holds the program's data files: the build tree's resources folder when
// the program runs from the build tree, else the data folder installed beside the
// executable's folder, wherever the tree was installed to.
std::filesystem::path resourceFolder();

// The path of the data file of that full name (for example "talking_bee.wav"); none when
// the file is not there or the name reaches outside the folder.
std::optional<std::filesystem::path> pathForResource(std::string_view name);

// Where the program of that name that comes with the client is: beside the client in the
// build tree when the running program is in the build tree, else beside the running
// executable (both go into the same bin folder). The file may be missing.
std::filesystem::path programPath(std::string_view name);

// The names of the data files that the program was built with and that are not in the
// resource folder.
std::vector<std::string> missingResources();

}  // namespace intercom::Bundle
