// The Linux program through its real widgets: built from the tables, commands reaching their
// handlers, the progress dialog and Cancel, drops, the About box, the trash.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "scan/Text.h"
#include "ui/Layouts.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/Application.h"
#include "ui/qt/LetMeSeeDlg.h"
#include "ui/qt/Main.h"
#include "ui/qt/ColumnListView.h"
#include "ui/qt/TreemapView.h"
#include "ui/shell/Posix.h"
#include "ui/shell/Shell.h"
#include "ui/shell/Trash.h"
#include "ui/qt/Widgets.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {
namespace {

using Paths = std::vector<std::string>;

std::string Bytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// Records, byte for byte, what the window hands to the shell instead of starting anything; the
// deletions go to the real trash.
class RecordingShell : public shell::Services {
 public:
  struct Calls {
    Paths Opened;
    int FileManagers = 0;
    Paths Instances;
  };
  explicit RecordingShell(std::shared_ptr<Calls> calls) : m_calls(std::move(calls)) {}
  shell::Handover OpenPath(const std::string& path) override {
    if (path == "/throw") throw std::runtime_error("desktop is gone");
    m_calls->Opened.push_back(path);
    return shell::Handover::Done;
  }
  shell::Handover StartFileManager() override {
    ++m_calls->FileManagers;
    return shell::Handover::Done;
  }
  bool StartInstance(const std::vector<std::string>& /*options*/,
                     const std::string& folder) override {
    m_calls->Instances.push_back(folder);
    return true;
  }
  Paths DeleteReversibly(const Paths& paths) override {
    return shell::MakeSystemServices(nullptr)->DeleteReversibly(paths);
  }

 private:
  std::shared_ptr<Calls> m_calls;
};

// A folder with three subfolders of distinct sizes: big (3000 bytes), mid (2000), small (1000
// in two files and one subfolder).
struct Tree {
  QTemporaryDir Root;
  QString Path(const char* name) const { return Root.path() + QLatin1Char('/') + name; }
  Tree() {
    QDir(Root.path()).mkpath(QStringLiteral("big"));
    QDir(Root.path()).mkpath(QStringLiteral("mid"));
    QDir(Root.path()).mkpath(QStringLiteral("small/inner"));
    for (const auto& [file, size] :
         {std::pair{"big/a", 3000}, {"mid/a", 2000}, {"small/a", 400}, {"small/inner/b", 600}})
      std::ofstream(Bytes(Path(file)), std::ios::binary) << std::string(size, 'x');
  }
};

int RowOf(TFMain& window, const char* caption) {
  ListsModel& model = window.Model();
  for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
    if (model.ResultRowAt(i).Caption == caption) return static_cast<int>(i);
  }
  return -1;
}

QAction* ActionOf(TFMain& window, const char* name) {
  return window.findChild<QAction*>(QLatin1String(name));
}

QToolButton* ButtonOf(TFMain& window, const char* name) {
  return window.findChild<QToolButton*>(QLatin1String(name));
}

void ClickRow(QAbstractItemView* view, int row, Qt::KeyboardModifiers modifiers = {}) {
  const QRect rect = view->visualRect(view->model()->index(row, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
}

// What du says folders occupy on disk together, grouped as the panels group numbers.
QString DiskUsageText(const QStringList& folders) {
  QProcess du;
  du.start(
      QStringLiteral("du"),
      QStringList{QStringLiteral("-s"), QStringLiteral("-B1"), QStringLiteral("-c")} + folders);
  if (!du.waitForFinished() || du.exitCode() != 0) return QStringLiteral("du failed");
  const QStringList lines = QString::fromUtf8(du.readAllStandardOutput()).trimmed().split('\n');
  return QString::fromStdString(CountText(lines.last().split('\t').first().toLongLong()));
}

QString Cell(QAbstractItemView* view, int row, int column) {
  return view->model()->index(row, column).data().toString();
}

// A folder "many" holding count empty files.
void MakeFiles(const QTemporaryDir& root, int count) {
  const std::string folder = Bytes(root.path()) + "/many";
  std::filesystem::create_directory(folder);
  for (int i = 0; i < count; ++i)
    std::ofstream(folder + "/file-" + std::to_string(i));
}

// Counts the cells a view asks its model for: a view that lays out or measures every row asks
// for each of them.
class CellRequests : public QIdentityProxyModel {
 public:
  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
    ++Count;
    return QIdentityProxyModel::index(row, column, parent);
  }
  mutable long long Count = 0;
};

bool NoProgressDialogLeft() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (qobject_cast<TFLetMeSeeDlg*>(top) != nullptr) return false;
  }
  return true;
}

}  // namespace

class QtProgramTest : public QObject {
  Q_OBJECT

