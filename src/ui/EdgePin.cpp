#include "ui/EdgePin.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace intercom {

namespace {

class EdgePin : public QObject {
  public:
    explicit EdgePin(QWidget* view) : QObject(view), view_(view) {
        view->installEventFilter(this);
        attach();
    }

    void attach() {
        if (parent_) {
            parent_->removeEventFilter(this);
        }
        parent_ = view_->parentWidget();
        if (parent_) {
            parent_->installEventFilter(this);
            view_->setGeometry(parent_->rect());
        }
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == view_ && event->type() == QEvent::ParentChange) {
            attach();
        } else if (watched == parent_ && event->type() == QEvent::Resize) {
            view_->setGeometry(parent_->rect());
        }
        return false;
    }

  private:
    QWidget* view_;
    QPointer<QWidget> parent_;
};

}  // namespace

void pinEdgesToSuperview(QWidget* view) {
    for (QObject* child : view->children()) {
        if (auto* pin = dynamic_cast<EdgePin*>(child)) {
            pin->attach();
            return;
        }
    }
    new EdgePin(view);
}

}  // namespace intercom
