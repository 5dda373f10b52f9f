// The health-check dialog's window: its Start button kicks the drawer through
// the port of the service whose CheckHealth opened it.
#include "so/health_dialog.h"

#include <cstring>

#include "events/printer_session.h"
#include "so/health_ids.h"

namespace {

// The dialog being created on this thread: the window procedure picks it up
// at WM_INITDIALOG and keeps it in the window from then on.
thread_local CheckHealthDialog* tCreating = nullptr;

}  // namespace

INT_PTR CheckHealthDialog::Run(HINSTANCE module, HWND owner) {
  tCreating = this;
  INT_PTR result =
      ::DialogBoxParamA(module, MAKEINTRESOURCEA(IDD_CHECKHEALTH), owner, &DialogProc, 0);
  tCreating = nullptr;
  window_ = nullptr;
  return result;
}

INT_PTR CALLBACK CheckHealthDialog::DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  auto* self = reinterpret_cast<CheckHealthDialog*>(::GetWindowLongPtrA(dlg, DWLP_USER));
  if (msg == WM_INITDIALOG && tCreating != nullptr) {
    self = tCreating;
    self->window_ = dlg;
    ::SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  }
  return self != nullptr ? self->Handle(msg, wParam) : FALSE;
}

INT_PTR CheckHealthDialog::Handle(UINT msg, WPARAM wParam) {
  switch (msg) {
    case WM_INITDIALOG:
      return TRUE;  // focus goes to the first tab stop, Start
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:  // Start, or Enter while Start is the default button
          OnStart();
          return TRUE;
        case IDCANCEL:  // Cancel, Esc or the caption's close box
          ::EndDialog(window_, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

void CheckHealthDialog::OnStart() {
  PortWords words;
  const bool taken = KickDrawer(printer_.PortEx(), printer_.Port(), printer_.PinSelect(),
                                printer_.ModelClass(), words);
  ::SetDlgItemTextA(window_, IDC_RESULT, taken ? "OPOS_SUCCESS" : "OPOS_FAIL");
  RecordText(taken ? kInteractiveSuccess : kInteractiveNoAnswer);
}

void CheckHealthDialog::RecordText(const char* text) {
  if (text_ == nullptr || textSize_ == 0) return;
  std::strncpy(text_, text, textSize_ - 1);
  text_[textSize_ - 1] = '\0';
}
