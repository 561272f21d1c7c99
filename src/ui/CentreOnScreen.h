#pragma once

class QWidget;

namespace intercom {

// Centres a top-level window, frame included, on the primary screen's free area.
void centreOnScreen(QWidget* window);

}  // namespace intercom
