#include "ui/UiLoader.h"

#include <QCoreApplication>
#include <QHash>
#include <functional>

#include "ui/controls/CollectionGrid.h"
#include "ui/controls/ListenChannelButton.h"
#include "ui/controls/SpeakChannelButton.h"
#include "ui/controls/TTChannelButton.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/controls/TTCustomAlert.h"
#include "ui/controls/TTDoubleClickButton.h"
#include "ui/controls/TTSecureTextFieldCell.h"
#include "ui/controls/TTSlider.h"
#include "ui/controls/TTTextFieldCell.h"
#include "ui/pages/ChatListPage.h"
#include "ui/pages/GroupsPage.h"
#include "ui/pages/LoginPage.h"
#include "ui/pages/SettingPage.h"

namespace intercom {

namespace {

using Factory = std::function<QWidget*(QWidget*)>;

template <typename T>
Factory factory() {
    return [](QWidget* parent) { return new T(parent); };
}

const QHash<QString, Factory>& projectClasses() {
    static const QHash<QString, Factory> classes = {
        {QStringLiteral("TTChannelButton"), factory<TTChannelButton>()},
        {QStringLiteral("SpeakChannelButton"), factory<SpeakChannelButton>()},
        {QStringLiteral("ListenChannelButton"), factory<ListenChannelButton>()},
        {QStringLiteral("TTDoubleClickButton"), factory<TTDoubleClickButton>()},
        {QStringLiteral("TTCustomAlert"), factory<TTCustomAlert>()},
        {QStringLiteral("TTCollectionItem"), factory<TTCollectionItem>()},
        {QStringLiteral("CollectionGrid"), factory<CollectionGrid>()},
        {QStringLiteral("TTSlider"), factory<TTSlider>()},
        {QStringLiteral("GroupsPage"), factory<GroupsPage>()},
        {QStringLiteral("GroupUsersAlert"), factory<GroupUsersAlert>()},
        {QStringLiteral("ChatListPage"), factory<ChatListPage>()},
        {QStringLiteral("SettingPage"), factory<SettingPage>()},
        {QStringLiteral("TTTextFieldCell"), factory<TTTextFieldCell>()},
        {QStringLiteral("TTSecureTextFieldCell"), factory<TTSecureTextFieldCell>()},
        {QStringLiteral("LoginPage"), factory<LoginPage>()},
    };
    return classes;
}

// A loader loads every Qt Designer plugin under the library paths as it is made, and the web
// view's plugin brings the whole web engine into the process. The project's classes come from
// the table above, so the loader is made while there are no library paths.
QStringList libraryPaths;

QObject* withoutLibraryPaths() {
    libraryPaths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
    return nullptr;
}

}  // namespace

UiLoader::UiLoader() : QUiLoader(withoutLibraryPaths()) {
    QCoreApplication::setLibraryPaths(libraryPaths);
}

QWidget* UiLoader::loadForm(QIODevice* device) {
    created_.clear();
    QWidget* root = load(device);
    if (root) {
        for (const QPointer<QWidget>& widget : created_) {
            if (widget && widget->metaObject()->indexOfMethod("awakeFromNib()") >= 0) {
                QMetaObject::invokeMethod(widget, "awakeFromNib", Qt::DirectConnection);
            }
        }
    }
    created_.clear();
    return root;
}

QWidget* UiLoader::createWidget(const QString& className, QWidget* parent, const QString& name) {
    const auto found = projectClasses().constFind(className);
    if (found == projectClasses().constEnd()) {
        return QUiLoader::createWidget(className, parent, name);
    }
    QWidget* widget = (*found)(parent);
    widget->setObjectName(name);
    created_.append(widget);
    return widget;
}

}  // namespace intercom
