#pragma once

#include <QScrollArea>
#include <QSizeF>
#include <functional>
#include <vector>

namespace intercom {

// The collection view of the lists: rows laid out left to right and wrapped into lines,
// scrolled vertically. The rows are real item widgets in a scroll area rather than a view
// with delegates: each row carries a live button that must press, hover and take focus like
// any other, which a painted delegate would have to imitate. Lists stay in the hundreds,
// where widgets scroll smoothly. Item widgets are kept and bound anew on every reload, so a
// reload never rebuilds rows.
class CollectionGrid : public QScrollArea {
    Q_OBJECT
    Q_PROPERTY(
        int minimumInteritemSpacing READ minimumInteritemSpacing WRITE setMinimumInteritemSpacing)
    Q_PROPERTY(int minimumLineSpacing READ minimumLineSpacing WRITE setMinimumLineSpacing)

  public:
    using MakeItem = std::function<QWidget*()>;
    using NumberOfItems = std::function<int()>;
    using BindItem = std::function<void(QWidget* item, int index)>;
    using SizeForItem = std::function<QSizeF(int index)>;

    explicit CollectionGrid(QWidget* parent = nullptr);

    int minimumInteritemSpacing() const { return interitemSpacing_; }
    void setMinimumInteritemSpacing(int spacing);
    int minimumLineSpacing() const { return lineSpacing_; }
    void setMinimumLineSpacing(int spacing);

    // The width that the rows share: the visible content, without the scroll bar, which
    // sits beside the rows and never over them.
    int boundsWidth() const;

    // How new rows are made (the one item kind of a list).
    void registerItem(MakeItem make) { make_ = std::move(make); }
    void setDataSource(NumberOfItems count, BindItem bind, SizeForItem size);

    // Binds every row anew from the data source, reusing the rows already made.
    void reloadData();

    int numberOfItems() const { return count_; }
    // The row showing the item at `index`, or null.
    QWidget* itemAt(int index) const;

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    void layoutItems();

    QWidget* document_;
    int interitemSpacing_ = 10;
    int lineSpacing_ = 10;
    MakeItem make_;
    NumberOfItems numberOfItems_;
    BindItem bind_;
    SizeForItem sizeForItem_;
    std::vector<QWidget*> items_;
    int count_ = 0;
};

}  // namespace intercom
