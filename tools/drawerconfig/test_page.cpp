// The Test page: one drawer brought up as a till does (open, claim,
// enable), kicked, waited on and health-checked, with the sensor shown live
// from the status events, each step's result by OPOS name and number with
// drawerctl's hint, and the transcript with the log's error lines after a
// failure. The calls run in a TestRunner; this page only shows and asks.
#include <memory>
#include <vector>

#include "common/unique_any.h"
#include "device_config.h"
#include "ext/opos.h"
#include "pages.h"
#include "resource_ids.h"
#include "test_runner.h"
#include "ui_text.h"

namespace drawerconfig {
namespace {

inline BOOL DeleteBrush(HBRUSH brush) { return DeleteObject(brush); }
using UniqueBrush = win::UniqueAny<HBRUSH, &DeleteBrush>;

enum class Sensor { Unknown, Shut, Open, NoAnswer };

struct SensorLook {
  Sensor sensor;
  UINT text;
  COLORREF colour;
};
constexpr SensorLook kSensorLooks[] = {
    {Sensor::Unknown, IDS_SENSOR_UNKNOWN, RGB(224, 224, 224)},
    {Sensor::Shut, IDS_SENSOR_SHUT, RGB(160, 224, 160)},
    {Sensor::Open, IDS_SENSOR_OPEN, RGB(255, 176, 96)},
    {Sensor::NoAnswer, IDS_SENSOR_NO_ANSWER, RGB(255, 128, 128)},
};

struct TestState {
  std::unique_ptr<TestRunner> runner;
  bool connected = false;
  bool busy = false;
  bool closing = false;
  Sensor sensor = Sensor::Unknown;
  UniqueBrush brush;
};

void Enable(HWND page, int id, bool on) { EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE); }

void UpdateButtons(HWND page, const TestState& s) {
  bool idle = !s.busy && !s.closing;
  Enable(page, IDC_TEST_DEVICE, !s.runner);
  Enable(page, IDC_CONNECT, !s.runner && !s.closing);
  Enable(page, IDC_KICK, idle && (s.connected || !s.runner));
  for (int id : {IDC_WAIT_CLOSE, IDC_HEALTH1, IDC_HEALTH2, IDC_HEALTH3})
    Enable(page, id, idle && s.connected);
  Enable(page, IDC_CLOSE_DEVICE, s.runner && !s.closing);
}

void ShowSensor(HWND page, TestState& s, Sensor sensor) {
  s.sensor = sensor;
  for (const SensorLook& look : kSensorLooks) {
    if (look.sensor != sensor) continue;
    s.brush.reset(CreateSolidBrush(look.colour));
    SetControlText(page, IDC_SENSOR_STATE, LoadText(look.text));
  }
  InvalidateRect(GetDlgItem(page, IDC_SENSOR_STATE), nullptr, TRUE);
}

COLORREF SensorColour(Sensor sensor) {
  for (const SensorLook& look : kSensorLooks)
    if (look.sensor == sensor) return look.colour;
  return RGB(224, 224, 224);
}

void FillDevices(HWND page) {
  HWND box = GetDlgItem(page, IDC_TEST_DEVICE);
  std::wstring chosen = ControlText(page, IDC_TEST_DEVICE);
  SendMessageW(box, CB_RESETCONTENT, 0, 0);
  std::vector<drawerctl::ConfiguredDevice> devices;
  drawerctl::ListDevices(devices);
  for (const auto& d : devices)
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(d.name).c_str()));
  LRESULT at = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(chosen.c_str()));
  SendMessageW(box, CB_SETCURSEL, at == CB_ERR ? 0 : at, 0);
}

void AddLine(HWND page, const std::string& line) {
  HWND list = GetDlgItem(page, IDC_TRANSCRIPT);
  std::wstring text = Widen(line);
  LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(list, LB_SETTOPINDEX, at, 0);
  // Wide enough to scroll to the end of the longest line.
  int avgChar = LOWORD(GetDialogBaseUnits());
  int width = static_cast<int>(text.size()) * avgChar;
  if (width > SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0))
    SendMessageW(list, LB_SETHORIZONTALEXTENT, width, 0);
}

