#include "ui/win32/LetMeSeeDlg.h"

#include <vector>

#include "scan/Utf16.h"
#include "ui/Layouts.h"
#include "ui/win32/Application.h"

namespace quillet {
namespace {

constexpr wchar_t kWindowClass[] = L"QuilletLetMeSeeDlg";
constexpr int kLabelIdFirst = 100;

using SetLayeredWindowAttributesFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

SetLayeredWindowAttributesFn LayeredAttributes() {
  static const auto function =
      SystemFunction<SetLayeredWindowAttributesFn>(L"user32.dll", "SetLayeredWindowAttributes");
  return function;
}

// Single border and caption, no system menu (so no close box), not resizable.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;

}  // namespace

TFLetMeSeeDlg::TFLetMeSeeDlg(HWND owner, ProgressRegistry* registry) : Progress(registry) {
  const layout::Window& table = layout::kProgressDialog;
  RegisterWindowClass(kWindowClass, &TFLetMeSeeDlg::WindowProc);
  DWORD exStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  // A layered window without its attributes set would never show; only ask for one where the
  // attributes can be set.
  if (LayeredAttributes()) exStyle |= WS_EX_LAYERED;
  const std::wstring caption = ToUtf16<wchar_t>(table.Caption);
  CreateWindowExW(exStyle, kWindowClass, caption.c_str(), kStyle, 0, 0, 0, 0,
                  owner ? owner : Application.Handle(), nullptr, ProgramInstance(), this);
  if (m_hwnd == nullptr) return;
  if (const auto setAttributes = LayeredAttributes()) {
    setAttributes(m_hwnd, 0, layout::kProgressOpacity, LWA_ALPHA);
  }
  CreateControls();
  Layout(WindowDpi(m_hwnd));
  Application.AddModelessDialog(m_hwnd);
}

TFLetMeSeeDlg::~TFLetMeSeeDlg() {
  CloseDialog();
}

void TFLetMeSeeDlg::CreateControls() {
  int labelId = kLabelIdFirst;
  for (const layout::Control& control : layout::kProgressDialog.Controls) {
    const std::wstring caption = ToUtf16<wchar_t>(control.Caption);
    switch (control.Kind) {
      case layout::ControlKind::Label: {
        // One line, "&" shown as it stands, cut at the edge without an ellipsis.
        const DWORD align =
            control.Alignment == layout::Align::Center ? SS_CENTER : SS_LEFTNOWORDWRAP;
        const HWND label = CreateWindowExW(
            0, L"STATIC", caption.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX | align, 0, 0, 0, 0,
            m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(labelId++)), ProgramInstance(),
            nullptr);
        if (control.Name == "lblMainCaption") m_lblMainCaption = label;
        if (control.Name == "lblSubCaption") m_lblSubCaption = label;
        if (control.Name == "lblRunning") m_lblRunning = label;
        break;
      }
      case layout::ControlKind::Button:
        // The dialog's cancel button: IDCANCEL, so Esc presses it, and the default button that
        // holds the focus, so Enter does too.
        m_btnCancel = CreateWindowExW(
            0, L"BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0,
            0, 0, 0, m_hwnd, reinterpret_cast<HMENU>(IDCANCEL), ProgramInstance(), nullptr);
        break;
      case layout::ControlKind::Bevel:  // drawn by the dialog itself
      case layout::ControlKind::Picture:
        break;
    }
  }
  m_shownMain = WindowTextOf(m_lblMainCaption);
  m_shownSub = WindowTextOf(m_lblSubCaption);
  m_shownMark = WindowTextOf(m_lblRunning);
}

