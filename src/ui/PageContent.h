#pragma once

class QWidget;

namespace intercom {

// Gives a page's content view the shared background image.
void setContentBackground(QWidget* view);

}  // namespace intercom
