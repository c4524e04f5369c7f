#include "ui/win32/MenuBand.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/Utf16.h"

namespace quillet {
namespace {

// The ids of tbrMenu's buttons, one for each top-level entry: none is 0, none a command's.
constexpr std::array<UINT, 4> kEntryIds{200, 201, 202, 203};
static_assert(std::ranges::none_of(kEntryIds, [](UINT id) { return id == 0 || CommandOfId(id); }));

// The top-level entry a button id of tbrMenu stands for; nothing for any other id.
std::optional<std::size_t> EntryOfId(UINT id) {
  const auto found = std::ranges::find(kEntryIds, id);
  if (found == kEntryIds.end()) return std::nullopt;
  return static_cast<std::size_t>(found - kEntryIds.begin());
}

// True when the caption marks letter with "&" (either case).
bool IsMarkedLetter(std::string_view caption, wchar_t letter) {
  const std::size_t mark = caption.find('&');
  return mark != std::string_view::npos && mark + 1 < caption.size() &&
         std::towupper(static_cast<unsigned char>(caption[mark + 1])) == std::towupper(letter);
}

// The menus are drawn by the program, in a font that has the captions' characters, with the
// image list's pictures (menus draw 32-bit bitmaps on black). An item drawn so carries its
// layout item, which outlives the menu (the tables do).
void SetMenuItemDrawn(HMENU menu, UINT commandId, const layout::MenuItem& item) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_DATA;
  info.fType = MFT_OWNERDRAW;
  info.dwItemData = reinterpret_cast<ULONG_PTR>(&item);
  ::SetMenuItemInfoW(menu, commandId, FALSE, &info);
}

const layout::MenuItem* DrawnItem(UINT type, ULONG_PTR data) {
  return type == ODT_MENU ? reinterpret_cast<const layout::MenuItem*>(data) : nullptr;
}

// The item's picture stands in a column as wide as the image list's pictures and its margins;
// the caption follows it.
struct MenuItemMetrics {
  int ImageColumn;
  int TextRight;
  int Vertical;
};

MenuItemMetrics MenuMetrics(UINT dpi) {
  return {ListImageSize(dpi) + Scale(10, dpi), Scale(16, dpi), Scale(3, dpi)};
}

// True when the message was a drawn item's.
bool MeasureMenuItem(MEASUREITEMSTRUCT& measure, HFONT font, UINT dpi) {
  const layout::MenuItem* item = DrawnItem(measure.CtlType, measure.itemData);
  if (item == nullptr) return false;
  const std::wstring caption = ToUtf16<wchar_t>(item->Caption);
  RECT text = {};
  if (const HDC dc = ::GetDC(nullptr)) {
    {
      const SelectedFont selected(dc, font);
      ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
                  DT_SINGLELINE | DT_CALCRECT);
    }
    ::ReleaseDC(nullptr, dc);
  }
  const MenuItemMetrics metrics = MenuMetrics(dpi);
  measure.itemWidth = static_cast<UINT>(metrics.ImageColumn + text.right + metrics.TextRight);
  measure.itemHeight = static_cast<UINT>(
      std::max(static_cast<int>(text.bottom), ListImageSize(dpi)) + 2 * metrics.Vertical);
  return true;
}

