#pragma once

#include <functional>

class QWidget;

namespace intercom {

class CollectionGrid;
class TTCollectionItem;

// Gives a page's content view the shared background image.
void setContentBackground(QWidget* view);

// Lists `count()` items in `grid` as TTCollectionItem rows, two to a line; `bind` fills the
// row showing an index.
void setUpItemGrid(CollectionGrid* grid, std::function<int()> count,
                   std::function<void(TTCollectionItem* item, int index)> bind);

}  // namespace intercom
