#include "ui/Layouts.h"

#include <array>
#include <cstdint>

#include "lists/Columns.h"
#include "lists/Lists.h"

namespace quillet::layout {
namespace {

constexpr Font kWindowFont{"ＭＳ Ｐゴシック", -12};
// The file-view command has no menu item of its own on the tool bar, so both share this text.
constexpr std::string_view kFileViewCaption = "ファイルビューの表示(&F)";

constexpr std::array kFileItems{
    MenuItem{"tmiFileRun", "実行(&R)", kImageRun, Command::FileRun},
    MenuItem{"tmiFileExeExplorer", "エクスプローラを開く(&E)", kImageExplorer,
             Command::FileExeExplorer},
    MenuItem{"tmiFileSep01", kSeparatorCaption},
    MenuItem{"tmiFileOpenSelectForder", "選択フォルダを開く(&O)", kImageOpenFolder,
             Command::FileOpenSelectForder},
    MenuItem{"tmiFileOpenSelectQuillet", "選択フォルダをquilletで開く(&S)", kImageBox,
             Command::FileOpenSelectQuillet},
    MenuItem{"tmiFileOpenSelectFile", "選択ファイルを開く(&F)", kImagePage,
             Command::FileOpenSelectFile},
    MenuItem{"tmiFileSep03", kSeparatorCaption},
    MenuItem{"tmiFileClose", "閉じる(&C)", kImageDoor, Command::FileClose},
};

constexpr std::array kEditItems{
    MenuItem{"tmiEditDelList", "指定したリストを削除(&D)", kImageEraser, Command::EditDelList},
    MenuItem{"tmiEditAllDelList", "リストを全て削除(&C)", kImageEraserScribble,
             Command::EditAllDelList},
    MenuItem{"tmiEditSep01", kSeparatorCaption},
    MenuItem{"tmiEditZeroForderSel", "容量0のフォルダを選択(Z)", kImageBlank,
             Command::EditZeroForderSel},
    MenuItem{"tmiEditForderDel", "選択されたフォルダを削除(&X)", kNoImage, Command::EditForderDel},
    MenuItem{"tmiEditSep02", kSeparatorCaption},
    MenuItem{"tmiEditForderZeroDel", "容量0のフォルダを削除(&V)", kNoImage,
             Command::EditForderZeroDel},
};

constexpr std::array kViewItems{
    MenuItem{"tmiViewFileViewFlag", kFileViewCaption, kImagePageLines, Command::ViewFileViewFlag},
    MenuItem{"tmiViewTreemap", "ツリーマップ(&M)", kNoImage, Command::ViewTreemap},
    MenuItem{"tmiViewOneFileSystem", "別のファイルシステムを数えない(&X)", kNoImage,
             Command::ViewOneFileSystem},
};

constexpr std::array kHelpItems{
    MenuItem{"tmiHelpAbout", "バージョン情報(&A)...", kImageAbout, Command::HelpAbout},
};

constexpr std::array kMenus{
    Menu{"tmiFile", "ファイル(&F)", kFileItems},
    Menu{"tmiEdit", "編集(&E)", kEditItems},
    Menu{"tmiView", "表示(&V)", kViewItems},
    Menu{"tmiHelp", "ヘルプ(&H)", kHelpItems},
};

constexpr std::array kToolButtons{
    ToolButton{.Name = "tbnMain05", .Image = kImageRun, .BoundItem = "tmiFileRun"},
    ToolButton{.Name = "tbnMain06", .Image = kImageExplorer, .BoundItem = "tmiFileExeExplorer"},
    ToolButton{.Name = "ToolButton1", .Image = kImageBox, .BoundItem = "tmiFileOpenSelectQuillet"},
    ToolButton{.Name = "tbnMainSep01", .SeparatorWidth = 11},
    ToolButton{.Name = "tbnMain02", .Image = kImageEraser, .BoundItem = "tmiEditDelList"},
    ToolButton{
        .Name = "tbnMain03", .Image = kImageEraserScribble, .BoundItem = "tmiEditAllDelList"},
    ToolButton{.Name = "tbnMainSep02", .SeparatorWidth = 11},
    ToolButton{.Name = "tbnMain07", .Image = kImageBlank, .BoundItem = "tmiEditZeroForderSel"},
    ToolButton{.Name = "tbnMain08",
               .Image = kImagePageLines,
               .Caption = kFileViewCaption,
               .Action = Command::ViewFileViewFlag},
};

// The lists' columns are the row model's, which names, sizes and aligns them for every front end.
static_assert(kRemainingWidth == quillet::kRemainingWidth);

template <typename Row, std::size_t N>
constexpr std::array<Column, N> ColumnsOf(const std::array<ListColumn<Row>, N>& columns) {
  std::array<Column, N> shown{};
  for (std::size_t k = 0; k < N; ++k) {
    shown[k] = Column{columns[k].Caption, columns[k].Width,
                      columns[k].Alignment == CellAlign::Right ? Align::Right : Align::Left};
  }
  return shown;
}

constexpr auto kResultColumnTable = ColumnsOf(quillet::kResultColumns);
constexpr auto kFileColumnTable = ColumnsOf(quillet::kFileColumns);

constexpr std::array kStatusPanelTable{
    StatusPanel{50, Align::Right}, StatusPanel{260, Align::Right}, StatusPanel{80, Align::Right},
    StatusPanel{80, Align::Right}, StatusPanel{50, Align::Left},
};

constexpr std::array kProgressControls{
    Control{.Name = "bvlMain", .Kind = ControlKind::Bevel, .Geometry = {8, 8, 297, 57}},
    Control{.Name = "lblMainCaption",
            .Kind = ControlKind::Label,
            .Geometry = {16, 16, 281, 17},
            .Caption = kProgressMainText},
    Control{.Name = "lblSubCaption", .Kind = ControlKind::Label, .Geometry = {16, 40, 281, 17}},
    Control{.Name = "lblRunning",
            .Kind = ControlKind::Label,
            .Geometry = {16, 72, 25, 17},
            .Caption = "*",
            .Alignment = Align::Center,
            .TextFont = {"ＭＳ ゴシック", -13}},
    Control{.Name = "btnCancel",
            .Kind = ControlKind::Button,
            .Geometry = {231, 68, 75, 25},
            .Caption = "キャンセル"},
};

constexpr Font kCreditFont{"Tahoma", -11};
constexpr std::array kAboutControls{
    Control{.Name = "Image1",
            .Kind = ControlKind::Picture,
            .Geometry = {0, 0, 320, 240},
            .Caption = "about.jpg"},
    Control{.Name = "Label2",
            .Kind = ControlKind::Label,
            .Geometry = {8, 136, 305, 17},
            .Caption = "Quillet team",
            .TextFont = kCreditFont},
    Control{.Name = "Label3",
            .Kind = ControlKind::Label,
            .Geometry = {8, 152, 305, 17},
            .Caption = "quillet@example.org",
            .TextFont = kCreditFont},
    Control{.Name = "Label1",
            .Kind = ControlKind::Label,
            .Geometry = {8, 176, 305, 17},
            .Caption = "コンピュータを操る人達への仕返し",
            .TextFont = {"MS UI Gothic", -11}},
    Control{.Name = "Label5",
            .Kind = ControlKind::Label,
            .Geometry = {8, 200, 305, 17},
            .Caption = "Built with GCC and CMake,",
            .TextFont = kCreditFont},
    Control{.Name = "Label4",
            .Kind = ControlKind::Label,
            .Geometry = {8, 216, 305, 17},
            .Caption = "Qt 6 or Win32, and libjpeg-turbo",
            .TextFont = kCreditFont},
};

}  // namespace

const Window kMainWindow{"FMain", "Quillet", 583, 427, kWindowFont, {}};
const std::span<const Menu> kMainMenu{kMenus};
const std::span<const ToolButton> kMainToolBar{kToolButtons};
const std::span<const Column> kResultColumns{kResultColumnTable};
const std::span<const Column> kFileColumns{kFileColumnTable};
const std::span<const StatusPanel> kStatusPanels{kStatusPanelTable};

const Window kProgressDialog{"FLetMeSeeDlg",   "しばらくお待ちください...", 313, 97, kWindowFont,
                             kProgressControls};
const Window kAboutBox{"FAboutBox", "バージョン情報", 320, 240, kWindowFont, kAboutControls};

int ScaleFromDesign(int pixels, int dpi) {
  const std::int64_t product = static_cast<std::int64_t>(pixels) * dpi;
  const std::int64_t half = product < 0 ? -kDesignDpi / 2 : kDesignDpi / 2;
  return static_cast<int>((product + half) / kDesignDpi);
}

const MenuItem* FindMenuItem(std::string_view name) {
  for (const Menu& menu : kMainMenu) {
    for (const MenuItem& item : menu.Items) {
      if (item.Name == name) return &item;
    }
  }
  return nullptr;
}

const Control* FindControl(const Window& window, std::string_view name) {
  for (const Control& control : window.Controls) {
    if (control.Name == name) return &control;
  }
  return nullptr;
}

ResolvedButton Resolve(const ToolButton& button) {
  if (const MenuItem* item = FindMenuItem(button.BoundItem)) {
    return {item->Caption, item->Image, item->Action, true};
  }
  return {button.Caption, button.Image, button.Action, false};
}

}  // namespace quillet::layout