// True when the message was a drawn item's.
bool DrawMenuItem(const DRAWITEMSTRUCT& draw, HFONT font, HIMAGELIST images, UINT dpi) {
  const layout::MenuItem* item = DrawnItem(draw.CtlType, draw.itemData);
  if (item == nullptr) return false;
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  ::FillRect(draw.hDC, &draw.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
  const MenuItemMetrics metrics = MenuMetrics(dpi);
  RECT picture = draw.rcItem;
  picture.right = picture.left + metrics.ImageColumn;
  DrawCentredImage(draw.hDC, images, item->Image, picture);
  if ((draw.itemState & ODS_CHECKED) != 0 && item->Image == layout::kNoImage) {
    // The system's check mark where an image would be, as large.
    const int size = ListImageSize(dpi);
    RECT mark = picture;
    mark.left += (picture.right - picture.left - size) / 2;
    mark.top += (picture.bottom - picture.top - size) / 2;
    mark.right = mark.left + size;
    mark.bottom = mark.top + size;
    ::DrawFrameControl(draw.hDC, &mark, DFC_MENU, DFCS_MENUCHECK | DFCS_TRANSPARENT);
  }

  const std::wstring caption = ToUtf16<wchar_t>(item->Caption);
  RECT text = draw.rcItem;
  text.left = picture.right;
  const SelectedFont selectedFont(draw.hDC, font);
  const int oldMode = ::SetBkMode(draw.hDC, TRANSPARENT);
  const COLORREF oldColor =
      ::SetTextColor(draw.hDC, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
  // The marked letters are underlined when the menu was opened from the keyboard.
  const UINT prefix = (draw.itemState & ODS_NOACCEL) != 0 ? DT_HIDEPREFIX : 0;
  ::DrawTextW(draw.hDC, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | prefix);
  ::SetTextColor(draw.hDC, oldColor);
  ::SetBkMode(draw.hDC, oldMode);
  return true;
}

// A hook is handed nothing of its installer's: the band whose menu is dropped on this thread is
// kept here for MenuFilter while the menu is down, and its state lives in the band.
thread_local MenuBand* t_dropping = nullptr;

// The message filter of one dropped menu: on this thread, for band, as long as it lives.
class DroppingHook {
 public:
  DroppingHook(MenuBand& band, HOOKPROC filter)
      : m_previous(std::exchange(t_dropping, &band)),
        m_hook(::SetWindowsHookExW(WH_MSGFILTER, filter, nullptr, ::GetCurrentThreadId())) {}
  ~DroppingHook() {
    if (m_hook != nullptr) ::UnhookWindowsHookEx(m_hook);
    t_dropping = m_previous;
  }
  DroppingHook(const DroppingHook&) = delete;
  DroppingHook& operator=(const DroppingHook&) = delete;

 private:
  MenuBand* m_previous;
  HHOOK m_hook;
};

}  // namespace

MenuBand::MenuBand(HWND owner, HWND parent, HFONT font, HIMAGELIST images, UINT dpi, Runner run)
    : m_owner(owner),
      m_images(images),
      m_dpi(dpi),
      m_run(std::move(run)),
      m_itemFont(CreateJapaneseSystemFont(SystemFont::Menu, dpi)) {
  BuildButtons(parent, font);
  BuildMenus();
}

MenuBand::~MenuBand() {
  for (HMENU menu : m_menus) {
    if (menu != nullptr) ::DestroyMenu(menu);
  }
}

void MenuBand::BuildButtons(HWND parent, HFONT font) {
  // The main menu as a flat bar of caption buttons, each dropping its items down.
  m_hwnd = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"tbrMenu", kBandToolBarStyle | TBSTYLE_LIST, 0,
                             0, 0, 0, parent, nullptr, ProgramInstance(), nullptr);
  ::SendMessageW(m_hwnd, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  ::SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  ::SendMessageW(m_hwnd, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
  std::vector<std::wstring> captions;
  for (const layout::Menu& menu : layout::kMainMenu)
    captions.push_back(ToUtf16<wchar_t>(menu.Caption));
  std::vector<TBBUTTON> buttons;
  for (std::size_t i = 0; i < captions.size(); ++i) {
    TBBUTTON made = {};
    made.iBitmap = I_IMAGENONE;
    made.idCommand = static_cast<int>(kEntryIds.at(i));
    made.fsState = TBSTATE_ENABLED;
    made.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
    made.iString = reinterpret_cast<INT_PTR>(captions[i].c_str());
    buttons.push_back(made);
  }
  ::SendMessageW(m_hwnd, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
  m_toolBarProc = SubclassControl(m_hwnd, ToolBarProc, *this);
}

void MenuBand::BuildMenus() {
  for (std::size_t entry = 0; entry < layout::kMainMenu.size(); ++entry) {
    HMENU menu = ::CreatePopupMenu();
    m_menus.at(entry) = menu;
    for (const layout::MenuItem& item : layout::kMainMenu[entry].Items) {
      if (item.IsSeparator()) {
        ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      const std::wstring caption = ToUtf16<wchar_t>(item.Caption);
      ::AppendMenuW(menu, MF_STRING, CommandId(item.Action), caption.c_str());
      SetMenuItemDrawn(menu, CommandId(item.Action), item);
    }
  }
}

void MenuBand::SetDpi(UINT dpi, HFONT font) {
  m_dpi = dpi;
  m_itemFont = CreateJapaneseSystemFont(SystemFont::Menu, dpi);
  ::SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

std::optional<LRESULT> MenuBand::OnOwnerMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lParam) != m_hwnd) return std::nullopt;
      if (const auto entry = EntryOfId(LOWORD(wParam))) DropMenu(*entry);
      return 0;
    case WM_SYSCHAR:
      if (OnSysChar(static_cast<wchar_t>(wParam))) return 0;
      return std::nullopt;
    case WM_SYSCOMMAND:
      // Alt alone (or F10) marks the menu's first entry, as a menu bar does; pressed again it
      // leaves the menu.
      if ((wParam & 0xFFF0) == SC_KEYMENU && lParam == 0) {
        MarkMenu(m_mark ? std::nullopt : std::optional<std::size_t>(0));
        return 0;
      }
      return std::nullopt;
    case WM_MEASUREITEM:
      if (MeasureMenuItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam), m_itemFont.Get(), m_dpi))
        return TRUE;
      return std::nullopt;
    case WM_DRAWITEM:
      if (DrawMenuItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), m_itemFont.Get(), m_images,
                       m_dpi))
        return TRUE;
      return std::nullopt;
    case WM_MENUCHAR:
      return OnMenuChar(reinterpret_cast<HMENU>(lParam), static_cast<wchar_t>(LOWORD(wParam)));
    default:
      return std::nullopt;
  }
}

