#pragma once

#include <filesystem>

namespace intercom {

// The program that shows the privacy policy, installed beside the client.
std::filesystem::path privacyPolicyProgram();

// Opens one more privacy-policy window, in a process of its own. The window lives on its own
// until its user closes it, and ends with the client like the client's other windows. A
// failure to start it is logged with its reason.
void openPrivacyPolicyWindow();

// Whether a privacy-policy window that this client opened is still open: it counts as a
// window of the client's own on screen.
bool isPrivacyPolicyWindowOpen();

}  // namespace intercom
