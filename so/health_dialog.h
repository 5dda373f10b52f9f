// The interactive health-check dialog: Start kicks the drawer through the
// port of the service whose CheckHealth opened it and shows whether the
// printer took the command.
#pragma once

#include <windows.h>

#include <cstddef>

class PrinterSession;

class CheckHealthDialog {
 public:
  // printer: the session of the drawer under check, whose port, pin and
  // model class Start uses; with two drawers on one printer in one process
  // the process-wide copies name whichever service opened last.
  // text/textSize: where each Start press records the outcome of the check.
  CheckHealthDialog(const PrinterSession& printer, char* text, std::size_t textSize)
      : printer_(printer), text_(text), textSize_(textSize) {}
  CheckHealthDialog(const CheckHealthDialog&) = delete;
  CheckHealthDialog& operator=(const CheckHealthDialog&) = delete;

  // Runs the dialog modally on the calling thread; returns DialogBoxParam's
  // result: the id that ended it, or -1 when it could not be shown.
  INT_PTR Run(HINSTANCE module, HWND owner);

  // The Start button: writes the drawer kick and shows the outcome.
  void OnStart();

 private:
  static INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT msg, WPARAM wParam);
  void RecordText(const char* text);

  HWND window_ = nullptr;
  const PrinterSession& printer_;
  char* text_;
  std::size_t textSize_;
};

// Texts of the interactive check (also used by CheckHealth).
constexpr char kInteractiveSuccess[] = "Interactive HCheck: Successful";
constexpr char kInteractiveNoAnswer[] = "Interactive HCheck: Not Responding";
constexpr char kInteractiveNotRun[] = "Interactive HCheck: Not Run";
