// The technician's window driven through its controls from a second
// thread, as a technician would use it, against the registered service
// object and the printer emulator on loopback: a drawer added (and a bad
// port refused in the port library's words), opened with the sensor shown
// live, health-checked and removed; a printer queue found with Find printers
// and its drawer, which has no sensor, kicked; the printer switched off in
// the middle of a test, and the window closed while the device is open.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

#include "device_config.h"
#include "device_edit.h"
#include "main_window.h"
#include "port_choice.h"
#include "resource_ids.h"
#include "tests/support/device_key.h"
#include "tests/support/emulated_device.h"
#include "tests/support/log_installation.h"
#include "tests/support/relay_queue.h"
#include "tools/emulator/printer_emulator.h"

namespace {

constexpr DWORD kUiMs = 10000;       // a window or a text to appear
constexpr DWORD kServiceMs = 20000;  // a step of the service (open, close, kick)

bool WaitUntil(const std::function<bool()>& done, DWORD ms) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= ms) return false;
    Sleep(50);
  }
  return true;
}

std::wstring TextOf(HWND window) {
  wchar_t text[4096] = L"";
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_BLOCK,
                      kUiMs, &ignored);
  return text;
}

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

bool Contains(const std::wstring& text, const std::wstring& piece) {
  return text.find(piece) != std::wstring::npos;
}

// The window on a thread of its own, as the program runs it.
class DrawerWindow {
 public:
  DrawerWindow() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui_ = std::thread([this, ready] {
      threadId_ = GetCurrentThreadId();
      SetEvent(ready);
      drawerconfig::RunMainWindow();
    });
    WaitForSingleObject(ready, kUiMs);
    CloseHandle(ready);
    WaitUntil([this] { return (main_ = Popup(L"Halyard cash drawers")) != nullptr; }, kUiMs);
  }
  ~DrawerWindow() {
    if (Open()) PostMessageW(main_, WM_COMMAND, IDCANCEL, 0);
    if (ui_.joinable()) ui_.join();
  }

  HWND Main() const { return main_; }
  DWORD ThreadId() const { return threadId_; }
  bool Open() const { return main_ != nullptr && IsWindow(main_); }

  // A top-level window of the window's thread with this caption.
  HWND Popup(const std::wstring& caption, HWND except = nullptr) const {
    struct Search {
      const std::wstring* caption;
      HWND except;
      HWND found;
    } search{&caption, except, nullptr};
    struct Visit {
      static BOOL CALLBACK Window(HWND w, LPARAM l) {
        auto* s = reinterpret_cast<Search*>(l);
        if (w == s->except || TextOf(w) != *s->caption || !IsWindowVisible(w)) return TRUE;
        s->found = w;
        return FALSE;
      }
    };
    EnumThreadWindows(threadId_, Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  HWND AwaitPopup(const std::wstring& caption, HWND except = nullptr) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = Popup(caption, except)) != nullptr; }, kUiMs);
    return found;
  }

  // A control anywhere in `root` (the main window by default).
  HWND Control(int id, HWND root = nullptr) const {
    struct Search {
      int id;
      HWND found;
    } search{id, nullptr};
    struct Visit {
      static BOOL CALLBACK Window(HWND w, LPARAM l) {
        auto* s = reinterpret_cast<Search*>(l);
        if (GetDlgCtrlID(w) != s->id) return TRUE;
        s->found = w;
        return FALSE;
      }
    };
    EnumChildWindows(root ? root : main_, Visit::Window, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  std::wstring Text(int id, HWND root = nullptr) const { return TextOf(Control(id, root)); }
  void SetText(int id, const std::wstring& text, HWND root = nullptr) const {
    SendMessageW(Control(id, root), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  // Posted, as a click is: a button that opens a dialog does not return
  // before the dialog closes.
  void Click(int id, HWND root = nullptr) const {
    HWND button = Control(id, root);
    if (id == IDOK || id == IDCANCEL) button = root;  // Enter and Esc, sent to the dialog
    HWND parent = (id == IDOK || id == IDCANCEL) ? root : GetParent(button);
    PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
  }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

  void ShowTab(int index) const {
    HWND tabs = Control(IDC_TABS);
    SendMessageW(tabs, TCM_SETCURSEL, index, 0);
    NMHDR n{tabs, static_cast<UINT_PTR>(IDC_TABS), static_cast<UINT>(TCN_SELCHANGE)};
    SendMessageW(main_, WM_NOTIFY, IDC_TABS, reinterpret_cast<LPARAM>(&n));
  }
  void ChooseDrawer(const std::string& name) const {
    ShowTab(1);
    std::wstring wide = Wide(name);
    HWND box = Control(IDC_TEST_DEVICE);
    LRESULT at = SendMessageW(box, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(wide.c_str()));
    SendMessageW(box, CB_SETCURSEL, at, 0);
  }
  bool ListHas(const std::string& name) const {
    HWND list = Control(IDC_DRAWER_LIST);
    std::wstring wide = Wide(name);
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = wide.c_str();
    return SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(&find)) >= 0;
  }
  void Select(const std::string& name) const {
    HWND list = Control(IDC_DRAWER_LIST);
    std::wstring wide = Wide(name);
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = wide.c_str();
    LRESULT row = SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(&find));
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  }
  std::wstring Transcript() const {
    HWND list = Control(IDC_TRANSCRIPT);
    std::wstring all;
    LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      wchar_t line[1024] = L"";
      if (SendMessageW(list, LB_GETTEXTLEN, i, 0) < 1024)
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
      all += line;
      all += L"\n";
    }
    return all;
  }
  bool AwaitText(int id, const std::wstring& piece, DWORD ms = kServiceMs) const {
    return WaitUntil([&] { return Contains(Text(id), piece); }, ms);
  }
  // A step's result line, once the step named in it has ended.
  std::wstring AwaitResult(const std::wstring& call) const {
    std::wstring text;
    WaitUntil([&] { return Contains(text = Text(IDC_STEP_RESULT), call + L": "); }, kServiceMs);
    return text;
  }
  // Waits for the thread to end: the window has closed and let go of all.
  bool AwaitClosed(DWORD ms) {
    bool gone = WaitUntil([&] { return !Open(); }, ms);
    if (gone && ui_.joinable()) ui_.join();
    return gone;
  }

  // Fills the drawer dialog and presses OK; returns the dialog (null once it closed).
  HWND AddDrawer(const std::string& name, const std::string& port) const {
    ShowTab(0);
    Click(IDC_ADD);
    HWND dialog = AwaitPopup(L"Add a cash drawer");
    if (dialog == nullptr) return nullptr;
    SetText(IDC_NAME, Wide(name), dialog);
    SetText(IDC_PORT, Wide(port), dialog);
    Click(IDOK, dialog);
    WaitUntil([&] { return !IsWindow(dialog) || !Text(IDC_EDIT_ERROR, dialog).empty(); }, kUiMs);
    return IsWindow(dialog) ? dialog : nullptr;
  }

 private:
  std::thread ui_;
  DWORD threadId_ = 0;
  HWND main_ = nullptr;
};

