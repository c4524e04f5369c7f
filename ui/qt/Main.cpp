#include "ui/qt/Main.h"

#include <algorithm>
#include <climits>

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include "ui/qt/AboutBox.h"
#include "ui/qt/Application.h"
#include "ui/qt/LetMeSeeDlg.h"
#include "ui/qt/ListModels.h"
#include "ui/qt/ColumnListView.h"
#include "ui/qt/TreemapView.h"
#include "ui/qt/Widgets.h"

namespace quillet {

namespace {

// A path Qt reports (the home folder, this program's file) in the file system's encoding.
std::string ToPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

TFMain::TFMain(std::optional<std::string> firstArgument, std::unique_ptr<shell::Services> services)
    : m_services(services ? std::move(services) : shell::MakeSystemServices(nullptr)),
      m_boxes(this),
      m_selection([this](ListKind list, std::span<const SelectionHandover::Run> runs) {
        ShowSelection(list, runs);
      }) {
  const layout::Window& table = layout::kMainWindow;
  setObjectName(ToQString(table.Name));
  setWindowTitle(ToQString(table.Caption));
  setFont(ToQFont(table.TextFont, font()));
  QIcon icon;
  for (const char* size : {"16", "32", "48"}) {
    icon.addFile(QStringLiteral(":/images/quillet-%1.png").arg(QLatin1String(size)));
  }
  setWindowIcon(icon);
  for (std::string_view file : layout::kImageFiles) {
    m_images.emplace_back(QStringLiteral(":/images/") + ToQString(file));
  }

  m_model = std::make_unique<ListsModel>(static_cast<Frontend&>(*this));
  m_commands = std::make_unique<MainCommands>(*m_model, *m_services,
                                              static_cast<CommandWindow&>(*this), m_boxes);
  m_resultAdapter =
      new ListModelAdapter(*m_model, ListKind::Result, layout::kResultColumns, m_images, this);
  m_fileAdapter =
      new ListModelAdapter(*m_model, ListKind::File, layout::kFileColumns, m_images, this);
  m_model->SetObserver(this);

  BuildToolStrip();
  m_splitter = new QSplitter(Qt::Vertical, this);
  m_splitter->setObjectName(QStringLiteral("Splitter1"));
  m_splitter->setHandleWidth(layout::kSplitterWidth);
  m_splitter->setChildrenCollapsible(false);
  m_splitter->setOpaqueResize(true);
  m_lvwResult = BuildList(ListKind::Result, layout::kResultColumns);
  m_lvwFile = BuildList(ListKind::File, layout::kFileColumns);
  m_lvwResult->setObjectName(QStringLiteral("lvwResult"));
  m_lvwFile->setObjectName(QStringLiteral("lvwFile"));
  m_splitter->addWidget(m_lvwResult);
  // The lower pane shows the file list, or the treemap in its place: same size, same splitter.
  m_lowerPane = new QStackedWidget(m_splitter);
  m_lowerPane->setObjectName(QStringLiteral("pnlLower"));
  m_lowerPane->setMinimumHeight(layout::kSplitterMinimum);
  m_lowerPane->addWidget(m_lvwFile);
  m_treemap = new TreemapView(*m_commands, m_lowerPane);
  m_treemap->setObjectName(QStringLiteral("pbxTreemap"));
  m_lowerPane->addWidget(m_treemap);
  m_splitter->addWidget(m_lowerPane);
  m_splitter->setStretchFactor(0, 1);
  m_splitter->setStretchFactor(1, 0);
  setCentralWidget(m_splitter);
  BuildStatusBar();
  // Tab goes from the result list to whichever lower pane is shown (a hidden one is skipped).
  QWidget::setTabOrder(m_lvwResult, m_lvwFile);
  QWidget::setTabOrder(m_lvwFile, m_treemap);
  QWidget::setTabOrder(m_treemap, m_lvwResult);

  const QScreen* screen = this->screen();
  resize(MainClientWidth(m_widening, screen ? screen->availableGeometry().width() : INT_MAX),
         table.ClientHeight);
  const int fileHeight = layout::kFileListHeight;
  m_splitter->setSizes({std::max(layout::kSplitterMinimum, height() - fileHeight), fileHeight});

  for (const ListKind list : {ListKind::Result, ListKind::File}) {
    connect(View(list), &ColumnListView::doubleClicked, this,
            [this, list] { RunGuarded([this, list] { m_commands->ListDoubleClick(list); }); });
    connect(View(list)->header(), &QHeaderView::sectionClicked, this, [this, list](int column) {
      RunGuarded([this, list, column] { m_commands->ListColumnClick(list, column); });
    });
  }

  FormCreate(firstArgument);
  m_lvwResult->setFocus();
}

TFMain::~TFMain() {
  m_model->SetObserver(nullptr);
  // The views and their adapters read the model until they go, so they go first.
  delete m_splitter;
  delete m_resultAdapter;
  delete m_fileAdapter;
  m_commands.reset();
  m_model.reset();
}

void TFMain::BuildToolStrip() {
  // Two bands on one line: the command buttons, then the menu as a flat bar of captions.
  m_tbrMain = new QToolBar(QStringLiteral("tbrMain"), this);
  m_tbrMain->setObjectName(QStringLiteral("tbrMain"));
  m_tbrMain->setMovable(false);
  m_tbrMain->setFloatable(false);
  m_tbrMain->setIconSize({16, 16});
  m_tbrMain->setToolButtonStyle(Qt::ToolButtonIconOnly);
  m_tbrMain->setMinimumWidth(layout::kToolBarMinWidth);
  m_tbrMain->setMinimumHeight(26);
  m_tbrMain->setFocusPolicy(Qt::NoFocus);
  m_tbrMain->setContextMenuPolicy(Qt::PreventContextMenu);
  for (const layout::ToolButton& button : layout::kMainToolBar) {
    if (button.IsSeparator()) {
      auto* gap = new QWidget(m_tbrMain);
      gap->setObjectName(ToQString(button.Name));
      gap->setFixedWidth(button.SeparatorWidth);
      m_tbrMain->addWidget(gap);
      continue;
    }
    const layout::ResolvedButton resolved = layout::Resolve(button);
    auto* tool = new QToolButton(m_tbrMain);
    tool->setObjectName(ToQString(button.Name));
    // The caption is the button's name for accessibility only: set as text it would become a
    // keyboard shortcut, and the copied accelerators must do nothing here.
    tool->setAccessibleName(ToQString(resolved.Caption));
    tool->setIcon(m_images.at(static_cast<std::size_t>(resolved.Image)));
    tool->setFixedSize(layout::kToolButtonWidth, layout::kToolButtonHeight);
    tool->setAutoRaise(true);
    tool->setFocusPolicy(Qt::NoFocus);
    const layout::Command command = resolved.Action;
    // Buttons bound to a menu item act as soon as they are pressed; the free one on release.
    if (resolved.ActsOnPress) {
      connect(tool, &QToolButton::pressed, this, [this, command] { Run(command); });
    } else {
      connect(tool, &QToolButton::clicked, this, [this, command] { Run(command); });
    }
    m_tbrMain->addWidget(tool);
  }
  addToolBar(Qt::TopToolBarArea, m_tbrMain);

  m_tbrMenuBand = new QToolBar(QStringLiteral("tbrMenu"), this);
  m_tbrMenuBand->setObjectName(QStringLiteral("tbrMenuBand"));
  m_tbrMenuBand->setMovable(false);
  m_tbrMenuBand->setFloatable(false);
  m_tbrMenuBand->setMinimumWidth(layout::kMenuBarMinWidth);
  m_tbrMenuBand->setContextMenuPolicy(Qt::PreventContextMenu);
  // A menu bar placed in a band as a plain widget: it drops its entries down on a click, on
  // Alt with an entry's letter, and takes Alt alone, without being the window's menu bar.
  m_tbrMenu = new QMenuBar(m_tbrMenuBand);
  m_tbrMenu->setObjectName(QStringLiteral("tmmMain"));
  m_tbrMenu->setNativeMenuBar(false);
  for (const layout::Menu& menu : layout::kMainMenu) {
    QMenu* dropDown = m_tbrMenu->addMenu(ToQString(menu.Caption));
    dropDown->setObjectName(ToQString(menu.Name));
    dropDown->menuAction()->setObjectName(ToQString(menu.Name));
    for (const layout::MenuItem& item : menu.Items) {
      if (item.IsSeparator()) {
        dropDown->addSeparator()->setObjectName(ToQString(item.Name));
        continue;
      }
      QAction* action = dropDown->addAction(ToQString(item.Caption));
      action->setObjectName(ToQString(item.Name));
      if (item.Image != layout::kNoImage) {
        action->setIcon(m_images.at(static_cast<std::size_t>(item.Image)));
      }
      const layout::Command command = item.Action;
      action->setData(static_cast<unsigned>(command));
      connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    }
    // A check item shows the command layer's state each time its menu opens.
    connect(dropDown, &QMenu::aboutToShow, this, [this, dropDown] {
      for (QAction* action : dropDown->actions()) {
        const auto checked =
            m_commands->Checked(static_cast<layout::Command>(action->data().toUInt()));
        action->setCheckable(checked.has_value());
        action->setChecked(checked.value_or(false));
      }
    });
  }
  m_tbrMenuBand->addWidget(m_tbrMenu);
  addToolBar(Qt::TopToolBarArea, m_tbrMenuBand);
}

ColumnListView* TFMain::BuildList(ListKind list, std::span<const layout::Column> columns) {
  // A view that keeps nothing per row: a million rows arrive, sort and scroll as fast as ten.
  auto* view = new ColumnListView(m_splitter);
  view->setModel(Adapter(list));
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setIconSize({16, 16});
  view->setMinimumHeight(layout::kSplitterMinimum);
  view->setFocusPolicy(Qt::StrongFocus);
  view->setTabKeyNavigation(false);
  // The selection shows only while the list has the focus.
  QPalette palette = view->palette();
  palette.setColor(QPalette::Inactive, QPalette::Highlight,
                   palette.color(QPalette::Inactive, QPalette::Base));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Inactive, QPalette::Text));
  view->setPalette(palette);

