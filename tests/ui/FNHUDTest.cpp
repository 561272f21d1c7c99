#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/TTExtension.h"
#include "ui/controls/FNHUD.h"
#include "ui/controls/HUDNoMouseView.h"
#include "ui/controls/HUDSpinner.h"

namespace intercom {
namespace {

using test::waitUntil;

class FNHUDTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent_.resize(800, 600);
        parent_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent_));
    }

    FNHUD* box() const { return parent_.findChild<FNHUD*>(); }
    QList<FNHUD*> boxes() const { return parent_.findChildren<FNHUD*>(); }
    QLabel* text() const { return box()->findChild<QLabel*>(); }

    QWidget parent_;
};

TEST_F(FNHUDTest, ShortMessageGetsTheNarrowestBoxCentredNearTheBottom) {
    FNHUD::showMessage(QStringLiteral("好"), &parent_);
    ASSERT_NE(box(), nullptr);
    const QRect frame = box()->geometry();
    EXPECT_EQ(frame.width(), 160);
    EXPECT_EQ(frame.x(), 320);
    EXPECT_EQ(frame.bottom() + 1, 600 - 50);
    EXPECT_EQ(frame.height(), text()->height() + 40);
    EXPECT_EQ(text()->geometry().bottom() + 1, frame.height() - 20);
    EXPECT_EQ(text()->text(), QStringLiteral("好"));
}

TEST_F(FNHUDTest, LongMessageWrapsWithinTheWidestBox) {
    const QString message = QStringLiteral("服务器错误，").repeated(12);
    FNHUD::showMessage(message, &parent_);
    ASSERT_NE(box(), nullptr);
    // Wrapping leaves the longest line a little short of the 320 that the text may take.
    EXPECT_LE(box()->width(), 360);
    EXPECT_GE(box()->width(), 340);
    EXPECT_EQ(text()->width(), 320);
    EXPECT_EQ(text()->x(), (box()->width() - 320) / 2);
    EXPECT_GT(text()->height(), QFontMetrics(text()->font()).height()) << "more than one line";
}

TEST_F(FNHUDTest, IconAndSpinnerReserveTheirAreaAboveTheText) {
    const QString message = QStringLiteral("已保存");
    FNHUD::showMessage(message, &parent_);
    const int plainHeight = box()->height();
    FNHUD::showSuccess(message, &parent_);
    auto* success = qobject_cast<FNHUD*>(FNHUD::hudViews().last());
    ASSERT_NE(success, nullptr);
    EXPECT_EQ(success->height(), plainHeight + 58);
    QList<QLabel*> labels = success->findChildren<QLabel*>();
    ASSERT_EQ(labels.size(), 2);
    EXPECT_FALSE(labels[1]->pixmap().isNull());
    EXPECT_EQ(labels[1]->geometry(), QRect((success->width() - 48) / 2, 20, 48, 48));

    FNHUD::showLoading(message, &parent_);
    auto* mask = qobject_cast<HUDNoMouseView*>(FNHUD::hudViews().last());
    ASSERT_NE(mask, nullptr);
    FNHUD* loading = mask->findChild<FNHUD*>();
    EXPECT_EQ(loading->height(), plainHeight + 58);
    HUDSpinner* spinner = loading->findChild<HUDSpinner*>();
    ASSERT_NE(spinner, nullptr);
    EXPECT_EQ(spinner->geometry(), QRect((loading->width() - 48) / 2, 20, 48, 48));
}

TEST_F(FNHUDTest, NarrowParentLetsTheBoxOverhangBothSides) {
    parent_.resize(100, 300);
    FNHUD::showMessage(QStringLiteral("好"), &parent_);
    EXPECT_EQ(box()->x(), -30);
}

TEST_F(FNHUDTest, OneNoticeAtATime) {
    FNHUD::showMessage(QStringLiteral("第一"), &parent_);
    FNHUD* first = box();
    FNHUD::showMessage(QStringLiteral("第二"), &parent_);
    ASSERT_TRUE(waitUntil([&] { return boxes().size() == 1; }));
    EXPECT_NE(box(), first);
    EXPECT_EQ(text()->text(), QStringLiteral("第二"));
    EXPECT_EQ(FNHUD::hudViews(), QList<QWidget*>{box()});
}

TEST_F(FNHUDTest, NoticeHidesItselfAndLeavesItsParent) {
    FNHUD::showMessage(QStringLiteral("再见"), &parent_);
    ASSERT_EQ(boxes().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return boxes().isEmpty(); }, 15000));
    EXPECT_TRUE(FNHUD::hudViews().isEmpty());
}

TEST_F(FNHUDTest, AbsentMessageOrParentShowsNothingAndKeepsTheNoticeShown) {
    FNHUD::showMessage(QStringLiteral("留下"), &parent_);
    FNHUD::showMessage(QString(), &parent_);
    FNHUD::showMessage(QStringLiteral("无处"), nullptr);
    QApplication::processEvents();
    EXPECT_EQ(FNHUD::hudViews().size(), 1);
    EXPECT_EQ(text()->text(), QStringLiteral("留下"));
}

TEST_F(FNHUDTest, LoadingMaskSwallowsClicksUntilHidden) {
    auto* button = new QPushButton(QStringLiteral("下面"), &parent_);
    button->setGeometry(parent_.rect());
    button->show();
    QSignalSpy clicked(button, &QPushButton::clicked);
    test::clickAt(&parent_, QPoint(30, 30));
    ASSERT_EQ(clicked.count(), 1) << "the button underneath takes clicks";
    clicked.clear();

    FNHUD::showLoading(QStringLiteral("加载中"), &parent_);
    auto* mask = qobject_cast<HUDNoMouseView*>(FNHUD::hudViews().last());
    ASSERT_NE(mask, nullptr);
    EXPECT_EQ(mask->geometry(), parent_.rect());
    parent_.resize(900, 700);
    EXPECT_EQ(mask->geometry(), parent_.rect());
    EXPECT_EQ(mask->findChild<FNHUD*>()->geometry().bottom() + 1, 700 - 50);

    test::clickAt(&parent_, QPoint(30, 30));
    test::clickAt(&parent_, QPoint(450, 600));
    EXPECT_EQ(clicked.count(), 0);
    QApplication::processEvents();
    EXPECT_EQ(FNHUD::hudViews().size(), 1) << "the loading notice does not hide by itself";

    FNHUD::hide();
    ASSERT_TRUE(waitUntil([&] { return parent_.findChild<HUDNoMouseView*>() == nullptr; }));
    EXPECT_TRUE(FNHUD::hudViews().isEmpty());
    test::clickAt(&parent_, QPoint(30, 30));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(MakeToast, ShowsTheNoticeOverTheView) {
    QWidget view;
    view.resize(400, 300);
    makeToast(&view, QStringLiteral("服务器错误"));
    ASSERT_EQ(FNHUD::hudViews().size(), 1);
    EXPECT_EQ(FNHUD::hudViews().first()->parentWidget(), &view);
    EXPECT_EQ(view.findChild<QLabel*>()->text(), QStringLiteral("服务器错误"));
}

}  // namespace
}  // namespace intercom