TestCommand Command(TestStep step) {
  TestCommand c;
  c.step = step;
  return c;
}

void SayResult(HWND page, const std::wstring& text) { SetControlText(page, IDC_STEP_RESULT, text); }

void Send(HWND page, TestState& s, const TestCommand& command) {
  s.runner->Post(command);
  s.busy = true;
  UpdateButtons(page, s);
  SayResult(page, LoadText(IDS_BUSY));
}

bool StartRunner(HWND page, TestState& s) {
  std::wstring name = ControlText(page, IDC_TEST_DEVICE);
  if (name.empty()) {
    SayResult(page, LoadText(IDS_NO_DRAWERS_TO_TEST));
    return false;
  }
  SendDlgItemMessageW(page, IDC_TRANSCRIPT, LB_RESETCONTENT, 0, 0);
  ShowSensor(page, s, Sensor::Unknown);
  s.runner = std::make_unique<TestRunner>(page, Narrow(name));
  Send(page, s, Command(TestStep::Connect));
  return true;
}

// The beep settings as typed; false (and said why) when one is not a number.
bool ReadBeep(HWND page, drawerctl::BeepSettings& beep) {
  struct Field {
    int id;
    LONG drawerctl::BeepSettings::*member;
  };
  static constexpr Field kFields[] = {
      {IDC_BEEP_TIMEOUT, &drawerctl::BeepSettings::timeout},
      {IDC_BEEP_FREQUENCY, &drawerctl::BeepSettings::frequency},
      {IDC_BEEP_DURATION, &drawerctl::BeepSettings::duration},
      {IDC_BEEP_DELAY, &drawerctl::BeepSettings::delay},
  };
  for (const Field& f : kFields) {
    BOOL ok = FALSE;
    int v = static_cast<int>(GetDlgItemInt(page, f.id, &ok, TRUE));
    if (!ok) {
      SayResult(page, LoadText(IDS_BEEP_NUMBER));
      SendMessageW(page, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(page, f.id)), TRUE);
      return false;
    }
    beep.*(f.member) = v;
  }
  return true;
}

void Kick(HWND page, TestState& s) {
  if (!s.runner && !StartRunner(page, s)) return;
  Send(page, s, Command(TestStep::Kick));
}

void Wait(HWND page, TestState& s) {
  TestCommand c = Command(TestStep::Wait);
  if (!ReadBeep(page, c.beep)) return;
  Send(page, s, c);
  SayResult(page, LoadText(IDS_WAITING));
}

void Health(HWND page, TestState& s, LONG level) {
  TestCommand c = Command(TestStep::Health);
  c.level = level;
  Send(page, s, c);
  if (level == opos::CH_INTERACTIVE) SayResult(page, LoadText(IDS_HEALTH3_NOTE));
}

void StepDone(HWND page, TestState& s, const StepOutcome& o) {
  s.busy = false;
  if (o.step == TestStep::Connect && o.ok) s.connected = true;
  std::wstring text = o.hint.empty()
                          ? LoadText(IDS_STEP_OK, {Widen(o.call), Widen(o.result)})
                          : LoadText(IDS_STEP_FAILED, {Widen(o.call), Widen(o.result),
                                                       Widen(o.hint)});
  SayResult(page, text);
  UpdateButtons(page, s);
}

void Stopped(HWND page, TestState& s) {
  s.runner.reset();
  s.connected = false;
  s.busy = false;
  if (s.sensor != Sensor::NoAnswer) ShowSensor(page, s, Sensor::Unknown);
  UpdateButtons(page, s);
  if (s.closing) PostMessageW(GetParent(page), kPageReadyToClose, 0, 0);
}