std::string TestName(const char* stem) { return UniqueDeviceName(stem); }

TEST(DrawerConfigWindow, RefusesABadPortInThePortLibrarysWords) {
  DrawerWindow w;
  ASSERT_TRUE(w.Open());
  std::string name = TestName("KX8-BadPort");
  HWND dialog = w.AddDrawer(name, "COM256");
  ASSERT_NE(dialog, nullptr) << "the dialog stays open on a refused port";
  std::wstring error = w.Text(IDC_EDIT_ERROR, dialog);
  std::string words = drawerctl::ParsePort("COM256").error;
  EXPECT_NE(words.find("SerialNumberInvalid (18) at character 4"), std::string::npos) << words;
  EXPECT_TRUE(Contains(error, Wide(words))) << Narrow(error);
  GUITHREADINFO gui{};
  gui.cbSize = sizeof(gui);
  ASSERT_TRUE(GetGUIThreadInfo(w.ThreadId(), &gui));
  EXPECT_EQ(gui.hwndFocus, w.Control(IDC_PORT, dialog)) << "the focus is on the port to mend";
  w.Click(IDCANCEL, dialog);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kUiMs));
  drawerctl::ConfiguredDevice d;
  EXPECT_EQ(drawerctl::ReadDeviceViews(name, d), ERROR_FILE_NOT_FOUND) << "nothing written";
  EXPECT_FALSE(w.ListHas(name));
}

