// A groups overlay of 500 rows (250 lines of two) scrolled from top to bottom a line at a
// time, each step painted: reports the time per painted step (a smooth scroll needs well
// under 16 ms) and the time to bind all rows anew on a reload.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/TTExtension.h"
#include "ui/controls/CollectionGrid.h"
#include "ui/pages/GroupsPage.h"

int main(int argc, char** argv) {
    using namespace intercom;
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);

    std::vector<Group> groups(500);
    for (std::size_t i = 0; i < groups.size(); ++i) {
        groups[i].id = static_cast<std::int64_t>(1000 + i);
        groups[i].name = "频道 " + std::to_string(i);
        groups[i].remark = i % 3 == 0 ? "备注" : "";
    }
    auto page = loadFromNib<GroupsPage>();
    page->setList(groups);
    page->resize(1047, 560);
    QElapsedTimer timer;
    timer.start();
    page->show();
    QApplication::processEvents();
    const qint64 firstShowMs = timer.elapsed();

    CollectionGrid* grid = page->collectionView();
    QScrollBar* bar = grid->verticalScrollBar();
    int steps = 0;
    timer.restart();
    for (int value = 0; value <= bar->maximum(); value += 100) {
        bar->setValue(value);
        grid->viewport()->repaint();
        ++steps;
    }
    const double perStep = static_cast<double>(timer.nsecsElapsed()) / 1e6 / steps;

    timer.restart();
    grid->reloadData();
    QApplication::processEvents();
    const qint64 reloadMs = timer.elapsed();

    std::printf(
        "500 rows: first show %lld ms, %d painted scroll steps at %.2f ms each, "
        "reload %lld ms\n",
        static_cast<long long>(firstShowMs), steps, perStep, static_cast<long long>(reloadMs));
    return perStep < 16.0 ? 0 : 1;
}
