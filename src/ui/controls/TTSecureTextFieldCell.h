#pragma once

#include "ui/controls/TTTextFieldCell.h"

namespace intercom {

// The password kind of the centred text field: it shows bullets in place of the
// characters, centred the same way.
class TTSecureTextFieldCell : public TTTextFieldCell {
    Q_OBJECT

  public:
    explicit TTSecureTextFieldCell(QWidget* parent = nullptr);
};

}  // namespace intercom
