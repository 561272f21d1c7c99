#pragma once

class QWidget;

namespace intercom {

// Keeps the view's frame equal to its parent's bounds from now on, also after the parent
// is resized or the view is moved to another parent. Add the view to its parent first.
void pinEdgesToSuperview(QWidget* view);

}  // namespace intercom
