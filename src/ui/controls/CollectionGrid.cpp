#include "ui/controls/CollectionGrid.h"

#include <QEvent>
#include <QScrollBar>
#include <cmath>

namespace intercom {

CollectionGrid::CollectionGrid(QWidget* parent) : QScrollArea(parent), document_(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    setWidget(document_);
    // The rows lie on the panel's own background; setWidget paints the document by default.
    document_->setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    // A slim bar on the dark panels, beside the rows rather than over them (the macOS
    // client pushes its scroller out of the rows with a negative inset).
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 70); border-radius: 4px;"
        " min-height: 30px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
    verticalScrollBar()->setSingleStep(20);
}

void CollectionGrid::setMinimumInteritemSpacing(int spacing) {
    interitemSpacing_ = spacing;
    layoutItems();
}

void CollectionGrid::setMinimumLineSpacing(int spacing) {
    lineSpacing_ = spacing;
    layoutItems();
}

int CollectionGrid::boundsWidth() const {
    return viewport()->width();
}

void CollectionGrid::setDataSource(NumberOfItems count, BindItem bind, SizeForItem size) {
    numberOfItems_ = std::move(count);
    bind_ = std::move(bind);
    sizeForItem_ = std::move(size);
}

void CollectionGrid::reloadData() {
    count_ = numberOfItems_ ? std::max(0, numberOfItems_()) : 0;
    while (static_cast<int>(items_.size()) < count_ && make_) {
        QWidget* item = make_();
        item->setParent(document_);
        items_.push_back(item);
    }
    count_ = std::min(count_, static_cast<int>(items_.size()));
    for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
        if (i < count_) {
            bind_(items_[i], i);
            items_[i]->show();
        } else {
            items_[i]->hide();
        }
    }
    layoutItems();
}

QWidget* CollectionGrid::itemAt(int index) const {
    return index >= 0 && index < count_ ? items_[index] : nullptr;
}

bool CollectionGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) {
        layoutItems();
    }
    return QScrollArea::viewportEvent(event);
}

void CollectionGrid::layoutItems() {
    const int width = boundsWidth();
    int x = 0;
    int y = 0;
    int lineHeight = 0;
    for (int i = 0; i < count_; ++i) {
        const QSizeF wanted = sizeForItem_ ? sizeForItem_(i) : QSizeF(items_[i]->sizeHint());
        // Floored, so that the rows of a line never add up to more than the width.
        const QSize size(std::max(0, static_cast<int>(std::floor(wanted.width()))),
                         std::max(0, static_cast<int>(std::floor(wanted.height()))));
        if (x > 0 && x + size.width() > width) {
            x = 0;
            y += lineHeight + lineSpacing_;
            lineHeight = 0;
        }
        items_[i]->setGeometry(x, y, size.width(), size.height());
        x += size.width() + interitemSpacing_;
        lineHeight = std::max(lineHeight, size.height());
    }
    document_->resize(width, y + lineHeight);
}

}  // namespace intercom
