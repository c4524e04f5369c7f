// The Linux program's main window on a real display: fills the file list with every entry below
// the folders inside FOLDER (all rows selected, the file view command), then times what a user
// waits for on that list, each from the input event until the list has repainted: Ctrl+End,
// Ctrl+Home, and header clicks on サイズ (twice: both directions) and on 名前. The treemap in
// the file list's place: its first picture, a repaint after the window is resized, and the first
// picture again once the list is sorted (its tree is then taken by path).
// Usage: quillet-bench-window FOLDER   (run under X, e.g. Xvfb)
#include <QAbstractItemModel>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "ui/qt/Application.h"
#include "ui/qt/Main.h"
#include "ui/qt/ColumnListView.h"
#include "ui/qt/TreemapView.h"

namespace {

// Counts the paint events of one widget.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int Count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Count;
    return false;
  }
};

// Seconds from act until the widget counted by paints has painted after it.
double UntilRepainted(PaintCounter& paints, const std::function<void()>& act) {
  QCoreApplication::processEvents();
  const int before = paints.Count;
  QElapsedTimer timer;
  timer.start();
  act();
  while (paints.Count == before && timer.elapsed() < 60000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  quillet::Application application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillet-bench-window FOLDER\n");
    return 2;
  }
  quillet::TFMain window{std::optional<std::string>(argv[1])};
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  quillet::ListsModel& model = window.Model();
  model.SelectAll(quillet::ListKind::Result, true);
  quillet::ColumnListView* view = window.lvwFile();
  PaintCounter paints(view->viewport());

  const double fill =
      UntilRepainted(paints, [&] { window.Run(quillet::layout::Command::ViewFileViewFlag); });
  std::printf("file view: %zu rows in %.3f s\n", model.FileRowCount(), fill);
  quillet::TreemapView* map = window.Treemap();
  PaintCounter mapPaints(map);
  const auto treemap = [&](const char* what) {
    const double first =
        UntilRepainted(mapPaints, [&] { window.Run(quillet::layout::Command::ViewTreemap); });
    const double resized = UntilRepainted(
        mapPaints, [&] { window.resize(window.width() + 40, window.height() + 30); });
    const quillet::TreemapPane& pane = window.Commands().Treemap();
    std::printf(
        "treemap %s: first picture %.3f s, after a resize %.3f s (%dx%d px, layout %.1f "
        "bytes per tile)\n",
        what, first, resized, pane.Width(), pane.Height(),
        static_cast<double>(pane.LayoutBytes()) /
            static_cast<double>(std::max<std::size_t>(1, pane.LayoutTiles())));
    window.Run(quillet::layout::Command::ViewTreemap);
    window.resize(window.width() - 40, window.height() - 30);
  };
  treemap("in listing order");
  view->setFocus();
  const double end =
      UntilRepainted(paints, [&] { QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier); });
  std::printf("Ctrl+End: %.4f s (row %d current)\n", end, view->currentIndex().row());
  const double home =
      UntilRepainted(paints, [&] { QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier); });
  std::printf("Ctrl+Home: %.4f s\n", home);

  QHeaderView* header = view->header();
  const auto click = [&](int column) {
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
  };
  for (const auto& [column, name] : {std::pair{2, "サイズ"}, {2, "サイズ"}, {0, "名前"}}) {
    const double sort = UntilRepainted(paints, [&] { click(column); });
    std::printf("header click %s: %.3f s to repaint (first row %s)\n", name, sort,
                qPrintable(view->model()->index(0, 2).data().toString()));
  }
  treemap("sorted by 名前");
  return 0;
}