 private:
  std::shared_ptr<RecordingShell::Calls> m_calls;
  QStringList m_failures;

  std::unique_ptr<TFMain> MakeWindow(const std::optional<QString>& folder) {
    m_calls = std::make_shared<RecordingShell::Calls>();
    std::optional<std::string> argument;
    if (folder) argument = Bytes(*folder);
    auto window = std::make_unique<TFMain>(argument, std::make_unique<RecordingShell>(m_calls));
    window->show();
    return window;
  }

 private slots:
  void init() {
    m_failures.clear();
    SetFailureReporter([this](const QString& message) { m_failures << message; });
  }

  void windowIsBuiltFromTheTables() {
    auto window = MakeWindow(std::nullopt);
    QCOMPARE(window->windowTitle(), QStringLiteral("Quillet"));
    QVERIFY(window->menuWidget() == nullptr);  // no classic menu bar
    QVERIFY(!window->windowIcon().isNull());

    const QList<QAction*> topLevel = window->tbrMenu()->actions();
    QCOMPARE(topLevel.size(), static_cast<qsizetype>(layout::kMainMenu.size()));
    for (qsizetype m = 0; m < topLevel.size(); ++m) {
      const layout::Menu& menu = layout::kMainMenu[static_cast<std::size_t>(m)];
      QCOMPARE(topLevel[m]->text(), ToQString(menu.Caption));
      const QList<QAction*> items = topLevel[m]->menu()->actions();
      QCOMPARE(items.size(), static_cast<qsizetype>(menu.Items.size()));
      for (qsizetype i = 0; i < items.size(); ++i) {
        const layout::MenuItem& item = menu.Items[static_cast<std::size_t>(i)];
        QCOMPARE(items[i]->objectName(), ToQString(item.Name));
        QCOMPARE(items[i]->isSeparator(), item.IsSeparator());
        if (item.IsSeparator()) continue;
        QCOMPARE(items[i]->text(), ToQString(item.Caption));
        QVERIFY(items[i]->isEnabled() && items[i]->isVisible());
        QVERIFY(items[i]->shortcut().isEmpty());
        QCOMPARE(items[i]->icon().isNull(), item.Image == layout::kNoImage);
      }
    }

    for (const layout::ToolButton& button : layout::kMainToolBar) {
      QWidget* widget = window->tbrMain()->findChild<QWidget*>(ToQString(button.Name));
      QVERIFY2(widget != nullptr, button.Name.data());
      if (button.IsSeparator()) {
        QCOMPARE(widget->width(), button.SeparatorWidth);
        continue;
      }
      auto* tool = qobject_cast<QToolButton*>(widget);
      QVERIFY(tool != nullptr && tool->isEnabled());
      QCOMPARE(tool->accessibleName(), ToQString(layout::Resolve(button).Caption));
      QVERIFY(tool->text().isEmpty());  // no caption, no copied accelerator
      QCOMPARE(tool->size(), QSize(layout::kToolButtonWidth, layout::kToolButtonHeight));
    }

    for (const auto& [view, columns] : {std::pair{window->lvwResult(), layout::kResultColumns},
                                        std::pair{window->lvwFile(), layout::kFileColumns}}) {
      QCOMPARE(view->model()->columnCount(), static_cast<int>(columns.size()));
      const std::vector<int> widths =
          ColumnWidths(columns, view->fontMetrics().horizontalAdvance(ToQString(kWidestCount)));
      for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
        const layout::Column& column = columns[static_cast<std::size_t>(c)];
        QCOMPARE(view->model()->headerData(c, Qt::Horizontal).toString(),
                 ToQString(column.Caption));
        // As wide as this desktop's font needs (the location column takes the rest).
        if (column.Width != layout::kRemainingWidth) {
          QCOMPARE(view->header()->sectionSize(c), widths[static_cast<std::size_t>(c)]);
        }
      }
      QCOMPARE(view->minimumHeight(), layout::kSplitterMinimum);
      QCOMPARE(view->selectionMode(), QAbstractItemView::ExtendedSelection);
      QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
      QVERIFY(!view->header()->isSortIndicatorShown());
    }
    // Widened count columns do not squeeze the location column: the window starts wider.
    int designedOthers = 0;
    for (const layout::Column& column : layout::kResultColumns)
      designedOthers += column.Width == layout::kRemainingWidth ? 0 : column.Width;
    QVERIFY(window->lvwResult()->header()->sectionSize(1) >=
            layout::kMainWindow.ClientWidth - designedOthers -
                2 * window->lvwResult()->frameWidth());