  QHeaderView* header = view->header();
  const std::vector<int> widths =
      ColumnWidths(columns, view->fontMetrics().horizontalAdvance(ToQString(kWidestCount)));
  if (list == ListKind::Result) m_widening = Widening(columns, widths);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  header->setSectionsMovable(false);
  header->setStretchLastSection(false);
  header->setHighlightSections(false);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const int section = static_cast<int>(i);
    if (columns[i].Width == layout::kRemainingWidth) {
      header->setSectionResizeMode(section, QHeaderView::Stretch);
    } else {
      header->setSectionResizeMode(section, QHeaderView::Interactive);
      header->resizeSection(section, widths[i]);
    }
  }
  connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this, list](const QItemSelection& selected, const QItemSelection& deselected) {
            RunGuarded([&] {
              for (const QItemSelectionRange& range : deselected)
                m_selection.TakeSelection(*m_model, list, static_cast<std::size_t>(range.top()),
                                          static_cast<std::size_t>(range.bottom()), false);
              for (const QItemSelectionRange& range : selected)
                m_selection.TakeSelection(*m_model, list, static_cast<std::size_t>(range.top()),
                                          static_cast<std::size_t>(range.bottom()), true);
            });
          });
  // The keys the command layer gives a meaning reach it before the view's own handling.
  view->installEventFilter(this);
  return view;
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || (watched != m_lvwResult && watched != m_lvwFile))
    return QMainWindow::eventFilter(watched, event);
  const auto* press = static_cast<QKeyEvent*>(event);
  const int code = press->key();
  const Qt::KeyboardModifiers modifiers = press->modifiers();
  const ListKey key{
      code >= Qt::Key_A && code <= Qt::Key_Z ? static_cast<char>('A' + code - Qt::Key_A) : '\0',
      modifiers.testFlag(Qt::ControlModifier), modifiers.testFlag(Qt::ShiftModifier),
      modifiers.testFlag(Qt::AltModifier)};
  const ListKind list = watched == m_lvwResult ? ListKind::Result : ListKind::File;
  bool taken = false;
  RunGuarded([&] { taken = m_commands->ListKeyDown(list, key); });
  return taken;
}

