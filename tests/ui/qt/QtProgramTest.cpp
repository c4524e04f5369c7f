// The Linux program through its real widgets: built from the tables, commands reaching their
// handlers, sorting, totals, the progress dialog and Cancel, drops, the About picture, the trash.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/Layouts.h"
#include "ui/qt/AboutBox.h"
#include "ui/qt/Application.h"
#include "ui/qt/LetMeSeeDlg.h"
#include "ui/qt/Main.h"
#include "ui/qt/Trash.h"
#include "ui/qt/Widgets.h"
#include "scan/Text.h"
#include "ui/qt/Shell.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {
namespace {

// Records what the window hands to the desktop instead of starting anything.
class RecordingDesktop : public Desktop {
 public:
  struct Calls {
    QStringList Opened;
    QStringList Programs;
    std::vector<QStringList> Arguments;
    // The same, byte for byte.
    std::vector<std::string> RawOpened;
    std::vector<std::vector<std::string>> RawArguments;
  };
  explicit RecordingDesktop(std::shared_ptr<Calls> calls) : m_calls(std::move(calls)) {}
  bool OpenPath(const std::string& path) override {
    if (path == "/throw") throw std::runtime_error("desktop is gone");
    m_calls->Opened << QFile::decodeName(QByteArray::fromStdString(path));
    m_calls->RawOpened.push_back(path);
    return true;
  }
  bool StartProgram(const std::string& program,
                    const std::vector<std::string>& arguments) override {
    m_calls->Programs << QFile::decodeName(QByteArray::fromStdString(program));
    QStringList decoded;
    for (const std::string& argument : arguments)
      decoded << QFile::decodeName(QByteArray::fromStdString(argument));
    m_calls->Arguments.push_back(decoded);
    m_calls->RawArguments.push_back(arguments);
    return true;
  }

 private:
  std::shared_ptr<Calls> m_calls;
};

void WriteFile(const QString& path, std::size_t bytes) {
  std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary);
  out << std::string(bytes, 'x');
}

// A folder with three subfolders of distinct sizes: big (3000 bytes), mid (2000), small (1000
// in two files and one subfolder).
struct Tree {
  QTemporaryDir Root;
  QString Path(const QString& name) const { return Root.path() + QLatin1Char('/') + name; }
  Tree() {
    QDir dir(Root.path());
    dir.mkpath(QStringLiteral("big"));
    dir.mkpath(QStringLiteral("mid"));
    dir.mkpath(QStringLiteral("small/inner"));
    WriteFile(Path(QStringLiteral("big/a")), 3000);
    WriteFile(Path(QStringLiteral("mid/a")), 2000);
    WriteFile(Path(QStringLiteral("small/a")), 400);
    WriteFile(Path(QStringLiteral("small/inner/b")), 600);
  }
};

int RowOf(TFMain& window, const QString& caption) {
  ListsModel& model = window.Model();
  for (std::size_t i = 0; i < model.ResultRowCount(); ++i) {
    if (ToQString(model.ResultRowAt(i).Caption) == caption) return static_cast<int>(i);
  }
  return -1;
}

QAction* ActionOf(TFMain& window, const char* name) {
  return window.findChild<QAction*>(QLatin1String(name));
}

void ClickRow(QTreeView* view, int row, Qt::KeyboardModifiers modifiers = {}) {
  const QRect rect = view->visualRect(view->model()->index(row, 0));
  QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
}

}  // namespace

class QtProgramTest : public QObject {
  Q_OBJECT

 private:
  std::shared_ptr<RecordingDesktop::Calls> m_calls;
  QStringList m_failures;

