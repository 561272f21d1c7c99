#include "ui/controls/TTSlider.h"

#include <QSignalBlocker>
#include <cmath>

namespace intercom {

TTSlider::TTSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setSingleStep(kStepsPerUnit);
    setPageStep(kStepsPerUnit);
}

void TTSlider::setDoubleValue(double value) {
    setValue(static_cast<int>(std::lround(value * kStepsPerUnit)));
}

void TTSlider::setIntegerValue(long value) {
    const QSignalBlocker blocker(this);
    setValue(static_cast<int>(value) * kStepsPerUnit);
}

}  // namespace intercom