void TFMain::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("stbMain"));
  bar->setSizeGripEnabled(true);
  bar->setFixedHeight(std::max(layout::kStatusBarHeight, bar->sizeHint().height()));
  for (std::size_t i = 0; i < layout::kStatusPanels.size(); ++i) {
    const layout::StatusPanel& panel = layout::kStatusPanels[i];
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("stbMainPanel%1").arg(i));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(ToQAlignment(panel.Alignment));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // A panel never cuts its text: it is as wide as designed, or wider when its text needs it
    // in this desktop's font; the last one takes the rest of the bar.
    label->setMinimumWidth(panel.Width);
    label->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    const bool last = i + 1 == layout::kStatusPanels.size();
    bar->addWidget(label, last ? 1 : 0);
    m_panels[i] = label;
  }
}

ListModelAdapter* TFMain::Adapter(ListKind list) const {
  return list == ListKind::Result ? m_resultAdapter : m_fileAdapter;
}

ColumnListView* TFMain::View(ListKind list) const {
  return list == ListKind::Result ? m_lvwResult : m_lvwFile;
}

void TFMain::Run(layout::Command command) {
  RunGuarded([this, command] { m_commands->Run(command); });
}

// --- Handlers -----------------------------------------------------------------------------------

void TFMain::ImportScan(const std::string& path) {
  m_commands->ImportScan(path);
}