    QCOMPARE(window->Splitter1()->handleWidth(), layout::kSplitterWidth);
    QVERIFY(!window->Splitter1()->childrenCollapsible());
    for (int panel = 0; panel < 5; ++panel)
      QVERIFY(window->StatusPanel(panel)->text().isEmpty());

    // The two lists are the only places of the focus, and Tab goes from one to the other.
    for (ColumnListView* view : {window->lvwResult(), window->lvwFile(), window->lvwResult()}) {
      QCOMPARE(window->focusWidget(), view);
      QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
    }
  }

  void commandsReachTheirHandlers() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    QCOMPARE(model.ResultRowCount(), std::size_t{3});
    const int mid = RowOf(*window, "mid");
    const std::string midPath = Bytes(tree.Path("mid"));

    ActionOf(*window, "tmiFileExeExplorer")->trigger();
    QCOMPARE(m_calls->FileManagers, 1);

    // With nothing selected the open commands do nothing.
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    ActionOf(*window, "tmiFileOpenSelectQuillet")->trigger();
    QVERIFY(m_calls->Opened.empty());
    QVERIFY(m_calls->Instances.empty());

    ClickRow(window->lvwResult(), mid);
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    QCOMPARE(m_calls->Opened.back(), midPath);
    // A double-click on the result list opens the selected folder.
    const QRect midRect =
        window->lvwResult()->visualRect(window->lvwResult()->model()->index(mid, 0));
    QTest::mouseDClick(window->lvwResult()->viewport(), Qt::LeftButton, {}, midRect.center());
    QCOMPARE(m_calls->Opened, (Paths{midPath, midPath}));

    // Bound tool buttons act on the press already: a second instance on the selected folder,
    // with the folder as its one argument.
    QTest::mousePress(ButtonOf(*window, "ToolButton1"), Qt::LeftButton);
    QCOMPARE(m_calls->Instances, Paths{midPath});
    QTest::mouseRelease(ButtonOf(*window, "ToolButton1"), Qt::LeftButton);
    QCOMPARE(m_calls->Instances.size(), std::size_t{1});

    // tbnMain08 runs the file view on release only.
    QTest::mousePress(ButtonOf(*window, "tbnMain08"), Qt::LeftButton);
    QCOMPARE(model.FileRowCount(), std::size_t{0});
    QTest::mouseRelease(ButtonOf(*window, "tbnMain08"), Qt::LeftButton);
    QCOMPARE(window->lvwFile()->model()->rowCount(), 1);
    QCOMPARE(Cell(window->lvwFile(), 0, 2), QStringLiteral("2,000"));

    ClickRow(window->lvwFile(), 0);
    ActionOf(*window, "tmiFileOpenSelectFile")->trigger();
    QCOMPARE(m_calls->Opened.back(), Bytes(tree.Path("mid/a")));

    // tbnMain02 removes the selected row on the press, tbnMain03 everything.
    QTest::mousePress(ButtonOf(*window, "tbnMain02"), Qt::LeftButton);
    QCOMPARE(RowOf(*window, "mid"), -1);
    QCOMPARE(window->lvwResult()->model()->rowCount(), 2);
    QTest::mousePress(ButtonOf(*window, "tbnMain03"), Qt::LeftButton);
    QCOMPARE(window->lvwResult()->model()->rowCount(), 0);
    QCOMPARE(window->lvwFile()->model()->rowCount(), 0);

    // The About box opens modally from the help menu, with its picture and text lines.
    bool aboutSeen = false;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<TFAboutBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      aboutSeen = true;
      QCOMPARE(box->windowTitle(), QStringLiteral("バージョン情報"));
      QCOMPARE(box->size(), QSize(320, 240));
      QCOMPARE(box->Picture().size(), QSize(320, 240));
      const QLabel* line = box->findChild<QLabel*>(QStringLiteral("Label1"));
      QVERIFY(line != nullptr);
      QCOMPARE(line->text(), QStringLiteral("コンピュータを操る人達への仕返し"));
      QCOMPARE(line->geometry(), QRect(8, 176, 305, 17));
      QTest::keyClick(box, Qt::Key_Escape);  // Esc does not close it
      QVERIFY(box->isVisible());
      box->close();  // the close box does
    });
    ActionOf(*window, "tmiHelpAbout")->trigger();
    QVERIFY(aboutSeen);

    ActionOf(*window, "tmiFileClose")->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(m_failures.isEmpty());
  }

  // The one-file-system item's mark is the walk option's each time 表示 opens, whoever set it.
  void theOneFileSystemItemShowsItsMarkWhenItsMenuOpens() {
    auto window = MakeWindow(std::nullopt);
    QAction* item = ActionOf(*window, "tmiViewOneFileSystem");
    QMenu* view = window->findChild<QMenu*>(QStringLiteral("tmiView"));
    QVERIFY(item != nullptr && view != nullptr);
    WalkOptions oneFileSystem;
    oneFileSystem.OneFileSystem = true;
    window->Model().SetWalkOptions(oneFileSystem);
    Q_EMIT view->aboutToShow();
    QVERIFY(item->isCheckable());
    QVERIFY(item->isChecked());
    item->trigger();
    QVERIFY(!window->Model().CurrentWalkOptions().OneFileSystem);
    Q_EMIT view->aboutToShow();
    QVERIFY(!item->isChecked());
    QVERIFY(!ActionOf(*window, "tmiViewFileViewFlag")->isCheckable());
  }

  void aFailureInAHandlerIsShownAndTheProgramGoesOn() {
    auto window = MakeWindow(std::nullopt);
    window->Model().AddResultList("/throw");
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    QCOMPARE(m_failures, QStringList{QStringLiteral("desktop is gone")});
    QVERIFY(window->isVisible());
    ActionOf(*window, "tmiEditAllDelList")->trigger();
    QCOMPARE(window->Model().ResultRowCount(), std::size_t{0});
  }

  void headerClickSortsAndSelectionWritesThePanels() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ActionOf(*window, "tmiFileRun")->trigger();
    ColumnListView* view = window->lvwResult();
    const auto clickSizeHeader = [&] {
      QHeaderView* header = view->header();
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(2) + 10, header->height() / 2));
      return QStringList{Cell(view, 0, 0), Cell(view, 1, 0), Cell(view, 2, 0)};
    };
    QCOMPARE(clickSizeHeader(), (QStringList{"big", "mid", "small"}));  // first click: descending
    QCOMPARE(clickSizeHeader(), (QStringList{"small", "mid", "big"}));
    QCOMPARE(Cell(view, 0, 2), QStringLiteral("1,000"));

    view->setFocus();
    ClickRow(view, RowOf(*window, "big"));
    ClickRow(view, RowOf(*window, "small"), Qt::ControlModifier);
    const auto panels = [&] {
      QStringList texts;
      for (int panel = 0; panel < 5; ++panel)
        texts << window->StatusPanel(panel)->text();
      return texts;
    };
    const QString disk = DiskUsageText({tree.Path("big"), tree.Path("small")});
    QCOMPARE(panels(), (QStringList{"2 lists", "4,000 byte (" + disk + " on disk)", "3 files",
                                    "1 forders", "解析終了"}));
    // A selection the model makes (zero-size folders: none here) shows in the view as well.
    ActionOf(*window, "tmiEditZeroForderSel")->trigger();
    QVERIFY(view->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(panels(),
             (QStringList{"0 lists", "0 byte (0 on disk)", "0 files", "0 forders", "解析終了"}));
  }

  // Ctrl+A selects every row of the focused list, and of that list only, through the command
  // layer; the other keys stay the view's own.
  void ctrlASelectsEveryRowOfTheFocusedList() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    const auto small = static_cast<std::size_t>(RowOf(*window, "small"));
    model.SetSelected(ListKind::Result, small, true);
    ActionOf(*window, "tmiViewFileViewFlag")->trigger();
    model.SetSelected(ListKind::Result, small, false);
    QCOMPARE(model.FileRowCount(), std::size_t{3});

    auto* result = window->lvwResult();
    result->setFocus();
    QTest::keyClick(result, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(result->selectionModel()->selectedRows().size(), 3);
    QCOMPARE(window->StatusPanel(0)->text(), QStringLiteral("3 lists"));
    QVERIFY(!model.FirstSelected(ListKind::File));
    auto* file = window->lvwFile();
    file->setFocus();
    QTest::keyClick(file, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(file->selectionModel()->selectedRows().size(), 3);
    for (std::size_t i = 0; i < 3; ++i)
      QVERIFY(model.IsSelected(ListKind::File, i));
    QTest::keyClick(file, Qt::Key_Home);  // the view's own: the first row alone
    QCOMPARE(file->selectionModel()->selectedRows().size(), 1);
  }

  void analysisShowsTheDialogAndCancelStopsAtTheNextUpdate() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    int dialogsSeen = 0;
    // Runs inside the first update's pump: the click is processed there, so that update still
    // answers go on, the first row is measured, and the second update stops the run.
    QTimer::singleShot(0, this, [&] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<TFLetMeSeeDlg*>(top);
        if (dialog == nullptr || !dialog->isVisible()) continue;
        ++dialogsSeen;
        QCOMPARE(dialog->windowTitle(), QStringLiteral("しばらくお待ちください..."));
        QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(dialog->windowFlags() & Qt::WindowCloseButtonHint));
        QCOMPARE(qRound(dialog->windowOpacity() * 255), 200);
        QCOMPARE(dialog->lblMainCaption()->text(),
                 QStringLiteral("内部で処理をしています。キャンセルで中止"));
        QVERIFY(dialog->lblSubCaption()->text().startsWith(QStringLiteral(" 1/3 解析中... [")));
        QCOMPARE(dialog->lblRunning()->text(), QStringLiteral("+"));
        QCOMPARE(window->StatusPanel(4)->text(), QStringLiteral("解析開始"));
        QTest::mouseClick(dialog->btnCancel(), Qt::LeftButton);
      }
    });
    ActionOf(*window, "tmiFileRun")->trigger();
    QCOMPARE(dialogsSeen, 1);
    QCOMPARE(Cell(window->lvwResult(), 0, 2), ToQString(CountText(model.ResultRowAt(0).TotalSize)));
    QCOMPARE(Cell(window->lvwResult(), 1, 2), QStringLiteral("未解析"));
    QCOMPARE(Cell(window->lvwResult(), 2, 2), QStringLiteral("未解析"));
    QCOMPARE(window->StatusPanel(4)->text(), QStringLiteral("解析開始"));
    QVERIFY(NoProgressDialogLeft());  // closed and destroyed
  }

  void closingTheWindowDuringARunCancelsIt() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    // Closed inside the first update's pump: the second update stops the run.
    QTimer::singleShot(0, this, [&] { window->close(); });
    ActionOf(*window, "tmiFileRun")->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(model.ResultRowAt(0).Measured);
    QVERIFY(!model.ResultRowAt(1).Measured);
    QVERIFY(!model.ResultRowAt(2).Measured);
    QVERIFY(NoProgressDialogLeft());
    QVERIFY(m_failures.isEmpty());
  }

  // A run over many small rows updates the dialog far faster than a screen shows: it is painted
  // at most once per frame, and its texts are current after every update all the same.
  void progressDialogIsPaintedAtMostOncePerFrame() {
    struct PaintCounter : QObject {
      int Paints = 0;
      bool eventFilter(QObject*, QEvent* event) override {
        Paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
      }
    } counter;
    TFLetMeSeeDlg dialog;
    dialog.Show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.lblSubCaption()->installEventFilter(&counter);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i)
      QVERIFY(dialog.UpdateProgress("a", std::to_string(i), true, true));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QCOMPARE(dialog.lblSubCaption()->text(), QStringLiteral("999"));
    QVERIFY2(counter.Paints <= elapsed / std::chrono::milliseconds(16) + 2,
             qPrintable(QString::number(counter.Paints)));
    dialog.Close();
  }

  void progressDialogKeysAndCloseCountAsCancel() {
    const struct {
      const char* Name;
      std::function<void(TFLetMeSeeDlg&)> Act;
    } cases[] = {
        {"Cancel click",
         [](TFLetMeSeeDlg& d) { QTest::mouseClick(d.btnCancel(), Qt::LeftButton); }},
        {"Esc", [](TFLetMeSeeDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"Enter", [](TFLetMeSeeDlg& d) { QTest::keyClick(d.btnCancel(), Qt::Key_Return); }},
        {"window system close", [](TFLetMeSeeDlg& d) { d.close(); }},
    };
    for (const auto& c : cases) {
      TFLetMeSeeDlg dialog;
      dialog.Show();
      QVERIFY2(dialog.UpdateProgress("a", "b", true, true), c.Name);
      QCOMPARE(dialog.lblRunning()->text(), QStringLiteral("+"));
      QVERIFY2(dialog.UpdateProgress("a", "b", false, false), c.Name);
      QCOMPARE(dialog.lblRunning()->text(), QStringLiteral("*"));
      c.Act(dialog);
      QVERIFY2(dialog.isVisible(), c.Name);  // none of them hides the dialog
      QVERIFY2(!dialog.UpdateProgress("a", "b", true, true), c.Name);
      dialog.Close();
      QVERIFY2(!dialog.isVisible(), c.Name);
    }
  }

  void standardButtonsSpeakJapanese() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("t"), QStringLiteral("q"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
    QVERIFY2(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("はい")),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("いいえ")));
  }

  void labelsAreCutLiterallyWithoutEllipsis() {
    // The sub-text of a path with "&" and a text far wider than the label: drawn as it stands.
    const QString text = QStringLiteral("A & B ") + QString(40, QLatin1Char('W'));
    OneLineLabel label;
    label.resize(60, 17);
    label.setText(text);
    QImage shown(label.size(), QImage::Format_ARGB32);
    QImage expected(label.size(), QImage::Format_ARGB32);
    shown.fill(Qt::white);
    expected.fill(Qt::white);
    label.render(&shown, {}, {}, QWidget::DrawChildren);
    QPainter painter(&expected);
    painter.setFont(label.font());
    painter.setPen(label.palette().color(QPalette::WindowText));
    painter.drawText(label.rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    painter.end();
    QCOMPARE(shown, expected);
  }

  void fillingTheFileListAsksForTheCellsOnScreenOnly() {
    // Rows arrive in batches while the listing pumps; each batch may cost the rows on screen,
    // never the rows the list holds already.
    QTemporaryDir root;
    constexpr int kFiles = 20000;
    MakeFiles(root, kFiles);
    auto window = MakeWindow(root.path());
    QAbstractItemView* view = window->lvwFile();
    CellRequests requests;
    requests.setSourceModel(view->model());
    view->setModel(&requests);
    int batches = 0;
    connect(&requests, &QAbstractItemModel::rowsInserted, this, [&] { ++batches; });
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiViewFileViewFlag")->trigger();
    QApplication::processEvents();  // the last batch shown as well
    const long long asked = requests.Count;
    QCOMPARE(requests.rowCount(), kFiles);
    const int rowHeight = view->visualRect(requests.index(0, 0)).height();
    QVERIFY(rowHeight > 0);
    const long long screen = (view->viewport()->height() / rowHeight + 2) *
                             static_cast<long long>(kFileColumnCaptions.size());
    QVERIFY2(asked <= (batches + 1) * 2 * screen,
             qPrintable(QStringLiteral("%1 cells asked for over %2 batches, a screen is %3")
                            .arg(asked)
                            .arg(batches)
                            .arg(screen)));
  }

  void keysMoveThroughTheFileListAndSelectRows() {
    QTemporaryDir root;
    constexpr int kFiles = 200;
    MakeFiles(root, kFiles);
    auto window = MakeWindow(root.path());
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiViewFileViewFlag")->trigger();
    ColumnListView* view = window->lvwFile();
    const ListsModel& model = window->Model();
    QCOMPARE(model.FileRowCount(), std::size_t{kFiles});
    view->setFocus();
    const auto shown = [view](int row) {
      const QRect rect = view->visualRect(view->model()->index(row, 0));
      return view->viewport()->rect().contains(rect);
    };
    const auto selectedRows = [&] {
      QList<int> rows;
      for (std::size_t i = 0; i < model.FileRowCount(); ++i) {
        if (model.IsSelected(ListKind::File, i)) rows << static_cast<int>(i);
      }
      return rows;
    };

    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);  // no current row yet
    QCOMPARE(view->currentIndex().row(), kFiles - 1);
    QTest::keyClick(view, Qt::Key_Home);
    QCOMPARE(selectedRows(), QList<int>{0});
    QVERIFY(shown(0));
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);  // moves without selecting
    QCOMPARE(view->currentIndex().row(), kFiles - 1);
    QVERIFY(shown(kFiles - 1) && !shown(0));
    QCOMPARE(selectedRows(), QList<int>{0});
    QTest::keyClick(view, Qt::Key_Up, Qt::ShiftModifier);  // from where Ctrl+End went
    QCOMPARE(selectedRows(), (QList<int>{kFiles - 2, kFiles - 1}));
    QTest::keyClick(view, Qt::Key_End);
    QCOMPARE(selectedRows(), QList<int>{kFiles - 1});
    const int page = view->viewport()->height() / view->RowHeight();
    QTest::keyClick(view, Qt::Key_PageUp, Qt::ShiftModifier);
    const QList<int> range = selectedRows();
    QVERIFY(range.size() > 2 && range.size() <= page);
    QCOMPARE(range.back() - range.front() + 1, range.size());  // one run, up from the end
    QCOMPARE(range.back(), kFiles - 1);

    // The mouse selects what is under it, scrolled or not.
    const QRect last = view->visualRect(view->model()->index(kFiles - 2, 2));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, last.center());
    QCOMPARE(selectedRows(), QList<int>{kFiles - 2});
    QTest::keyClick(view, Qt::Key_Home, Qt::ControlModifier);
    QVERIFY(shown(0));
    ClickRow(view, 2);
    ClickRow(view, 4, Qt::ShiftModifier);
    QCOMPARE(selectedRows(), (QList<int>{2, 3, 4}));
  }

  // The treemap takes the file list's place, shows each file in its type's colour, and a click
  // selects the file's row in the list it replaced; the list comes back as it was.
  void treemapTakesTheFileListsPlaceAndAClickSelectsTheRow() {
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("a"));
    for (const auto& [file, size] : {std::pair{"a/big.jpg", 3000}, {"a/small.txt", 1000}})
      std::ofstream(Bytes(root.path() + QLatin1Char('/') + file), std::ios::binary)
          << std::string(size, 'x');
    auto window = MakeWindow(root.path());
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiViewFileViewFlag")->trigger();
    const ListsModel& model = window->Model();
    QCOMPARE(model.FileRowCount(), std::size_t{2});
    const int big = model.FileRowAt(0).Caption == "big.jpg" ? 0 : 1;
    const QRect listPlace = window->lvwFile()->geometry();

    ActionOf(*window, "tmiViewTreemap")->trigger();
    TreemapView* map = window->Treemap();
    QVERIFY(map->isVisible() && !window->lvwFile()->isVisible());
    QCOMPARE(map->geometry(), listPlace);
    const QImage shot = map->grab().toImage();
    // The middle of each file's tile, found through the pane's own hit test.
    const auto middleOf = [&](int row) {
      QRect tile;
      for (int y = 0; y < map->height(); ++y)
        for (int x = 0; x < map->width(); ++x) {
          const QPoint at = map->PicturePoint({x, y});
          if (window->Commands().Treemap().RowAt(at.x(), at.y()) == std::size_t(row))
            tile |= QRect(x, y, 1, 1);
        }
      return tile.center();
    };
    const QPoint bigAt = middleOf(big), smallAt = middleOf(1 - big);
    // The type with the most bytes is blue, the next red, shaded but never another hue.
    const QColor bigColour = shot.pixelColor(bigAt), smallColour = shot.pixelColor(smallAt);
    QVERIFY2(bigColour.blue() > bigColour.red() + 40 && bigColour.blue() > bigColour.green(),
             qPrintable(bigColour.name()));
    QVERIFY2(smallColour.red() > smallColour.blue() + 40, qPrintable(smallColour.name()));

    QTest::mouseClick(map, Qt::LeftButton, {}, bigAt);
    QVERIFY(model.IsSelected(ListKind::File, static_cast<std::size_t>(big)));
    QVERIFY(window->lvwFile()->selectionModel()->isRowSelected(big, {}));
    QCOMPARE(window->focusWidget(), map);
    QTest::keyClick(map, Qt::Key_Return);
    QCOMPARE(m_calls->Opened, Paths{std::string(model.FileRowAt(big).Path)});
    QTest::mouseClick(map, Qt::LeftButton, {}, smallAt);
    QCOMPARE(model.FirstSelected(ListKind::File), std::size_t(1 - big));
    QVERIFY(!model.IsSelected(ListKind::File, static_cast<std::size_t>(big)));

    ActionOf(*window, "tmiViewTreemap")->trigger();
    QVERIFY(window->lvwFile()->isVisible() && !map->isVisible());
    QCOMPARE(window->lvwFile()->geometry(), listPlace);
    QCOMPARE(window->focusWidget(), window->lvwFile());
    QVERIFY(window->lvwFile()->selectionModel()->isRowSelected(1 - big, {}));
  }

  void dropOfTwoFoldersAndAFileAddsTwoRows() {
    Tree tree;
    auto window = MakeWindow(std::nullopt);
    // A folder whose path is far longer than 254 characters arrives whole.
    QString deep = tree.Path("deep");
    for (int i = 0; i < 6; ++i)
      deep += QLatin1Char('/') + QString(50, QLatin1Char('d'));
    QVERIFY(QDir().mkpath(deep));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(tree.Path("mid")), QUrl::fromLocalFile(tree.Path("big/a")),
                  QUrl(QStringLiteral("https://example.org/folder/")), QUrl::fromLocalFile(deep)});
    const QPoint at = window->lvwResult()->mapTo(window.get(), QPoint(10, 10));
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &drop);
    ListsModel& model = window->Model();
    QCOMPARE(model.ResultRowCount(), std::size_t{2});
    QCOMPARE(model.ResultRowAt(0).Location, Bytes(tree.Path("mid")));
    QCOMPARE(model.ResultRowAt(1).Location, Bytes(deep));
    QCOMPARE(Cell(window->lvwResult(), 0, 0), QStringLiteral("mid"));
    QCOMPARE(Cell(window->lvwResult(), 1, 2), QStringLiteral("未解析"));
  }

  void pathsThatAreNotUtf8ReachTheDesktopByteForByte() {
    QTemporaryDir root;
    const std::string base = Bytes(root.path());
    // QTemporaryDir cannot remove a name it cannot decode.
    const auto removeAll = qScopeGuard([&] { std::filesystem::remove_all(base); });
    const std::string folder = base + "/\x83\x74\x83\x48 \xff&b";  // Shift-JIS, not UTF-8
    std::filesystem::create_directories(folder + "/sub");

    auto window = MakeWindow(root.path());
    QCOMPARE(window->Model().ResultRowCount(), std::size_t{1});
    QCOMPARE(window->Model().ResultRowAt(0).Location, folder);
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    ActionOf(*window, "tmiFileOpenSelectQuillet")->trigger();
    QCOMPARE(m_calls->Opened, Paths{folder});
    QCOMPARE(m_calls->Instances.back(), folder);

    // The real desktop hands the bytes to the new program unchanged.
    const std::string fifo = base + "/fifo";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    QVERIFY(
        shell::StartProgram("/bin/sh", {"-c", "printf %s \"$1\" > \"$2\"", "sh", folder, fifo}));
    std::string received;
    char buffer[256];
    // The poll's limit only guards against a hang: the child writes at once.
    for (pollfd wait{reader, POLLIN, 0}; ::poll(&wait, 1, 60000) > 0;) {
      const ssize_t n = ::read(reader, buffer, sizeof buffer);
      if (n > 0) {
        received.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EAGAIN) {
        break;
      }
    }
    ::close(reader);
    QCOMPARE(received, folder);
    QVERIFY(m_failures.isEmpty());
  }

  void deletedFolderGoesToTheTrashAndNoLeavesEverything() {
    Tree tree;
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const auto unset = qScopeGuard([] { qunsetenv("XDG_DATA_HOME"); });
    auto window = MakeWindow(tree.Root.path());
    QStringList questions;
    bool answer = false;
    QStringList refusals;
    window->Commands().SetMessageHook([&](const Message& message) {
      if (message.Kind == MessageKind::Warning) return refusals << ToQString(message.Text), false;
      questions << ToQString(message.Caption) + QLatin1Char('|') + ToQString(message.Text);
      return answer;
    });
    ClickRow(window->lvwResult(), RowOf(*window, "small"));
    const QString trashed = dataHome.path() + QStringLiteral("/Trash/files/small");

    ActionOf(*window, "tmiEditForderDel")->trigger();  // answered No
    QCOMPARE(questions,
             QStringList{QStringLiteral("選択フォルダの削除|選択されたフォルダ群を削除しますか?")});
    QVERIFY(QFileInfo(tree.Path("small/inner/b")).isFile());
    QCOMPARE(window->lvwResult()->model()->rowCount(), 3);
    QVERIFY(!QDir(trashed).exists());

    answer = true;
    ActionOf(*window, "tmiEditForderDel")->trigger();
    QVERIFY(refusals.isEmpty());
    QVERIFY(!QFileInfo::exists(tree.Path("small")));
    QVERIFY(QFileInfo(trashed + QStringLiteral("/inner/b")).isFile());
    QCOMPARE(RowOf(*window, "small"), -1);
    QCOMPARE(window->lvwResult()->model()->rowCount(), 2);
  }

  void trashKeepsNamesApartAndRefusesWhatItCannotTake() {
    QTemporaryDir dataHome;
    QTemporaryDir work;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const auto unset = qScopeGuard([] { qunsetenv("XDG_DATA_HOME"); });
    const QString first = work.path() + QStringLiteral("/one/A & B");
    const QString second = work.path() + QStringLiteral("/two/A & B");
    QVERIFY(QDir().mkpath(first) && QDir().mkpath(second));
    const shell::TrashOutcome a = shell::MoveToTrash(Bytes(first));
    const shell::TrashOutcome b = shell::MoveToTrash(Bytes(second) + "/");
    QVERIFY2(a.Trashed && b.Trashed, (a.Error + b.Error).c_str());
    QVERIFY(a.TrashedAs != b.TrashedAs);
    QFile info(dataHome.path() + QStringLiteral("/Trash/info/A & B.2.trashinfo"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QString record = QString::fromUtf8(info.readAll());
    QVERIFY(record.startsWith(QStringLiteral("[Trash Info]\nPath=") +
                              QString::fromUtf8(QUrl::toPercentEncoding(work.path(), "/")) +
                              QStringLiteral("/two/A%20%26%20B\n")));
    QVERIFY(record.contains(QStringLiteral("\nDeletionDate=")));

    for (const char* bad : {"/", "", "/no/such/folder/anywhere"}) {
      const shell::TrashOutcome outcome = shell::MoveToTrash(bad);
      QVERIFY2(!outcome.Trashed && !outcome.Error.empty(), bad);
    }
    // Nothing half-done stays behind for the refused items.
    QCOMPARE(QDir(dataHome.path() + QStringLiteral("/Trash/info")).entryList(QDir::Files).size(),
             2);
  }
};

}  // namespace quillet

// The program's own application object, so failures escaping an event handler are caught too.
int main(int argc, char** argv) {
  quillet::Application application(argc, argv);
  quillet::QtProgramTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "QtProgramTest.moc"