bool MenuBand::OnSysChar(wchar_t letter) {
  for (std::size_t entry = 0; entry < layout::kMainMenu.size(); ++entry) {
    if (IsMarkedLetter(layout::kMainMenu[entry].Caption, letter)) {
      DropMenu(entry, true);
      return true;
    }
  }
  return false;
}

LRESULT MenuBand::OnMenuChar(HMENU menu, wchar_t letter) const {
  // The system knows no captions of items the program draws: their letters are matched here.
  const int count = ::GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_DATA;
    if (!::GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) ||
        (info.fType & MFT_OWNERDRAW) == 0 || info.dwItemData == 0) {
      continue;
    }
    const auto& item = *reinterpret_cast<const layout::MenuItem*>(info.dwItemData);
    if (IsMarkedLetter(item.Caption, letter)) return MAKELRESULT(position, MNC_EXECUTE);
  }
  return MAKELRESULT(0, MNC_IGNORE);
}

void MenuBand::MarkMenu(std::optional<std::size_t> entry) {
  m_mark = entry;
  const int hot = entry ? static_cast<int>(*entry) : -1;
  ::SendMessageW(m_hwnd, TB_SETHOTITEM, static_cast<WPARAM>(hot), 0);
}

bool MenuBand::OnMarkedMenu(UINT message, WPARAM wParam) {
  if (!m_mark) return false;
  const std::size_t count = layout::kMainMenu.size();
  const std::size_t entry = *m_mark;
  switch (message) {
    case WM_KEYDOWN:
      switch (wParam) {
        case VK_LEFT:
        case VK_RIGHT:
          MarkMenu((entry + (wParam == VK_LEFT ? count - 1 : 1)) % count);
          return true;
        case VK_DOWN:
        case VK_UP:
        case VK_RETURN: {
          // Enter's character is already queued; the dropped menu would take it for a choice.
          MSG character;
          if (wParam == VK_RETURN) ::PeekMessageW(&character, nullptr, WM_CHAR, WM_CHAR, PM_REMOVE);
          DropMenu(entry, true);
          return true;
        }
        case VK_ESCAPE:
          MarkMenu(std::nullopt);
          return true;
        default:
          return true;  // while the menu is marked, the list does nothing with the keys
      }
    case WM_CHAR:
      // A marked letter drops its entry, as with Alt.
      OnSysChar(static_cast<wchar_t>(wParam));
      return true;
    case WM_KILLFOCUS:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      MarkMenu(std::nullopt);
      return false;
    default:
      return false;
  }
}