void TFMain::FormCreate(const std::optional<std::string>& firstArgument) {
  m_model->FormCreate(firstArgument);
  setAcceptDrops(true);
}

void TFMain::tmiHelpAboutClick() {
  TFAboutBox box;
  box.exec();
}

void TFMain::FocusResultList() {
  m_lvwResult->setFocus();
}

void TFMain::ShowTreemap(bool shown) {
  QWidget* hidden = shown ? static_cast<QWidget*>(m_lvwFile) : m_treemap;
  QWidget* next = shown ? static_cast<QWidget*>(m_treemap) : m_lvwFile;
  const bool hadFocus = focusWidget() == hidden;
  m_lowerPane->setCurrentWidget(next);
  if (hadFocus) next->setFocus();
}

void TFMain::RepaintTreemap() {
  m_treemap->update();
}

// --- Drops --------------------------------------------------------------------------------------

void TFMain::DropFiles(const QList<QUrl>& urls) {
  std::vector<std::string> paths;
  for (const QUrl& url : urls) {
    if (url.isLocalFile()) paths.push_back(ToPath(url.toLocalFile()));
  }
  m_commands->DropFiles(paths);
}

void TFMain::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::closeEvent(QCloseEvent* event) {
  m_progress.CancelAll();
  QMainWindow::closeEvent(event);
}

void TFMain::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  event->acceptProposedAction();
  const QList<QUrl> urls = event->mimeData()->urls();
  RunGuarded([&] { DropFiles(urls); });
}

// --- Front end of the row model -----------------------------------------------------------------

std::unique_ptr<ProgressSink> TFMain::CreateProgress() {
  // Owned by the command alone, not by this window: a command started inside another one's loop
  // gets a dialog of its own.
  return std::make_unique<TFLetMeSeeDlg>(&m_progress);
}

void TFMain::SetPanelText(quillet::StatusPanel panel, std::string_view text) {
  m_panels.at(static_cast<std::size_t>(panel))->setText(ToQString(text));
}

void TFMain::BeginReset(ListKind list) {
  m_selection.Hold(list);
  Adapter(list)->BeginReset();
}

void TFMain::EndReset(ListKind list) {
  Adapter(list)->EndReset();
  m_selection.Release(list);
  m_selection.ShowSelection(*m_model, list);
  m_commands->ListChanged(list, true);
}

void TFMain::BeginAppend(ListKind list, std::size_t first, std::size_t count) {
  m_selection.Hold(list);
  Adapter(list)->BeginAppend(first, count);
}

void TFMain::EndAppend(ListKind list) {
  Adapter(list)->EndAppend();
  m_selection.Release(list);
  m_commands->ListChanged(list, true);
}

void TFMain::BeginRemove(ListKind list, std::size_t first, std::size_t count) {
  m_selection.Hold(list);
  Adapter(list)->BeginRemove(first, count);
}

void TFMain::EndRemove(ListKind list) {
  Adapter(list)->EndRemove();
  m_selection.Release(list);
  m_selection.ShowSelection(*m_model, list);
  m_commands->ListChanged(list, true);
}

void TFMain::RowChanged(ListKind list, std::size_t index) {
  Adapter(list)->RowChanged(index);
}

void TFMain::SelectionChanged(ListKind list) {
  m_selection.ShowSelection(*m_model, list);
  m_commands->ListChanged(list, false);
}

void TFMain::ShowSelection(ListKind list, std::span<const SelectionHandover::Run> runs) {
  QItemSelection selection;
  const ListModelAdapter* adapter = Adapter(list);
  const int lastColumn = adapter->columnCount() - 1;
  for (const SelectionHandover::Run& run : runs) {
    selection.select(adapter->index(static_cast<int>(run.First), 0),
                     adapter->index(static_cast<int>(run.Last), lastColumn));
  }
  View(list)->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

}  // namespace quillet
