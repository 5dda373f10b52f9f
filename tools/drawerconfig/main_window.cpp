#include "main_window.h"

#include <commctrl.h>

#include "pages.h"
#include "resource_ids.h"
#include "ui_text.h"

namespace drawerconfig {
namespace {

struct PageSpec {
  UINT title;
  int dialog;
  DLGPROC proc;
};
constexpr PageSpec kPages[] = {
    {IDS_TAB_DRAWERS, IDD_DRAWERS, DrawersPageProc},
    {IDS_TAB_TEST, IDD_TEST, TestPageProc},
};
constexpr int kPageCount = sizeof(kPages) / sizeof(kPages[0]);
constexpr int kTestPage = 1;

struct WindowState {
  HWND pages[kPageCount] = {};
  bool closing = false;
};

WindowState& State(HWND window) {
  return *reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, DWLP_USER));
}

HWND Tabs(HWND window) { return GetDlgItem(window, IDC_TABS); }

int CurrentPage(HWND window) {
  int i = TabCtrl_GetCurSel(Tabs(window));
  return i < 0 ? 0 : i;
}

// Each page fills the tab's display area.
void PlacePages(HWND window, WindowState& s) {
  RECT area;
  GetWindowRect(Tabs(window), &area);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
  TabCtrl_AdjustRect(Tabs(window), FALSE, &area);
  for (HWND page : s.pages)
    SetWindowPos(page, HWND_TOP, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOACTIVATE);
}

void ShowPage(HWND, WindowState& s, int index) {
  for (int i = 0; i < kPageCount; ++i) ShowWindow(s.pages[i], i == index ? SW_SHOW : SW_HIDE);
  SendMessageW(s.pages[index], kPageShown, 0, 0);
}

void Init(HWND window, WindowState& s) {
  SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(&s));
  SetWindowTextW(window, LoadText(IDS_TITLE).c_str());
  HINSTANCE module = GetModuleHandleW(nullptr);
  for (int i = 0; i < kPageCount; ++i) {
    std::wstring title = LoadText(kPages[i].title);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    SendMessageW(Tabs(window), TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    s.pages[i] = CreateDialogParamW(module, MAKEINTRESOURCEW(kPages[i].dialog), window,
                                    kPages[i].proc, 0);
  }
  PlacePages(window, s);
  ShowPage(window, s, 0);
}

// The Test page closes its device first; a second request while it waits on
// the drawer or on a person lets the window go anyway.
void Close(HWND window, WindowState& s) {
  HWND test = s.pages[kTestPage];
  if (s.closing) {
    SendMessageW(test, kPageForceClose, 0, 0);
    DestroyWindow(window);
    return;
  }
  if (SendMessageW(test, kPageAskClose, 0, 0)) {
    DestroyWindow(window);
    return;
  }
  s.closing = true;
}

// Ctrl+Tab and Ctrl+Shift+Tab (and Ctrl+PageDown/PageUp) go from tab to tab,
// as in every tabbed window of Windows.
bool SwitchTab(HWND window, const MSG& m) {
  if (m.message != WM_KEYDOWN || (GetKeyState(VK_CONTROL) & 0x8000) == 0) return false;
  int step = 0;
  if (m.wParam == VK_TAB) step = (GetKeyState(VK_SHIFT) & 0x8000) ? -1 : 1;
  if (m.wParam == VK_NEXT) step = 1;
  if (m.wParam == VK_PRIOR) step = -1;
  if (step == 0) return false;
  int next = (CurrentPage(window) + step + kPageCount) % kPageCount;
  TabCtrl_SetCurSel(Tabs(window), next);
  ShowPage(window, State(window), next);
  return true;
}

INT_PTR CALLBACK MainProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG: Init(window, *reinterpret_cast<WindowState*>(l)); return TRUE;
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<NMHDR*>(l);
      if (n->idFrom == IDC_TABS && n->code == TCN_SELCHANGE)
        ShowPage(window, State(window), CurrentPage(window));
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(w) == IDCANCEL) {  // Esc, the Close button, the caption's close box
        Close(window, State(window));
        return TRUE;
      }
      if (LOWORD(w) == IDOK) {  // Enter: the page's own main action
        SendMessageW(State(window).pages[CurrentPage(window)], WM_COMMAND, IDOK, 0);
        return TRUE;
      }
      break;
    case WM_CLOSE: Close(window, State(window)); return TRUE;
    case kPageReadyToClose: DestroyWindow(window); return TRUE;
    case WM_DESTROY: PostQuitMessage(0); return TRUE;
  }
  return FALSE;
}

}  // namespace

int RunMainWindow() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  WindowState s;
  HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                   MainProc, reinterpret_cast<LPARAM>(&s));
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (IsWindow(window) && (SwitchTab(window, m) || IsDialogMessageW(window, &m))) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}

}  // namespace drawerconfig