TEST(DrawerConfigWindow, AddsOpensWatchesChecksAndRemovesADrawer) {
  emulator::Options o;
  o.sensor = emulator::SensorPolarity::HighWhenShut;
  emulator::PrinterEmulator printer(o);
  std::string error;
  ASSERT_TRUE(printer.start(&error)) << error;
  std::string name = TestName("KX-R58 Window");
  drawerctl::RemoveDrawer(name);  // left by an earlier run that failed half-way

  DrawerWindow w;
  ASSERT_TRUE(w.Open());
  HWND left = w.AddDrawer(name, "tcp:127.0.0.1:" + std::to_string(printer.port()));
  ASSERT_EQ(left, nullptr) << "the dialog closed, the drawer written; it says: "
                           << Narrow(w.Text(IDC_EDIT_ERROR, left));
  EXPECT_TRUE(w.ListHas(name));
  EXPECT_TRUE(Contains(w.Text(IDC_DRAWERS_STATUS), L"added " + Wide(name)));
  drawerctl::ConfiguredDevice d;
  ASSERT_EQ(drawerctl::ReadDeviceViews(name, d), ERROR_SUCCESS);
  EXPECT_TRUE(d.InEveryView());

  w.ChooseDrawer(name);
  w.Click(IDC_KICK);  // connects first, then kicks
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"DRAWER OPEN")) << "the open event reached the window";
  std::wstring kicked = w.AwaitResult(L"openDrawer");
  EXPECT_TRUE(Contains(kicked, L"openDrawer: OPOS_SUCCESS (0)")) << Narrow(kicked);
  ASSERT_EQ(printer.snapshot().kicks.size(), 1u);

  printer.closeDrawer();
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"drawer shut")) << "the shut event reached the window";

  // A printer ignores a kick while its last pulse runs; the shut event now
  // comes well within the first kick's pulse.
  Sleep(1200);
  w.Click(IDC_HEALTH2);
  std::wstring checked = w.AwaitResult(L"CheckHealth");
  EXPECT_TRUE(Contains(checked, L"CheckHealth: OPOS_SUCCESS (0)")) << Narrow(checked);
  EXPECT_TRUE(Contains(checked, L"External HCheck")) << Narrow(checked);
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"DRAWER OPEN")) << "the check pulsed the drawer";

  w.Click(IDC_CLOSE_DEVICE);
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"not connected"));
  std::wstring transcript = w.Transcript();
  EXPECT_TRUE(Contains(transcript, L"ReleaseDevice()"));
  EXPECT_TRUE(Contains(transcript, L"CloseService()"));
  EXPECT_TRUE(printer.waitFor([](const emulator::Snapshot& s) { return !s.clientConnected; },
                              kServiceMs));

  w.ShowTab(0);
  w.Select(name);
  w.Click(IDC_REMOVE);
  HWND ask = w.AwaitPopup(L"Halyard cash drawers", w.Main());
  ASSERT_NE(ask, nullptr) << "removing asks first";
  PostMessageW(ask, WM_COMMAND, IDYES, 0);
  EXPECT_TRUE(WaitUntil([&] { return !w.ListHas(name); }, kUiMs));
  EXPECT_TRUE(Contains(w.Text(IDC_DRAWERS_STATUS), L"removed " + Wide(name)));
  EXPECT_EQ(drawerctl::ReadDeviceViews(name, d), ERROR_FILE_NOT_FOUND);
}

