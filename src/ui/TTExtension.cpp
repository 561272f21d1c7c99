#include "ui/TTExtension.h"

#include <QFile>
#include <QWidget>

#include "platform/Log.h"
#include "ui/Resources.h"
#include "ui/UiLoader.h"
#include "ui/controls/FNHUD.h"

namespace intercom {

namespace {

bool isA(const QObject* object, const QMetaObject& type) {
    return object && object->metaObject()->inherits(&type);
}

}  // namespace

const QColor& defaultButtonColor() {
    static const QColor color(5, 21, 60);
    return color;
}

QWidget* loadWidgetFromNib(const QString& fileName, const QMetaObject& type) {
    ensureResources();
    QFile file(QStringLiteral(":/ui/%1.ui").arg(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        logFailure("interface file " + file.fileName().toStdString() +
                   " cannot be opened: " + file.errorString().toStdString());
        return nullptr;
    }
    UiLoader loader;
    std::unique_ptr<QWidget> root(loader.loadForm(&file));
    if (!root) {
        logFailure("interface file " + file.fileName().toStdString() +
                   " does not load: " + loader.errorString().toStdString());
        return nullptr;
    }
    if (isA(root.get(), type)) {
        return root.release();
    }
    QWidget* last = nullptr;
    for (QObject* child : root->children()) {
        if (child->isWidgetType() && isA(child, type)) {
            last = static_cast<QWidget*>(child);
        }
    }
    if (last) {
        last->setParent(nullptr);
    }
    return last;
}

void makeToast(QWidget* view, const QString& text) {
    FNHUD::showMessage(text, view);
}

}  // namespace intercom
