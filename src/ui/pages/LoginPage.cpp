#include "ui/pages/LoginPage.h"

#include <QFile>

#include "model/UserInfo.h"
#include "net/api/APIRequests.h"
#include "platform/Log.h"
#include "ui/TTExtension.h"

namespace intercom {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The client's content background, or its plain colour while no such image is built in.
QString contentBackgroundStyle(const QString& objectName) {
    for (const char* file : {":/images/img_content_bg.png", ":/images/img_content_bg.svg"}) {
        if (QFile::exists(QLatin1String(file))) {
            return QStringLiteral("#%1 { border-image: url(%2) 0 0 0 0 stretch stretch; }")
                .arg(objectName, QLatin1String(file));
        }
    }
    return QStringLiteral("#%1 { background-color: %2; }")
        .arg(objectName, defaultButtonColor().name());
}

}  // namespace

LoginPage::LoginPage(QWidget* parent) : QWidget(parent) {}

std::unique_ptr<LoginPage> LoginPage::create() {
    auto page = loadFromNib<LoginPage>();
    if (!page) {
        logFailure("the sign-in page's interface file could not be loaded");
    }
    return page;
}

void LoginPage::setCustomView(QWidget* view) {
    customView_ = view;
    if (view) {
        view->setAttribute(Qt::WA_StyledBackground, true);
        view->setStyleSheet(view->styleSheet() + contentBackgroundStyle(view->objectName()));
    }
}

void LoginPage::setNameTextField(QLineEdit* field) {
    nameTextField_ = field;
    if (field) {
        field->setText(fromUtf8(UserInfo::current().name));
    }
}

void LoginPage::setPwdTextField(QLineEdit* field) {
    pwdTextField_ = field;
    if (field) {
        field->setText(fromUtf8(UserInfo::current().code));
    }
}

void LoginPage::awakeFromNib() {
    setCustomView(findChild<QWidget*>(QStringLiteral("customView")));
    setNameTextField(findChild<QLineEdit*>(QStringLiteral("nameTextField")));
    setPwdTextField(findChild<QLineEdit*>(QStringLiteral("pwdTextField")));
}

void LoginPage::handleLoginClick() {
    if (!nameTextField_ || !pwdTextField_) {
        return;
    }
    // Blanks count as a name: the server decides what a name is.
    if (nameTextField_->text().isEmpty()) {
        makeToast(this, nameTextField_->placeholderText());
        return;
    }
    if (pwdTextField_->text().isEmpty()) {
        makeToast(this, pwdTextField_->placeholderText());
        return;
    }
    // Once an accepted sign-in has replaced the page, later replies have nothing to act
    // on: a second home page would tear down the first one's connection.
    QPointer<LoginPage> page(this);
    api::requestLogin(nameTextField_->text().toStdString(), pwdTextField_->text().toStdString(),
                      [page](std::optional<api::JSONValue> reply) {
                          if (page) {
                              page->handleLoginReply(reply);
                          }
                      });
}

void LoginPage::handleLoginReply(const std::optional<api::JSONValue>& reply) {
    if (!reply) {
        makeToast(this, QStringLiteral("服务器错误"));
        return;
    }
    if ((*reply)["code"].intValue() == 1) {
        const api::JSONValue data = (*reply)["data"];
        if (data.kind() != api::JSONValue::Kind::object) {
            return;
        }
        if (!UserInfo::fromJSON(data.raw()).save()) {
            return;
        }
        emit signedIn();
        return;
    }
    const api::JSONValue message = (*reply)["msg"];
    if (message.kind() == api::JSONValue::Kind::string) {
        makeToast(this, fromUtf8(message.raw().get<std::string>()));
    }
}

}  // namespace intercom
