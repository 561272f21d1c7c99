#pragma once

namespace intercom {

// Answers --help (or -h) and --version as a Linux desktop program does, on standard output,
// before anything else of the client starts; returns whether it did, and the program then
// ends with status 0.
bool answerInformationOptions(int argc, char** argv);

}  // namespace intercom
