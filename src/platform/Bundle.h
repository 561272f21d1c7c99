#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace intercom::Bundle {

// The folder that holds the program's data files: the build tree's resources folder when
// the program runs from the build tree, else the installed data folder.
std::filesystem::path resourceFolder();

// The path of the data file of that full name (for example "talking_bee.wav"); none when
// the file is not there or the name reaches outside the folder.
std::optional<std::filesystem::path> pathForResource(std::string_view name);

}  // namespace intercom::Bundle
