#include "ui/ItemGridOutlets.h"

#include "ui/PageContent.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"

namespace intercom {

void ItemGridOutlets::awake(QWidget* page, std::function<int()> count,
                            std::function<void(TTCollectionItem* item, int index)> bind) {
    customView_ = page->findChild<QWidget*>(QStringLiteral("customView"));
    if (customView_) {
        setContentBackground(customView_);
    }
    collectionView_ = page->findChild<CollectionGrid*>(QStringLiteral("collectionView"));
    if (!collectionView_) {
        return;
    }
    CollectionGrid* grid = collectionView_;
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