void TFLetMeSeeDlg::Layout(UINT dpi) {
  const layout::Window& table = layout::kProgressDialog;
  // The new fonts replace the old ones only once every control has let go of them.
  GdiObject<HFONT> font = CreateTableFont(table.TextFont, dpi);
  std::vector<GdiObject<HFONT>> controlFonts;
  for (const layout::Control& control : table.Controls) {
    const RECT rect = ScaleRect(control.Geometry, dpi);
    HWND child = nullptr;
    if (control.Kind == layout::ControlKind::Bevel) m_bvlMain = rect;
    if (control.Name == "lblMainCaption") child = m_lblMainCaption;
    if (control.Name == "lblSubCaption") child = m_lblSubCaption;
    if (control.Name == "lblRunning") child = m_lblRunning;
    if (control.Name == "btnCancel") child = m_btnCancel;
    if (child == nullptr) continue;
    HFONT childFont = font.Get();
    if (!control.TextFont.Face.empty()) {
      controlFonts.push_back(CreateTableFont(control.TextFont, dpi));
      childFont = controlFonts.back().Get();
    }
    MoveWindow(child, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(childFont), TRUE);
  }
  m_font = std::move(font);
  m_controlFonts = std::move(controlFonts);
  const SIZE size =
      WindowSizeForClient(table.ClientWidth, table.ClientHeight, kStyle,
                          static_cast<DWORD>(GetWindowLongPtrW(m_hwnd, GWL_EXSTYLE)), dpi);
  SetWindowPos(m_hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFLetMeSeeDlg::ShowDialog() {
  if (m_hwnd == nullptr) return;
  CenterOnScreen(m_hwnd);
  ShowWindow(m_hwnd, SW_SHOW);
  SetFocus(m_btnCancel);
}

// Setting a label's text is a round trip to the window system (and to wine's server); a file view
// updates once per row, so the labels only get the texts when they will be seen.
void TFLetMeSeeDlg::Repaint() {
  ShowLabels();
  if (m_hwnd) RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void TFLetMeSeeDlg::Pump() {
  ShowLabels();
  Application.ProcessMessages();
}

void TFLetMeSeeDlg::ShowLabels() {
  if (m_hwnd == nullptr) return;
  const auto show = [](HWND label, const std::string& text, std::string& shown) {
    if (text == shown) return;
    SetWindowTextW(label, ToUtf16<wchar_t>(ToDisplayText(text)).c_str());
    shown = text;
  };
  show(m_lblMainCaption, MainText(), m_shownMain);
  show(m_lblSubCaption, SubText(), m_shownSub);
  show(m_lblRunning, Mark(), m_shownMark);
}

void TFLetMeSeeDlg::CloseDialog() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

void TFLetMeSeeDlg::Paint(HDC dc) const {
  RECT bevel = m_bvlMain;
  DrawEdge(dc, &bevel, EDGE_ETCHED, BF_RECT);
}

LRESULT CALLBACK TFLetMeSeeDlg::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* dialog = WindowObject<TFLetMeSeeDlg>(window, message, lParam);
  if (dialog == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCCREATE) dialog->m_hwnd = window;
  return dialog->HandleMessage(message, wParam, lParam);
}

LRESULT TFLetMeSeeDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam) FormShow();
      break;
    case WM_ACTIVATE:
      // Cancel is the only control that takes the focus, and it gets it back with the window.
      if (LOWORD(wParam) != WA_INACTIVE && m_btnCancel) SetFocus(m_btnCancel);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) btnCancelClick();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(IDCANCEL, DC_HASDEFID);
    case WM_CLOSE:
      // Closed by the system (Alt+F4): a hidden dialog could no longer be cancelled, so the close
      // counts as Cancel and the command closes the dialog itself.
      btnCancelClick();
      return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
      PaintMessage(m_hwnd, message, wParam, [this](HDC dc) { Paint(dc); });
      return 0;
    case WM_DPICHANGED: {
      Layout(HIWORD(wParam));
      MoveToSuggested(m_hwnd, lParam);
      return 0;
    }
    case WM_DESTROY:
      Application.RemoveModelessDialog(m_hwnd);
      break;
    case WM_NCDESTROY: {
      const HWND window = m_hwnd;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      m_hwnd = m_lblMainCaption = m_lblSubCaption = m_lblRunning = m_btnCancel = nullptr;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

}  // namespace quillet
