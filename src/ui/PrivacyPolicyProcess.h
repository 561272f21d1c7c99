#pragma once

#include <filesystem>

namespace intercom {

// The program that shows the privacy policy, installed beside the client.
std::filesystem::path privacyPolicyProgram();

// Opens one more privacy-policy window, in a process of its own. The window lives on its own
// until its user closes it, and ends with the client however the client ends. A failure to
// start it is logged with its reason, and so are the failures that the program itself logs;
// the web engine's notes are not passed on.
void openPrivacyPolicyWindow();

// Whether a privacy-policy window that this client opened is still open: it counts as a
// window of the client's own on screen.
bool isPrivacyPolicyWindowOpen();

}  // namespace intercom
