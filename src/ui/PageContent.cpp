#include "ui/PageContent.h"

#include <QWidget>

#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"

namespace intercom {

void setContentBackground(QWidget* view) {
    view->setAttribute(Qt::WA_StyledBackground, true);
    // Matched by a property rather than by name: the panels of overlays shown on it are
    // called customView too.
    view->setProperty("contentBackground", true);
    view->setStyleSheet(QStringLiteral(
        "[contentBackground=\"true\"] { border-image: url(:/images/img_content_bg.svg); }"));
}

void setUpItemGrid(CollectionGrid* grid, std::function<int()> count,
                   std::function<void(TTCollectionItem* item, int index)> bind) {
    grid->registerItem([] { return loadFromNib<TTCollectionItem>().release(); });
    grid->setDataSource(
        std::move(count),
        [bind = std::move(bind)](QWidget* widget, int index) {
            bind(static_cast<TTCollectionItem*>(widget), index);
        },
        [grid](int) {
            return QSizeF((grid->boundsWidth() - grid->minimumInteritemSpacing()) * 0.5, 90);
        });
}

}  // namespace intercom