void MenuBand::DropMenu(std::size_t entry, bool byKeyboard) {
  MarkMenu(std::nullopt);
  for (;;) {
    RECT button = {};
    ::SendMessageW(m_hwnd, TB_GETITEMRECT, entry, reinterpret_cast<LPARAM>(&button));
    ::MapWindowPoints(m_hwnd, nullptr, reinterpret_cast<POINT*>(&button), 2);
    const int id = static_cast<int>(kEntryIds.at(entry));
    ::SendMessageW(m_hwnd, TB_PRESSBUTTON, id, TRUE);
    const UINT chosen = Track(entry, byKeyboard, button);
    ::SendMessageW(m_hwnd, TB_PRESSBUTTON, id, FALSE);
    if (const auto command = CommandOfId(chosen)) {
      m_run(*command);
      return;
    }
    if (m_step == 0) {
      // Esc closed the menu: its entry stays marked, so the keyboard can go on from there.
      if (m_escaped) MarkMenu(entry);
      return;
    }
    const std::size_t count = layout::kMainMenu.size();
    entry = (entry + count + static_cast<std::size_t>(m_step + 1) - 1) % count;
    byKeyboard = true;
  }
}

void MenuBand::UpdateChecks(std::size_t entry) const {
  if (!m_checker) return;
  for (const layout::MenuItem& item : layout::kMainMenu[entry].Items) {
    if (item.IsSeparator()) continue;
    const bool checked = m_checker(item.Action).value_or(false);
    ::CheckMenuItem(m_menus.at(entry), CommandId(item.Action),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
  }
}

UINT MenuBand::Track(std::size_t entry, bool byKeyboard, const RECT& button) {
  m_step = 0;
  UpdateChecks(entry);
  m_escaped = false;
  if (m_tracker) return m_tracker(m_menus.at(entry), entry);
  TPMPARAMS exclude = {};
  exclude.cbSize = sizeof exclude;
  exclude.rcExclude = button;
  // The keyboard's way between the dropped-down menus (Left, Right, Esc) is seen only by a
  // message filter hook: the one place a menu's own loop shows its messages.
  const DroppingHook hook(*this, MenuFilter);
  // The menu's own loop takes this Down first: the keyboard starts on the first item.
  if (byKeyboard) ::PostMessageW(m_owner, WM_KEYDOWN, VK_DOWN, 0);
  return static_cast<UINT>(::TrackPopupMenuEx(
      m_menus.at(entry),
      TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_LEFTBUTTON | TPM_VERTICAL, button.left,
      button.bottom, m_owner, &exclude));
}

LRESULT CALLBACK MenuBand::MenuFilter(int code, WPARAM wParam, LPARAM lParam) {
  MenuBand* band = t_dropping;
  if (code == MSGF_MENU && band != nullptr) {
    const MSG& message = *reinterpret_cast<const MSG*>(lParam);
    // Left and Right close the open menu and ask for its neighbour; Esc closes it and leaves its
    // entry marked.
    if (message.message == WM_KEYDOWN &&
        (message.wParam == VK_LEFT || message.wParam == VK_RIGHT)) {
      band->m_step = message.wParam == VK_LEFT ? -1 : 1;
      ::EndMenu();
      return TRUE;
    }
    if (message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) band->m_escaped = true;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MenuBand::ToolBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* band = WindowObject<MenuBand>(hwnd, message, lParam);
  if (message == WM_LBUTTONDOWN && band->m_mark) band->MarkMenu(std::nullopt);
  const LRESULT result = ::CallWindowProcW(band->m_toolBarProc, hwnd, message, wParam, lParam);
  if (message != WM_LBUTTONDOWN && message != WM_LBUTTONDBLCLK) return result;
  if (const auto button = ButtonAt(hwnd, lParam)) {
    // The menu drops down on the press, as a menu bar's does; the button's capture ends first.
    ::ReleaseCapture();
    if (const auto entry = EntryOfId(static_cast<UINT>(button->idCommand))) band->DropMenu(*entry);
  }
  return result;
}

}  // namespace quillet
