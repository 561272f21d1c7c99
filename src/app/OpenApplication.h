#pragma once

#include <QApplication>
#include <memory>

namespace intercom {

// Makes the program's application object. Where no display can be reached, Qt would abort
// with a note on reinstalling the program; instead the program says in one line which display
// it could not open and exits with status 1. Qt's messages while the application is made are
// held back, and passed on once a display has opened.
std::unique_ptr<QApplication> openApplication(int& argc, char** argv);

}  // namespace intercom