void Reading(HWND page, TestState& s, WPARAM reading) {
  ShowSensor(page, s, reading == kReadOpen    ? Sensor::Open
                      : reading == kReadShut  ? Sensor::Shut
                                              : Sensor::NoAnswer);
}

// TRUE when nothing runs; otherwise the runner is told to stop and the
// window is told when the device is closed.
BOOL AskClose(HWND page, TestState& s) {
  if (!s.runner) return TRUE;
  if (!s.closing) {
    s.closing = true;
    s.runner->Stop();
    s.runner->CancelDialogs();
    UpdateButtons(page, s);
  }
  SayResult(page, LoadText(s.runner->InLongStep() ? IDS_CLOSING_WAIT : IDS_CLOSING));
  return FALSE;
}

INT_PTR Answer(HWND page, LONG_PTR value) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, value);
  return TRUE;
}

void Init(HWND page) {
  auto* s = new TestState;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));
  drawerctl::BeepSettings defaults;
  SetDlgItemInt(page, IDC_BEEP_TIMEOUT, static_cast<UINT>(defaults.timeout), TRUE);
  SetDlgItemInt(page, IDC_BEEP_FREQUENCY, static_cast<UINT>(defaults.frequency), TRUE);
  SetDlgItemInt(page, IDC_BEEP_DURATION, static_cast<UINT>(defaults.duration), TRUE);
  SetDlgItemInt(page, IDC_BEEP_DELAY, static_cast<UINT>(defaults.delay), TRUE);
  FillDevices(page);
  ShowSensor(page, *s, Sensor::Unknown);
  SayResult(page, LoadText(IDS_IDLE));
  UpdateButtons(page, *s);
}

bool OnCommand(HWND page, TestState& s, WORD id) {
  switch (id) {
    case IDOK:  // Enter: bring the drawer up, then kick it
    case IDC_KICK: Kick(page, s); return true;
    case IDC_CONNECT: StartRunner(page, s); return true;
    case IDC_WAIT_CLOSE: Wait(page, s); return true;
    case IDC_HEALTH1: Health(page, s, opos::CH_INTERNAL); return true;
    case IDC_HEALTH2: Health(page, s, opos::CH_EXTERNAL); return true;
    case IDC_HEALTH3: Health(page, s, opos::CH_INTERACTIVE); return true;
    case IDC_CLOSE_DEVICE:
      if (s.runner) s.runner->Stop();
      return true;
  }
  return false;
}

}  // namespace

INT_PTR CALLBACK TestPageProc(HWND page, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    Init(page);
    return FALSE;
  }
  auto* s = reinterpret_cast<TestState*>(GetWindowLongPtrW(page, DWLP_USER));
  if (s == nullptr) return FALSE;
  switch (message) {
    case kPageShown:
      if (!s->runner) FillDevices(page);
      return TRUE;
    case kRunnerLine: {
      std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(l));
      AddLine(page, *line);
      return TRUE;
    }
    case kRunnerDrawer: Reading(page, *s, w); return TRUE;
    case kRunnerStepDone: {
      std::unique_ptr<StepOutcome> outcome(reinterpret_cast<StepOutcome*>(l));
      StepDone(page, *s, *outcome);
      return TRUE;
    }
    case kRunnerStopped: Stopped(page, *s); return TRUE;
    case kPageAskClose: return Answer(page, AskClose(page, *s));
    case kPageForceClose:
      // The runner's thread is held inside the service by the drawer or a
      // person; the process ends with it.
      (void)s->runner.release();
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(l) != GetDlgItem(page, IDC_SENSOR_STATE)) return FALSE;
      SetBkColor(reinterpret_cast<HDC>(w), SensorColour(s->sensor));
      return reinterpret_cast<INT_PTR>(s->brush.get());
    case WM_COMMAND: return OnCommand(page, *s, LOWORD(w)) ? TRUE : FALSE;
    case WM_DESTROY:
      SetWindowLongPtrW(page, DWLP_USER, 0);
      delete s;
      return TRUE;
  }
  return FALSE;
}

}  // namespace drawerconfig
