#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

namespace intercom {

class CollectionGrid;
class TTCollectionItem;

// The two outlets of an overlay that lists records as TTCollectionItem rows, two to a line,
// over the shared background: its "customView" and its "collectionView".
class ItemGridOutlets {
  public:
    // Finds both outlets in `page` and styles them. The grid lists `count()` rows; `bind`
    // fills the row that shows an index.
    void awake(QWidget* page, std::function<int()> count,
               std::function<void(TTCollectionItem* item, int index)> bind);

    QWidget* customView() const { return customView_; }
    CollectionGrid* collectionView() const { return collectionView_; }

  private:
    QPointer<QWidget> customView_;
    QPointer<CollectionGrid> collectionView_;
};

}  // namespace intercom
