#include "ui/controls/TTSecureTextFieldCell.h"

namespace intercom {

TTSecureTextFieldCell::TTSecureTextFieldCell(QWidget* parent) : TTTextFieldCell(parent) {
    setEchoMode(QLineEdit::Password);
}

}  // namespace intercom
