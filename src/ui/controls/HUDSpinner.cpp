#include "ui/controls/HUDSpinner.h"

#include <QPainter>

namespace intercom {

namespace {
constexpr int kSpokes = 12;
}

HUDSpinner::HUDSpinner(QWidget* parent) : QWidget(parent) {
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % kSpokes;
        update();
    });
}

void HUDSpinner::start() {
    timer_.start();
}

void HUDSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = qMin(width(), height());
    painter.translate(width() / 2.0, height() / 2.0);
    QPen pen(Qt::white, side / 12.0, Qt::SolidLine, Qt::RoundCap);
    for (int i = 0; i < kSpokes; ++i) {
        // The spoke at the current step is brightest; the ones behind it trail off.
        const int age = (step_ - i + kSpokes) % kSpokes;
        QColor colour(Qt::white);
        colour.setAlphaF(1.0 - 0.75 * age / (kSpokes - 1));
        pen.setColor(colour);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -side * 0.25), QPointF(0, -side * 0.45));
        painter.restore();
    }
}

}  // namespace intercom
