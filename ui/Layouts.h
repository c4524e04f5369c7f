// The layouts of the three windows as plain data: every menu item, tool button, column, status
// panel and dialog control with its caption, image, geometry and command. Both front ends build
// their widgets from these tables, so a caption lives here and nowhere else.
#pragma once

#include <span>
#include <string_view>

#include "resources/Images.h"

namespace quillet::layout {

// The commands a menu item or tool button can run; each front end maps them to its handlers.
// A command's value is also its id in the Windows program's menus and tool bar: None, which no
// item sends, is 0; the others count up from 1 to kLastCommand.
enum class Command : unsigned {
  None = 0,
  FileRun = 1,
  FileExeExplorer,
  FileOpenSelectForder,
  FileOpenSelectQuillet,
  FileOpenSelectFile,
  FileClose,
  EditDelList,
  EditAllDelList,
  EditZeroForderSel,
  EditForderDel,
  EditForderZeroDel,
  ViewFileViewFlag,
  ViewTreemap,
  ViewOneFileSystem,
  HelpAbout,
};
inline constexpr Command kLastCommand = Command::HelpAbout;

enum class Align { Left, Right, Center };

// A logical font: a negative height is the character height in pixels.
struct Font {
  std::string_view Face = {};
  int Height = 0;
};

struct Rect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

inline constexpr int kNoImage = -1;
inline constexpr std::string_view kSeparatorCaption = "-";

struct MenuItem {
  std::string_view Name = {};
  std::string_view Caption = {};  // "-" for a separator line
  int Image = kNoImage;
  Command Action = Command::None;

  constexpr bool IsSeparator() const { return Caption == kSeparatorCaption; }
};

struct Menu {
  std::string_view Name = {};
  std::string_view Caption = {};
  std::span<const MenuItem> Items = {};
};

struct ToolButton {
  std::string_view Name = {};
  int Image = kNoImage;             // kNoImage for a separator
  std::string_view BoundItem = {};  // menu item whose caption, image and action it takes
  std::string_view Caption = {};    // only for a button without a menu item
  Command Action = Command::None;   // only for a button without a menu item
  int SeparatorWidth = 0;           // > 0 for a separator

  constexpr bool IsSeparator() const { return SeparatorWidth > 0; }
};

inline constexpr int kRemainingWidth = -1;

struct Column {
  std::string_view Caption = {};
  int Width = 0;  // kRemainingWidth: takes what the others leave
  Align Alignment = Align::Left;
};

struct StatusPanel {
  int Width = 0;
  Align Alignment = Align::Left;
};

enum class ControlKind { Bevel, Label, Button, Picture };

struct Control {
  std::string_view Name = {};
  ControlKind Kind = ControlKind::Label;
  Rect Geometry = {};
  std::string_view Caption = {};
  Align Alignment = Align::Left;
  Font TextFont = {};  // empty face: the window's font
};

struct Window {
  std::string_view Name = {};
  std::string_view Caption = {};
  int ClientWidth = 0;
  int ClientHeight = 0;
  Font TextFont = {};
  std::span<const Control> Controls = {};
};

// Main window.
extern const Window kMainWindow;
extern const std::span<const Menu> kMainMenu;
extern const std::span<const ToolButton> kMainToolBar;
extern const std::span<const Column> kResultColumns;
extern const std::span<const Column> kFileColumns;
extern const std::span<const StatusPanel> kStatusPanels;

// Tool strip bands and the splitter between the lists.
inline constexpr int kToolButtonWidth = 23;
inline constexpr int kToolButtonHeight = 22;
inline constexpr int kToolBarMinWidth = 205;
inline constexpr int kToolBarWidth = 218;
inline constexpr int kMenuBarMinWidth = 250;
inline constexpr int kMenuBarWidth = 359;
inline constexpr int kSplitterWidth = 3;
inline constexpr int kSplitterMinimum = 30;
inline constexpr int kFileListHeight = 148;
inline constexpr int kStatusBarHeight = 20;

// The pictures of the image list (kImageRun and the others, by index) and their file names, as
// resources/images.txt lists them.
using quillet::kImageCount;
using quillet::kImageFiles;

// Progress dialog and About box.
extern const Window kProgressDialog;
inline constexpr unsigned char kProgressOpacity = 200;  // of 255
extern const Window kAboutBox;

// The tables' pixels are those of a 96 dpi screen; ScaleFromDesign gives them in pixels of dpi,
// rounded as Windows' MulDiv rounds (to the nearest, halves away from zero).
inline constexpr int kDesignDpi = 96;
int ScaleFromDesign(int pixels, int dpi);

// Finds a menu item by name in kMainMenu; nullptr when there is none.
const MenuItem* FindMenuItem(std::string_view name);
// Finds a control of a window by name; nullptr when there is none.
const Control* FindControl(const Window& window, std::string_view name);

// What a tool button shows and runs: its own caption and action, or those of its menu item.
struct ResolvedButton {
  std::string_view Caption = {};
  int Image = kNoImage;
  Command Action = Command::None;
  bool ActsOnPress = false;  // bound buttons run on press, free ones on release
};
ResolvedButton Resolve(const ToolButton& button);

}  // namespace quillet::layout
