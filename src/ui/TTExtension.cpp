#include "ui/TTExtension.h"

#include <QFile>
#include <QWidget>

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
        qWarning("intercom: interface file %s cannot be opened: %s",
                 qUtf8Printable(file.fileName()), qUtf8Printable(file.errorString()));
        return nullptr;
    }
    UiLoader loader;
    std::unique_ptr<QWidget> root(loader.loadForm(&file));
    if (!root) {
        qWarning("intercom: interface file %s does not load: %s", qUtf8Printable(file.fileName()),
                 qUtf8Printable(loader.errorString()));
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
