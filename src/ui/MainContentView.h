#pragma once

class QMainWindow;
class QString;
class QWidget;

namespace intercom {

// Where whatever belongs to the whole client rather than to one page is shown: over the
// content view of the main window. The application names its window once it has made it;
// the pages and controls below it reach the window only through these functions.

// Names the main window (null: none). The window is not owned; once it is destroyed there
// is no main window again.
void setMainWindow(QMainWindow* window);

// The main window's content view now (pages replace it), or null without a window or
// content.
QWidget* mainContentView();

// Shows the text as a transient notice over the main window's content; without one,
// nothing is shown.
void showNoticeInMainWindow(const QString& text);

// Adds the view (an alert panel, an overlay page) over the main window's content, on top of
// everything there, its edges pinned to the content's; returns false and leaves the view
// alone without a content view. The view then belongs to the content view until it removes
// itself.
bool showOverMainWindow(QWidget* view);

}  // namespace intercom
