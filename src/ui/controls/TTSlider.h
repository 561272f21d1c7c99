#pragma once

#include <QSlider>

namespace intercom {

// A horizontal slider over a real-valued range whose knob moves smoothly and that its
// owner snaps to whole numbers. QSlider counts in integers, so the value is kept in
// hundredths; the interface file gives the range in whole units.
class TTSlider : public QSlider {
    Q_OBJECT
    Q_PROPERTY(int wholeMinimum READ wholeMinimum WRITE setWholeMinimum)
    Q_PROPERTY(int wholeMaximum READ wholeMaximum WRITE setWholeMaximum)

  public:
    static constexpr int kStepsPerUnit = 100;

    explicit TTSlider(QWidget* parent = nullptr);

    int wholeMinimum() const { return minimum() / kStepsPerUnit; }
    void setWholeMinimum(int value) { setMinimum(value * kStepsPerUnit); }
    int wholeMaximum() const { return maximum() / kStepsPerUnit; }
    void setWholeMaximum(int value) { setMaximum(value * kStepsPerUnit); }

    double doubleValue() const { return static_cast<double>(value()) / kStepsPerUnit; }
    void setDoubleValue(double value);
    // The value after the owner snapped the knob; whole numbers only.
    long integerValue() const { return value() / kStepsPerUnit; }
    // Moves the knob without reporting a move.
    void setIntegerValue(long value);
};

}  // namespace intercom
