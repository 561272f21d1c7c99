#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "net/api/JSONValue.h"

namespace intercom {

// The window's first content: the user name and password, prefilled with the last user
// that the server accepted, and the login button (Return in either field clicks it). Built
// from "LoginPage.ui". Every problem shows as a notice over the page; an accepted sign-in
// stores the server's user record and then asks for the home page in this page's place.
class LoginPage : public QWidget {
    Q_OBJECT

  public:
    explicit LoginPage(QWidget* parent = nullptr);

    // The page from its interface file, or null when the file cannot be loaded.
    static std::unique_ptr<LoginPage> create();

    QWidget* customView() const { return customView_; }
    void setCustomView(QWidget* view);
    QLineEdit* nameTextField() const { return nameTextField_; }
    void setNameTextField(QLineEdit* field);
    QLineEdit* pwdTextField() const { return pwdTextField_; }
    void setPwdTextField(QLineEdit* field);

    Q_INVOKABLE void awakeFromNib();

  public slots:
    // The login button's action. Each click sends a request of its own; nothing waits for
    // an earlier one.
    void handleLoginClick();

  signals:
    // The server accepted the sign-in and its user record is stored: the home page is to
    // take this page's place.
    void signedIn();

  private:
    void handleLoginReply(const std::optional<api::JSONValue>& reply);

    QPointer<QWidget> customView_;
    QPointer<QLineEdit> nameTextField_;
    QPointer<QLineEdit> pwdTextField_;
};

}  // namespace intercom
