#include "ui/controls/FNHUD.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPropertyAnimation>
#include <QSvgRenderer>
#include <QTimer>
#include <cmath>

#include "ui/EdgePin.h"
#include "ui/Resources.h"
#include "ui/controls/HUDNoMouseView.h"
#include "ui/controls/HUDSpinner.h"

namespace intercom {

namespace {

constexpr int kIconSide = 48;
constexpr int kIconArea = kIconSide + 10;
constexpr int kBottom = 50;
constexpr qreal kMaxTextWidth = 320;
constexpr qreal kMaxTextHeight = 240;
constexpr int kAutoHideMs = 3000;
constexpr int kFadeMs = 250;
const char* const kHidingProperty = "intercomHudHiding";

QPixmap loadIcon(const QString& name) {
    QSvgRenderer renderer(QStringLiteral(":/images/%1.svg").arg(name));
    if (!renderer.isValid()) {
        return {};
    }
    // Drawn at twice the size so that it stays sharp on high-density screens.
    QPixmap pixmap(kIconSide * 2, kIconSide * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

struct Style {
    QFont font;
    QMargins insets{20, 20, 20, 20};
    QColor background = Qt::white;
    QColor text = Qt::black;
    QPixmap successIcon;
    QPixmap errorIcon;
};

const Style& hudStyle() {
    static const Style shared = [] {
        ensureResources();
        Style made;
        made.font = QApplication::font();
        made.font.setPixelSize(15);
        made.font.setBold(true);
        made.successIcon = loadIcon(QStringLiteral("yy_hud_success"));
        made.errorIcon = loadIcon(QStringLiteral("yy_hud_fail"));
        return made;
    }();
    return shared;
}

QList<QPointer<QWidget>>& shownViews() {
    static QList<QPointer<QWidget>> views;
    return views;
}

QSize measure(const QString& message) {
    const QFontMetricsF metrics(hudStyle().font);
    const QRectF bounds = metrics.boundingRect(QRectF(0, 0, kMaxTextWidth, kMaxTextHeight),
                                               Qt::TextWordWrap, message);
    // A word longer than the line would measure wider than the box may be.
    return {static_cast<int>(std::ceil(std::min(bounds.width(), kMaxTextWidth))),
            static_cast<int>(std::ceil(bounds.height()))};
}

void fadeTo(QWidget* view, qreal opacity, std::function<void()> done) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(view);
        view->setGraphicsEffect(effect);
    }
    // A fade-out takes over from a fade-in that is still running.
    for (auto* running :
         view->findChildren<QPropertyAnimation*>(QString(), Qt::FindDirectChildrenOnly)) {
        running->stop();
        delete running;
    }
    auto* animation = new QPropertyAnimation(effect, "opacity", view);
    animation->setDuration(kFadeMs);
    animation->setEndValue(opacity);
    if (done) {
        QObject::connect(animation, &QPropertyAnimation::finished, view, std::move(done));
    }
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void fadeOut(QWidget* view) {
    if (view->property(kHidingProperty).toBool()) {
        return;
    }
    view->setProperty(kHidingProperty, true);
    fadeTo(view, 0.0, [view] {
        shownViews().removeAll(view);
        view->deleteLater();
    });
}

}  // namespace

FNHUD::FNHUD(const QRect& frame, QWidget* parent) : QWidget(parent) {
    setGeometry(frame);
    parent->installEventFilter(this);
}

void FNHUD::showMessage(const QString& message, QWidget* view) {
    createUI(message, QPixmap(), view, false, true);
}

void FNHUD::showSuccess(const QString& message, QWidget* view) {
    createUI(message, hudStyle().successIcon, view, false, true);
}

void FNHUD::showError(const QString& message, QWidget* view) {
    createUI(message, hudStyle().errorIcon, view, false, true);
}

void FNHUD::showLoading(const QString& message, QWidget* view) {
    createUI(message, QPixmap(), view, true, false);
}

void FNHUD::hide() {
    const QList<QWidget*> views = hudViews();
    for (QWidget* view : views) {
        fadeOut(view);
    }
}

QList<QWidget*> FNHUD::hudViews() {
    QList<QWidget*> views;
    for (const QPointer<QWidget>& view : shownViews()) {
        if (view) {
            views.append(view);
        }
    }
    return views;
}

QRect FNHUD::calcRect(const QString& message, bool hasImage, const QSize& parentSize) {
    const QSize text = measure(message);
    const QMargins& insets = hudStyle().insets;
    const int width = std::max(120, text.width()) + insets.left() + insets.right();
    const int height = text.height() + insets.top() + insets.bottom() + (hasImage ? kIconArea : 0);
    return {(parentSize.width() - width) / 2, parentSize.height() - kBottom - height, width,
            height};
}

void FNHUD::createUI(const QString& message, const QPixmap& image, QWidget* view, bool withMask,
                     bool autoHide) {
    if (message.isNull() || !view) {
        return;
    }
    hide();
    const Style& look = hudStyle();
    const bool hasImageArea = !image.isNull() || !autoHide;
    const QRect frame = calcRect(message, hasImageArea, view->size());

    QWidget* topLevel = nullptr;
    QWidget* boxParent = view;
    if (withMask) {
        auto* mask = new HUDNoMouseView(view);
        pinEdgesToSuperview(mask);
        topLevel = boxParent = mask;
    }
    auto* box = new FNHUD(frame, boxParent);
    if (!topLevel) {
        topLevel = box;
    }

    const QSize text = measure(message);
    const int textWidth = std::min(text.width() + 10, static_cast<int>(kMaxTextWidth));
    auto* label = new QLabel(box);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setFont(look.font);
    label->setText(message);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, look.text);
    label->setPalette(palette);
    label->setGeometry((frame.width() - textWidth) / 2,
                       frame.height() - look.insets.bottom() - text.height(), textWidth,
                       text.height());

    const QRect iconFrame((frame.width() - kIconSide) / 2, look.insets.top(), kIconSide, kIconSide);
    if (!image.isNull()) {
        auto* icon = new QLabel(box);
        icon->setScaledContents(true);
        icon->setPixmap(image);
        icon->setGeometry(iconFrame);
    } else if (!autoHide) {
        auto* spinner = new HUDSpinner(box);
        spinner->setGeometry(iconFrame);
        spinner->start();
    }

    auto* effect = new QGraphicsOpacityEffect(topLevel);
    effect->setOpacity(0.0);
    topLevel->setGraphicsEffect(effect);
    topLevel->show();
    topLevel->raise();
    fadeTo(topLevel, 1.0, nullptr);
    shownViews().append(topLevel);

    if (autoHide) {
        // Tied to the notice: once it has gone, the timer goes with it.
        QTimer::singleShot(kAutoHideMs, topLevel, [topLevel] { fadeOut(topLevel); });
    }
}

void FNHUD::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(hudStyle().background);
    painter.drawRoundedRect(rect(), 6, 6);
}

bool FNHUD::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        const QSize parentSize = parentWidget()->size();
        move((parentSize.width() - width()) / 2, parentSize.height() - kBottom - height());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace intercom
