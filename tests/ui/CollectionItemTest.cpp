#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/controls/TTCollectionItem.h"
#include "ui/pages/GroupsPage.h"

namespace intercom {
namespace {

// Pixels of the rendered button close to `colour`.
int pixelsNear(const QImage& image, const QColor& colour, int tolerance = 12) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) <= tolerance &&
                std::abs(pixel.green() - colour.green()) <= tolerance &&
                std::abs(pixel.blue() - colour.blue()) <= tolerance) {
                ++count;
            }
        }
    }
    return count;
}

class CollectionItemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        item_ = loadFromNib<TTCollectionItem>();
        ASSERT_NE(item_, nullptr);
        item_->resize(410, 90);
        item_->show();
        QApplication::processEvents();
    }

    UserInfo user(const char* name, const char* remark, std::int64_t onlineStatus) {
        UserInfo user;
        user.id = 7;
        user.name = name;
        user.remark = remark;
        user.onlineStatus = onlineStatus;
        return user;
    }

    // The button as drawn: its background at the left end of the pill, where no text is,
    // and whether its title is drawn in `titleColour`.
    void expectButton(const QString& title, const QColor& background, const QColor& titleColour) {
        QAbstractButton* button = item_->checkButton();
        EXPECT_EQ(button->text(), title);
        const QImage image = button->grab().toImage();
        EXPECT_EQ(image.pixelColor(10, image.height() / 2), background) << title.toStdString();
        EXPECT_GT(pixelsNear(image, titleColour, 40), 3) << title.toStdString();
    }

    std::unique_ptr<TTCollectionItem> item_;
};

TEST_F(CollectionItemTest, ARemarkShowsInBracketsAndLiftsTheTitleAndRebindingClearsIt) {
    Group sales;
    sales.name = "Sales";
    sales.remark = "VIP";
    item_->setGroup(sales);
    QApplication::processEvents();
    EXPECT_EQ(item_->titleLabel()->text(), QStringLiteral("Sales"));
    EXPECT_EQ(item_->subTitleLabel()->text(), QStringLiteral("(VIP)"));
    EXPECT_EQ(item_->titleLabelCenterY(), -10);
    const QWidget* panel = item_->titleLabel()->parentWidget();
    EXPECT_NEAR(item_->titleLabel()->geometry().center().y(), panel->height() / 2 - 10, 1);
    EXPECT_GT(item_->subTitleLabel()->geometry().top(), item_->titleLabel()->geometry().bottom());
    // A group keeps the button's look.
    expectButton(QStringLiteral("查看"), QColor(0, 160, 248), Qt::white);

    Group plain;
    plain.name = "导演组";
    item_->setGroup(plain);
    QApplication::processEvents();
    EXPECT_EQ(item_->titleLabel()->text(), QStringLiteral("导演组"));
    EXPECT_EQ(item_->subTitleLabel()->text(), QString());
    EXPECT_EQ(item_->titleLabelCenterY(), 0);
    EXPECT_NEAR(item_->titleLabel()->geometry().center().y(), panel->height() / 2, 1);
}

TEST_F(CollectionItemTest, OnlyStatusZeroShowsTheOfflineLookAndAReusedRowFollowsItsUser) {
    for (const std::int64_t status : {1, 2, -1}) {
        item_->setUserInfo(user("李娜", "摄像", status));
        expectButton(QStringLiteral("谈话"), QColor(0, 160, 248), Qt::white);
    }
    item_->setUserInfo(user("刘洋", "", 0));
    EXPECT_EQ(item_->titleLabel()->text(), QStringLiteral("刘洋"));
    EXPECT_EQ(item_->subTitleLabel()->text(), QString());
    expectButton(QStringLiteral("呼叫"), QColor(47, 65, 113), QColor(149, 149, 149));
    EXPECT_EQ(pixelsNear(item_->checkButton()->grab().toImage(), Qt::white, 4), 0);

    item_->setUserInfo(user("王芳", "灯光", 1));
    EXPECT_EQ(item_->subTitleLabel()->text(), QStringLiteral("(灯光)"));
    expectButton(QStringLiteral("谈话"), QColor(0, 160, 248), Qt::white);
}

TEST_F(CollectionItemTest, TheButtonRunsTheClosureWhenThereIsOne) {
    QTest::mouseClick(item_->checkButton(), Qt::LeftButton);  // none set: nothing happens
    int runs = 0;
    item_->setOnCheckClick([&runs] { ++runs; });
    QTest::mouseClick(item_->checkButton(), Qt::LeftButton);
    QTest::mouseClick(item_->checkButton(), Qt::RightButton);
    EXPECT_EQ(runs, 1);
}

TEST(CollectionGrid, RowsFillTwoOrFourColumnsOfTheWidthAndAreReusedOnReload) {
    auto page = loadFromNib<GroupsPage>();
    ASSERT_NE(page, nullptr);
    std::vector<Group> groups(5);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i].id = static_cast<std::int64_t>(100 + i);
        groups[i].name = "组" + std::to_string(i);
    }
    page->setList(groups);
    page->show();
    CollectionGrid* grid = page->collectionView();
    grid->setFixedWidth(830);
    ASSERT_TRUE(test::waitUntil([&] { return grid->boundsWidth() == 830; }));
    ASSERT_EQ(grid->numberOfItems(), 5);
    EXPECT_EQ(grid->itemAt(0)->geometry(), QRect(0, 0, 410, 90));
    EXPECT_EQ(grid->itemAt(1)->geometry(), QRect(420, 0, 410, 90));
    EXPECT_EQ(grid->itemAt(2)->geometry().topLeft(), QPoint(0, 100));

    QWidget* first = grid->itemAt(0);
    groups.resize(2);
    page->setList(groups);
    grid->reloadData();
    EXPECT_EQ(grid->numberOfItems(), 2);
    EXPECT_EQ(grid->itemAt(0), first);
    EXPECT_EQ(grid->itemAt(2), nullptr);

    GroupUsersAlert* alert = page->alert();
    ASSERT_NE(alert, nullptr);
    alert->resize(1047, 560);
    alert->show();
    alert->collectionView()->setFixedWidth(830);
    std::vector<UserInfo> users(6);
    alert->setList(users);
    ASSERT_TRUE(test::waitUntil([&] { return alert->collectionView()->boundsWidth() == 830; }));
    EXPECT_EQ(alert->collectionView()->itemAt(0)->size(), QSize(200, 30));
    EXPECT_EQ(alert->collectionView()->itemAt(3)->geometry().left(), 630);
    EXPECT_EQ(alert->collectionView()->itemAt(4)->geometry().topLeft(), QPoint(0, 36));
}

}  // namespace
}  // namespace intercom