  std::unique_ptr<TFMain> MakeWindow(const std::optional<QString>& folder) {
    m_calls = std::make_shared<RecordingDesktop::Calls>();
    std::optional<std::string> argument;
    if (folder) argument = QFile::encodeName(*folder).toStdString();
    auto window = std::make_unique<TFMain>(argument, std::make_unique<RecordingDesktop>(m_calls));
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
    for (std::size_t m = 0; m < layout::kMainMenu.size(); ++m) {
      const layout::Menu& menu = layout::kMainMenu[m];
      QCOMPARE(topLevel[static_cast<qsizetype>(m)]->text(), ToQString(menu.Caption));
      const QList<QAction*> items = topLevel[static_cast<qsizetype>(m)]->menu()->actions();
      QCOMPARE(items.size(), static_cast<qsizetype>(menu.Items.size()));
      for (std::size_t i = 0; i < menu.Items.size(); ++i) {
        const layout::MenuItem& item = menu.Items[i];
        QAction* action = items[static_cast<qsizetype>(i)];
        QCOMPARE(action->objectName(), ToQString(item.Name));
        QCOMPARE(action->isSeparator(), item.IsSeparator());
        if (item.IsSeparator()) continue;
        QCOMPARE(action->text(), ToQString(item.Caption));
        QVERIFY(action->isEnabled());
        QVERIFY(action->isVisible());
        QVERIFY(action->shortcut().isEmpty());
        QCOMPARE(action->icon().isNull(), item.Image == layout::kNoImage);
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
      QVERIFY(tool != nullptr);
      QCOMPARE(tool->accessibleName(), ToQString(layout::Resolve(button).Caption));
      QVERIFY(tool->text().isEmpty());  // no caption, no copied accelerator
      QVERIFY(tool->isEnabled());
      QCOMPARE(tool->size(), QSize(layout::kToolButtonWidth, layout::kToolButtonHeight));
    }

    const struct {
      QTreeView* View;
      std::span<const layout::Column> Columns;
    } lists[] = {{window->lvwResult(), layout::kResultColumns},
                 {window->lvwFile(), layout::kFileColumns}};
    for (const auto& list : lists) {
      QAbstractItemModel* model = list.View->model();
      QCOMPARE(model->columnCount(), static_cast<int>(list.Columns.size()));
      for (std::size_t c = 0; c < list.Columns.size(); ++c) {
        const int section = static_cast<int>(c);
        QCOMPARE(model->headerData(section, Qt::Horizontal).toString(),
                 ToQString(list.Columns[c].Caption));
        if (list.Columns[c].Width != layout::kRemainingWidth) {
          // Count columns may be wider, so that large numbers fit this desktop's font.
          if (list.Columns[c].Alignment == layout::Align::Right) {
            QVERIFY(list.View->header()->sectionSize(section) >= list.Columns[c].Width);
            QVERIFY(list.View->header()->sectionSize(section) >=
                    list.View->fontMetrics().horizontalAdvance(QStringLiteral("999,999,999,999")));
          } else {
            QCOMPARE(list.View->header()->sectionSize(section), list.Columns[c].Width);
          }
        }
      }
      QCOMPARE(list.View->selectionMode(), QAbstractItemView::ExtendedSelection);
      QCOMPARE(list.View->selectionBehavior(), QAbstractItemView::SelectRows);
      QVERIFY(!list.View->header()->isSortIndicatorShown());
    }

    // Widened count columns do not squeeze the location column below its designed room: the
    // window starts wider by as much.
    {
      QHeaderView* header = window->lvwResult()->header();
      int designedOthers = 0;
      for (const layout::Column& column : layout::kResultColumns) {
        if (column.Width != layout::kRemainingWidth) designedOthers += column.Width;
      }
      const int designedRoom =
          layout::kMainWindow.ClientWidth - designedOthers - 2 * window->lvwResult()->frameWidth();
      QVERIFY2(header->sectionSize(1) >= designedRoom,
               qPrintable(QStringLiteral("%1 < %2").arg(header->sectionSize(1)).arg(designedRoom)));
    }

    QCOMPARE(window->Splitter1()->handleWidth(), layout::kSplitterWidth);
    QCOMPARE(window->lvwResult()->minimumHeight(), layout::kSplitterMinimum);
    QCOMPARE(window->lvwFile()->minimumHeight(), layout::kSplitterMinimum);
    QVERIFY(!window->Splitter1()->childrenCollapsible());
    for (int panel = 0; panel < 5; ++panel)
      QVERIFY(window->StatusPanel(panel)->text().isEmpty());

    // The two lists are the only places of the focus, and Tab goes from one to the other.
    QCOMPARE(window->focusWidget(), window->lvwResult());
    QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
    QCOMPARE(window->focusWidget(), window->lvwFile());
    QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
    QCOMPARE(window->focusWidget(), window->lvwResult());
  }

  void commandsReachTheirHandlers() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    QCOMPARE(model.ResultRowCount(), std::size_t{3});
    const int mid = RowOf(*window, QStringLiteral("mid"));

    ActionOf(*window, "tmiFileExeExplorer")->trigger();
    QCOMPARE(m_calls->Opened, QStringList{QDir::homePath()});

    // With nothing selected the open commands do nothing.
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    ActionOf(*window, "tmiFileOpenSelectQuillet")->trigger();
    QCOMPARE(m_calls->Opened.size(), 1);
    QVERIFY(m_calls->Programs.isEmpty());

    ClickRow(window->lvwResult(), mid);
    QVERIFY(model.IsSelected(ListKind::Result, static_cast<std::size_t>(mid)));
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    QCOMPARE(m_calls->Opened.last(), tree.Path(QStringLiteral("mid")));

    // A double-click on the result list opens the first selected folder.
    const QRect midRect =
        window->lvwResult()->visualRect(window->lvwResult()->model()->index(mid, 0));
    QTest::mouseDClick(window->lvwResult()->viewport(), Qt::LeftButton, {}, midRect.center());
    QCOMPARE(m_calls->Opened.size(), 3);
    QCOMPARE(m_calls->Opened.last(), tree.Path(QStringLiteral("mid")));

    // Bound tool buttons act on the press already: a second instance on the selected folder,
    // the program's own path with the folder as its one argument.
    auto* quilletButton = window->findChild<QToolButton*>(QStringLiteral("ToolButton1"));
    QTest::mousePress(quilletButton, Qt::LeftButton);
    QCOMPARE(m_calls->Programs, QStringList{QCoreApplication::applicationFilePath()});
    QCOMPARE(m_calls->Arguments.back(), QStringList{tree.Path(QStringLiteral("mid"))});
    QTest::mouseRelease(quilletButton, Qt::LeftButton);
    QCOMPARE(m_calls->Programs.size(), 1);

    // tbnMain08 runs the file view on release only.
    auto* fileViewButton = window->findChild<QToolButton*>(QStringLiteral("tbnMain08"));
    QTest::mousePress(fileViewButton, Qt::LeftButton);
    QCOMPARE(model.FileRowCount(), std::size_t{0});
    QTest::mouseRelease(fileViewButton, Qt::LeftButton);
    QCOMPARE(model.FileRowCount(), std::size_t{1});
    QCOMPARE(window->lvwFile()->model()->rowCount(), 1);
    QCOMPARE(window->lvwFile()->model()->index(0, 2).data().toString(), QStringLiteral("2,000"));

    ClickRow(window->lvwFile(), 0);
    ActionOf(*window, "tmiFileOpenSelectFile")->trigger();
    QCOMPARE(m_calls->Opened.last(), tree.Path(QStringLiteral("mid/a")));

    // tbnMain02 removes the selected row on the press, tbnMain03 everything.
    QTest::mousePress(window->findChild<QToolButton*>(QStringLiteral("tbnMain02")), Qt::LeftButton);
    QCOMPARE(model.ResultRowCount(), std::size_t{2});
    QCOMPARE(RowOf(*window, QStringLiteral("mid")), -1);
    QCOMPARE(window->lvwResult()->model()->rowCount(), 2);
    QTest::mousePress(window->findChild<QToolButton*>(QStringLiteral("tbnMain03")), Qt::LeftButton);
    QCOMPARE(model.ResultRowCount(), std::size_t{0});
    QCOMPARE(model.FileRowCount(), std::size_t{0});
    QCOMPARE(window->lvwFile()->model()->rowCount(), 0);

    // The About box opens modally from the help menu and decodes its picture.
    bool aboutSeen = false;
    QTimer::singleShot(0, this, [&] {
      auto* box = qobject_cast<TFAboutBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      aboutSeen = true;
      QCOMPARE(box->windowTitle(), QStringLiteral("バージョン情報"));
      QCOMPARE(box->Picture().size(), QSize(320, 240));
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

  void headerClickSortsFirstDescending() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ActionOf(*window, "tmiFileRun")->trigger();
    QHeaderView* header = window->lvwResult()->header();
    const auto clickSection = [&](int section) {
      QTest::mouseClick(
          header->viewport(), Qt::LeftButton, {},
          QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
    };
    const auto captions = [&] {
      QStringList out;
      for (int r = 0; r < window->lvwResult()->model()->rowCount(); ++r) {
        out << window->lvwResult()->model()->index(r, 0).data().toString();
      }
      return out;
    };
    clickSection(2);
    QCOMPARE(captions(), (QStringList{"big", "mid", "small"}));
    clickSection(2);
    QCOMPARE(captions(), (QStringList{"small", "mid", "big"}));
    clickSection(0);  // the direction flipped again: names descending
    QCOMPARE(captions(), (QStringList{"small", "mid", "big"}));
    clickSection(3);  // and back: files ascending, small with its two files goes last
    QCOMPARE(captions().last(), QStringLiteral("small"));
    QCOMPARE(window->lvwResult()->model()->index(2, 2).data().toString(), QStringLiteral("1,000"));
  }

  void selectionWritesTheFourPanels() {
    Tree tree;
    auto window = MakeWindow(tree.Root.path());
    ActionOf(*window, "tmiFileRun")->trigger();
    QTreeView* view = window->lvwResult();
    view->setFocus();
    ClickRow(view, RowOf(*window, QStringLiteral("big")));
    ClickRow(view, RowOf(*window, QStringLiteral("small")), Qt::ControlModifier);
    QCOMPARE(window->StatusPanel(0)->text(), QStringLiteral("2 lists"));
    QCOMPARE(window->StatusPanel(1)->text(), QStringLiteral("4,000 byte"));
    QCOMPARE(window->StatusPanel(2)->text(), QStringLiteral("3 files"));
    QCOMPARE(window->StatusPanel(3)->text(), QStringLiteral("1 forders"));
    QCOMPARE(window->StatusPanel(4)->text(), QStringLiteral("解析終了"));

    // A selection the model makes (zero-size folders: none here) shows in the view as well.
    ActionOf(*window, "tmiEditZeroForderSel")->trigger();
    QVERIFY(view->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(window->StatusPanel(0)->text(), QStringLiteral("0 lists"));
    QCOMPARE(window->StatusPanel(1)->text(), QStringLiteral("0 byte"));
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
    QVERIFY(model.ResultRowAt(0).Measured);
    QCOMPARE(window->lvwResult()->model()->index(0, 1 + 1).data().toString(),
             ToQString(CountText(model.ResultRowAt(0).TotalSize)));
    QVERIFY(!model.ResultRowAt(1).Measured);
    QVERIFY(!model.ResultRowAt(2).Measured);
    QCOMPARE(window->lvwResult()->model()->index(1, 2).data().toString(), QStringLiteral("未解析"));
    QCOMPARE(window->StatusPanel(4)->text(), QStringLiteral("解析開始"));
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY(qobject_cast<TFLetMeSeeDlg*>(top) == nullptr);  // closed and destroyed
    }
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
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY(qobject_cast<TFLetMeSeeDlg*>(top) == nullptr);
    }
    QVERIFY(m_failures.isEmpty());
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

  void labelsAreCutLiterallyWithoutEllipsis() {
    // The sub-text of a path with "&" and a text far wider than the label: drawn as it stands.
    OneLineLabel label;
    label.resize(60, 17);
    const QString text = QStringLiteral("A & B ") + QString(40, QLatin1Char('W'));
    label.setText(text);
    QImage literal(label.size(), QImage::Format_ARGB32);
    literal.fill(Qt::white);
    label.render(&literal, {}, {}, QWidget::DrawChildren);
    OneLineLabel reference;
    reference.resize(60, 17);
    QImage drawn(reference.size(), QImage::Format_ARGB32);
    drawn.fill(Qt::white);
    {
      QPainter painter(&drawn);
      painter.setFont(reference.font());
      painter.setPen(reference.palette().color(QPalette::WindowText));
      painter.drawText(reference.rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                       text);
    }
    QCOMPARE(literal, drawn);
  }

  void dropOfTwoFoldersAndAFileAddsTwoRows() {
    Tree tree;
    auto window = MakeWindow(std::nullopt);
    // A folder whose path is far longer than 254 characters arrives whole.
    QString deep = tree.Path(QStringLiteral("deep"));
    for (int i = 0; i < 6; ++i)
      deep += QLatin1Char('/') + QString(50, QLatin1Char('d'));
    QVERIFY(QDir().mkpath(deep));
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(tree.Path(QStringLiteral("mid"))),
                   QUrl::fromLocalFile(tree.Path(QStringLiteral("big/a"))),
                   QUrl(QStringLiteral("https://example.org/folder/")), QUrl::fromLocalFile(deep)});
    const QPoint at = window->lvwResult()->mapTo(window.get(), QPoint(10, 10));
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime, Qt::LeftButton, {});
    QApplication::sendEvent(window.get(), &drop);
    ListsModel& model = window->Model();
    QCOMPARE(model.ResultRowCount(), std::size_t{2});
    QCOMPARE(ToQString(model.ResultRowAt(0).Location), tree.Path(QStringLiteral("mid")));
    QCOMPARE(ToQString(model.ResultRowAt(1).Location), deep);
    QCOMPARE(window->lvwResult()->model()->index(0, 0).data().toString(), QStringLiteral("mid"));
    QCOMPARE(window->lvwResult()->model()->index(1, 2).data().toString(), QStringLiteral("未解析"));
    delete mime;
  }

