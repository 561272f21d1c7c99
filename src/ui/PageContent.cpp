#include "ui/PageContent.h"

#include <QWidget>

namespace intercom {

void setContentBackground(QWidget* view) {
    view->setAttribute(Qt::WA_StyledBackground, true);
    // Matched by a property rather than by name: the panels of overlays shown on it are
    // called customView too.
    view->setProperty("contentBackground", true);
    view->setStyleSheet(QStringLiteral(
        "[contentBackground=\"true\"] { border-image: url(:/images/img_content_bg.svg); }"));
}

}  // namespace intercom