// Find printers lists the queue with its Port value; picked, with the sensor
// "none", it makes a drawer whose kick goes as a RAW job through the queue.
TEST(DrawerConfigWindow, FindPrintersListsAQueueWhoseDrawerHasNoSensor) {
  emulator::Options o;
  o.port = 0;
  emulator::PrinterEmulator printer(o);
  ASSERT_TRUE(printer.start());
  RelayQueue queue(printer.port());
  ASSERT_TRUE(queue.Made()) << queue.Error();
  const std::string port = "PRINTER:" + queue.Name();
  std::string name = TestName("KX8-Queue Window");
  drawerctl::RemoveDrawer(name);

  DrawerWindow w;
  ASSERT_TRUE(w.Open());
  w.ShowTab(0);
  w.Click(IDC_ADD);
  HWND dialog = w.AwaitPopup(L"Add a cash drawer");
  ASSERT_NE(dialog, nullptr);
  w.Click(IDC_FIND, dialog);
  ASSERT_TRUE(WaitUntil([&] { return Contains(w.Text(IDC_EDIT_ERROR, dialog), L"Choose a line"); },
                        kServiceMs))
      << Narrow(w.Text(IDC_EDIT_ERROR, dialog));
  HWND found = w.Control(IDC_FOUND, dialog);
  const std::wstring line = Wide(port) + L": \"" + Wide(queue.Name()) + L"\": driver ";
  LRESULT at = SendMessageW(found, LB_FINDSTRING, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(line.c_str()));
  ASSERT_NE(at, LB_ERR) << "the queue is listed with its Port value";
  SendMessageW(found, LB_SETCURSEL, at, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_FOUND, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(found));
  EXPECT_EQ(Narrow(w.Text(IDC_PORT, dialog)), port);
  w.SetText(IDC_NAME, Wide(name), dialog);
  SendDlgItemMessageW(dialog, IDC_SENSOR, CB_SETCURSEL, 2, 0);  // none
  w.Click(IDOK, dialog);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kUiMs))
      << Narrow(w.Text(IDC_EDIT_ERROR, dialog));
  drawerctl::DeviceSettings written;
  ASSERT_EQ(drawerctl::ReadDevice(name, written), ERROR_SUCCESS);
  EXPECT_EQ(written.port, port);
  EXPECT_EQ(written.drawerSensor, 0u);

  w.ChooseDrawer(name);
  w.Click(IDC_KICK);
  std::wstring kicked = w.AwaitResult(L"openDrawer");
  EXPECT_TRUE(Contains(kicked, L"openDrawer: OPOS_SUCCESS (0); no sensor")) << Narrow(kicked);
  EXPECT_TRUE(printer.waitFor([](const emulator::Snapshot& s) { return s.kicks.size() == 1; },
                              kServiceMs));
  w.Click(IDC_CLOSE_DEVICE);
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"not connected"));
  drawerctl::RemoveDrawer(name);
}

TEST(DrawerConfigWindow, PrinterSwitchedOffMidTestAndWindowClosedWithTheDeviceOpen) {
  diagtest::Installation install("drawerconfig");
  install.WriteIni("[Cash_Log]\r\nlevel=Log_Level_Debug\r\n");
  diagtest::UninstallEntry entry;
  ASSERT_TRUE(entry.Set("\"" + install.dir() + "unins000.exe\""));
  DeviceWiring wiring;
  wiring.stem = "KX-R58 Window Off";
  EmulatedDevice device(wiring);
  ASSERT_TRUE(device.Started()) << device.StartError();
  device.key().SetString("", drawerctl::kServiceProgId);

  DrawerWindow w;
  ASSERT_TRUE(w.Open());
  w.ChooseDrawer(device.Name());
  w.Click(IDC_CONNECT);
  EXPECT_TRUE(w.AwaitText(IDC_SENSOR_STATE, L"drawer shut"));
  EXPECT_TRUE(Contains(w.AwaitResult(L"DeviceEnabled = 1"), L"enabled"));

  device.SwitchOff();
  Sleep(2500);  // the status poll meets the printer gone
  w.Click(IDC_KICK);
  // The window answers while the kick waits on a printer that is gone.
  DWORD_PTR ignored = 0;
  EXPECT_NE(SendMessageTimeoutW(w.Main(), WM_NULL, 0, 0, SMTO_BLOCK, 1000, &ignored), 0);
  std::wstring result = w.AwaitResult(L"openDrawer");
  EXPECT_TRUE(Contains(result, L"openDrawer: OPOS_E_") || Contains(result, L"NOT seen open"))
      << Narrow(result) << "\n" << Narrow(w.Transcript());
  EXPECT_TRUE(Contains(result, L"check: ")) << "with drawerctl's hint: " << Narrow(result);
  // A refused kick logs its error during the command, and the window shows
  // it. A kick that the dying connection still took logs none: the excerpt
  // then stays empty rather than show older lines.
  if (Contains(result, L"openDrawer: OPOS_E_")) {
    EXPECT_TRUE(Contains(w.Transcript(), L"  log: "))
        << "the log's lines after the failure:\n" << Narrow(w.Transcript());
  }

  // Closing the window while the device is open closes the device first.
  PostMessageW(w.Main(), WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(w.AwaitClosed(kServiceMs));
  std::string log = install.ReadLog();
  EXPECT_NE(log.find("Cash.ReleaseDevice"), std::string::npos);
  EXPECT_NE(log.find("Cash.CloseService"), std::string::npos);
}

}  // namespace