  void pathsThatAreNotUtf8ReachTheDesktopByteForByte() {
    QTemporaryDir root;
    const std::string base = QFile::encodeName(root.path()).toStdString();
    // QTemporaryDir cannot remove a name it cannot decode.
    const auto removeAll = qScopeGuard([&] { std::filesystem::remove_all(base); });
    const std::string folder = base + "/\x83\x74\x83\x48 \xff&b";  // Shift-JIS, not UTF-8
    std::filesystem::create_directories(folder + "/sub");
    std::ofstream(folder + "/file") << "x";

    auto window = MakeWindow(QFile::decodeName(QByteArray::fromStdString(base)));
    ListsModel& model = window->Model();
    QCOMPARE(model.ResultRowCount(), std::size_t{1});
    QCOMPARE(model.ResultRowAt(0).Location, folder);
    ClickRow(window->lvwResult(), 0);
    ActionOf(*window, "tmiFileOpenSelectForder")->trigger();
    ActionOf(*window, "tmiFileOpenSelectQuillet")->trigger();
    QCOMPARE(m_calls->RawOpened, std::vector<std::string>{folder});
    QCOMPARE(m_calls->RawArguments.back(), std::vector<std::string>{folder});

    // The real desktop hands the bytes to the new program unchanged.
    const std::string fifo = base + "/fifo";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    SystemDesktop desktop;
    QVERIFY(
        desktop.StartProgram("/bin/sh", {"-c", "printf %s \"$1\" > \"$2\"", "sh", folder, fifo}));
    std::string received;
    for (;;) {
      pollfd wait{reader, POLLIN, 0};
      // Only a guard against a hang: the child writes at once.
      if (::poll(&wait, 1, 60000) <= 0) break;
      char buffer[256];
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

  void aboutPictureDecodesTo320By240() {
    QString error;
    const QImage picture = LoadAboutPicture(&error);
    QVERIFY2(!picture.isNull(), qPrintable(error));
    QCOMPARE(picture.size(), QSize(320, 240));
    TFAboutBox box;
    QCOMPARE(box.size(), QSize(320, 240));
    const QLabel* credit = box.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(credit != nullptr);
    QCOMPARE(credit->text(), QStringLiteral("コンピュータを操る人達への仕返し"));
    QCOMPARE(credit->geometry(), QRect(8, 176, 305, 17));
  }

  void deletedFolderGoesToTheTrashAndNoLeavesEverything() {
    Tree tree;
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    auto window = MakeWindow(tree.Root.path());
    ListsModel& model = window->Model();
    QStringList questions;
    bool answer = false;
    window->ShellImpl().SetAsker([&](const QString& text, const QString& caption) {
      questions << caption + QLatin1Char('|') + text;
      return answer;
    });
    QStringList refusals;
    window->ShellImpl().SetNotifier([&](const QString& text) { refusals << text; });
    ClickRow(window->lvwResult(), RowOf(*window, QStringLiteral("small")));

    ActionOf(*window, "tmiEditForderDel")->trigger();  // answered No
    QCOMPARE(questions,
             QStringList{QStringLiteral("選択フォルダの削除|選択されたフォルダ群を削除しますか?")});
    QVERIFY(QFileInfo(tree.Path(QStringLiteral("small/inner/b"))).isFile());
    QCOMPARE(model.ResultRowCount(), std::size_t{3});
    QVERIFY(!QDir(dataHome.path() + QStringLiteral("/Trash/files/small")).exists());

    answer = true;
    ActionOf(*window, "tmiEditForderDel")->trigger();
    QVERIFY(refusals.isEmpty());
    QVERIFY(!QFileInfo::exists(tree.Path(QStringLiteral("small"))));
    const QString trashed = dataHome.path() + QStringLiteral("/Trash/files/small");
    QVERIFY(QFileInfo(trashed + QStringLiteral("/inner/b")).isFile());
    QFile info(dataHome.path() + QStringLiteral("/Trash/info/small.trashinfo"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    const QString record = QString::fromUtf8(info.readAll());
    QVERIFY(record.startsWith(QStringLiteral("[Trash Info]\nPath=")));
    QVERIFY(record.contains(
        QStringLiteral("Path=") +
        QString::fromUtf8(QUrl::toPercentEncoding(tree.Path(QStringLiteral("small")), "/"))));
    QVERIFY(record.contains(QStringLiteral("\nDeletionDate=")));
    QCOMPARE(model.ResultRowCount(), std::size_t{2});
    QCOMPARE(RowOf(*window, QStringLiteral("small")), -1);
    QCOMPARE(window->lvwResult()->model()->rowCount(), 2);
    qunsetenv("XDG_DATA_HOME");
  }

  void trashKeepsNamesApartAndRefusesWhatItCannotTake() {
    QTemporaryDir dataHome;
    QTemporaryDir work;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const QString first = work.path() + QStringLiteral("/one/A & B");
    const QString second = work.path() + QStringLiteral("/two/A & B");
    QVERIFY(QDir().mkpath(first));
    QVERIFY(QDir().mkpath(second));
    const TrashOutcome a = MoveToTrash(QFile::encodeName(first).toStdString());
    const TrashOutcome b = MoveToTrash(QFile::encodeName(second).toStdString() + "/");
    QVERIFY2(a.Trashed, a.Error.c_str());
    QVERIFY2(b.Trashed, b.Error.c_str());
    QVERIFY(a.TrashedAs != b.TrashedAs);
    QFile info(dataHome.path() + QStringLiteral("/Trash/info/A & B.2.trashinfo"));
    QVERIFY(info.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(info.readAll()).contains(QStringLiteral("/two/A%20%26%20B\n")));

    for (const char* bad : {"/", "", "/no/such/folder/anywhere"}) {
      const TrashOutcome outcome = MoveToTrash(bad);
      QVERIFY2(!outcome.Trashed, bad);
      QVERIFY2(!outcome.Error.empty(), bad);
    }
    // Nothing half-done stays behind for the refused items.
    QCOMPARE(QDir(dataHome.path() + QStringLiteral("/Trash/info")).entryList(QDir::Files).size(),
             2);
    qunsetenv("XDG_DATA_HOME");
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
