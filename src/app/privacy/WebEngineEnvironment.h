#pragma once

namespace intercom {

// Lets the web engine (the privacy-policy window) start where Chromium would refuse to or
// fail: run as root, its sandbox is turned off, which Chromium demands for root; without a
// GPU render node, it draws in software. Call before the QApplication is made; settings
// the user made in the environment are kept.
void prepareWebEngineEnvironment();

}  // namespace intercom
