#pragma once

#include <filesystem>

namespace intercom {

// The program that shows the privacy policy, installed beside the client.
std::filesystem::path privacyPolicyProgram();

// Opens one more privacy-policy window, in a process of its own that the client keeps no
// hold of. A failure to start it is logged with its reason.
void openPrivacyPolicyWindow();

}  // namespace intercom
