// The interactive health check: the dialog template as the module carries it,
// and the dialog driven from a second thread the way an operator would.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "so/health_ids.h"
#include "so/module_state.h"
#include "so/service_object.h"
#include "tests/drawer/scripted_calls.h"

namespace {

// ---- The template ---------------------------------------------------------

struct ItemTemplate {
  DWORD style;
  short x, y, cx, cy;
  WORD id;
  WORD classAtom;
  std::wstring text;
};

struct DialogTemplate {
  DWORD style, exStyle;
  WORD items;
  short x, y, cx, cy;
  std::wstring caption, font;
  WORD pointSize;
  std::vector<ItemTemplate> controls;
};

class Reader {
 public:
  explicit Reader(const BYTE* p) : base_(p), p_(p) {}
  WORD Word() { WORD w; memcpy(&w, p_, 2); p_ += 2; return w; }
  DWORD Dword() { DWORD d; memcpy(&d, p_, 4); p_ += 4; return d; }
  short Short() { return static_cast<short>(Word()); }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); c != 0; c = Word()) s.push_back(static_cast<wchar_t>(c));
    return s;
  }
  void AlignDword() { p_ = base_ + ((p_ - base_ + 3) & ~3); }

 private:
  const BYTE* base_;
  const BYTE* p_;
};

DialogTemplate Parse(const BYTE* data) {
  Reader r(data);
  DialogTemplate t{};
  t.style = r.Dword();
  t.exStyle = r.Dword();
  t.items = r.Word();
  t.x = r.Short(); t.y = r.Short(); t.cx = r.Short(); t.cy = r.Short();
  EXPECT_EQ(r.Word(), 0) << "no menu";
  EXPECT_EQ(r.Word(), 0) << "the default dialog class";
  t.caption = r.String();
  t.pointSize = r.Word();
  t.font = r.String();
  for (WORD i = 0; i < t.items; ++i) {
    r.AlignDword();
    ItemTemplate item{};
    item.style = r.Dword();
    EXPECT_EQ(r.Dword(), 0u) << "no extended style on item " << i;
    item.x = r.Short(); item.y = r.Short(); item.cx = r.Short(); item.cy = r.Short();
    item.id = r.Word();
    EXPECT_EQ(r.Word(), 0xFFFF) << "item " << i << " uses a predefined class";
    item.classAtom = r.Word();
    item.text = r.String();
    EXPECT_EQ(r.Word(), 0) << "no creation data on item " << i;
    t.controls.push_back(item);
  }
  return t;
}

void ExpectCheckHealthTemplate(HMODULE module) {
  HRSRC res = FindResourceExA(module, MAKEINTRESOURCEA(5) /* RT_DIALOG */,
                              MAKEINTRESOURCEA(IDD_CHECKHEALTH),
                              MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  ASSERT_NE(res, nullptr) << "dialog 102 under language 2052";
  ASSERT_EQ(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), 2052);
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, res)));
  ASSERT_NE(data, nullptr);
  ASSERT_NE(*reinterpret_cast<const WORD*>(data + 2), 0xFFFF) << "classic template, not DLGTEMPLATEEX";

  DialogTemplate t = Parse(data);
  EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ(t.items, 6);
  EXPECT_EQ(t.x, 0); EXPECT_EQ(t.y, 0); EXPECT_EQ(t.cx, 186); EXPECT_EQ(t.cy, 95);
  EXPECT_EQ(t.caption, L"Dialog");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.font, L"MS Sans Serif");

  constexpr DWORD kBase = WS_CHILD | WS_VISIBLE;
  constexpr WORD kButton = 0x80, kEdit = 0x81, kStatic = 0x82;
  const ItemTemplate expected[] = {
      {kBase | BS_DEFPUSHBUTTON | WS_TABSTOP, 26, 34, 50, 14, IDOK, kButton, L"Start"},
      {kBase | BS_PUSHBUTTON | WS_TABSTOP, 87, 34, 50, 14, IDCANCEL, kButton, L"Cancel"},
      {kBase | SS_LEFT | WS_GROUP, 22, 4, 134, 11, 0xFFFF, kStatic,
       L"Push The [Start] Button To  Start"},
      {kBase | SS_LEFT | WS_GROUP, 23, 20, 92, 9, 0xFFFF, kStatic, L"CheckHealth Method"},
      {kBase | SS_LEFT | WS_GROUP, 23, 57, 25, 8, 0xFFFF, kStatic, L"Result"},
      {kBase | ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 25, 69, 105, 17, IDC_RESULT,
       kEdit, L""},
  };
  ASSERT_EQ(t.controls.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const ItemTemplate& got = t.controls[i];
    const ItemTemplate& want = expected[i];
    EXPECT_EQ(got.style, want.style);
    EXPECT_EQ(got.x, want.x); EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx); EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.classAtom, want.classAtom);
    EXPECT_EQ(got.text, want.text);
  }
}

TEST(CheckHealthTemplate, ShippedModuleCarriesTheDialog) {
  win::UniqueModule dll(LoadLibraryExA(HALYARD_DLL_PATH, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(dll) << HALYARD_DLL_PATH;
  ExpectCheckHealthTemplate(dll.get());
}

TEST(CheckHealthTemplate, TestProgramCarriesTheSameScript) {
  ExpectCheckHealthTemplate(GetModuleHandleA(nullptr));
}

// ---- The dialog, driven from a second thread ---------------------------------

HWND WaitForDialog() {
  for (int i = 0; i < 1000; ++i) {
    HWND dlg = FindWindowA(MAKEINTRESOURCEA(32770), "Dialog");
    if (dlg != nullptr && IsWindowVisible(dlg)) return dlg;
    Sleep(10);
  }
  return nullptr;
}

std::string ResultText(HWND dlg) {
  char text[64] = {};
  SendMessageA(GetDlgItem(dlg, IDC_RESULT), WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

void Press(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }

// A key as the modal loop of the dialog sees it: posted to a control of the
// dialog's thread, so IsDialogMessage turns it into the dialog's command.
void Key(HWND target, WPARAM vk) {
  PostMessageA(target, WM_KEYDOWN, vk, 1);
  PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

// Waits until the script has seen `count` writes (the key paths are posted).
bool WaitForWrites(int count) { return Scripted_WaitCalls(SCRIPTED_WRITE, count, 5000) != 0; }

class InteractiveCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    Scripted_Reset();
    SetModuleInstance(GetModuleHandleA(nullptr));
    so_ = new SOTvCash();
    so_->AddRef();
    so_->bOpened = 1;
    // The drawer under check hangs on pin 5 of a model class 4 printer; a
    // second drawer (pin 2, class 2) was opened after it in this process,
    // so the process-wide copies name the other drawer.
    so_->Printer().Attach(7, 9, 0, 4);
    so_->Printer().SetPinSelect(1);
    gPinSelect = 0;
    gModelClass = 2;
  }
  void TearDown() override {
    so_->bOpened = 0;
    so_->Release();
  }

  // Runs CheckHealth(3) here while `operate` works the dialog from another thread.
  void RunDialog(const std::function<void(HWND)>& operate) {
    std::atomic<bool> found{false};
    std::thread driver([&] {
      HWND dlg = WaitForDialog();
      found = dlg != nullptr;
      if (dlg != nullptr) operate(dlg);
    });
    hr_ = so_->CheckHealth(3, &rc_);
    driver.join();
    ASSERT_TRUE(found) << "the dialog never became visible";
    EXPECT_EQ(FindWindowA(MAKEINTRESOURCEA(32770), "Dialog"), nullptr) << "dialog destroyed";
  }

  SOTvCash* so_ = nullptr;
  HRESULT hr_ = E_FAIL;
  LONG rc_ = -1;
};

TEST_F(InteractiveCheck, StartWritesTheKickAndShowsSuccess) {
  Scripted_SetResult(SCRIPTED_WRITE, 1);
  std::string shown;
  RunDialog([&](HWND dlg) {
    EXPECT_EQ(ResultText(dlg), "");
    Press(dlg, IDOK);
    shown = ResultText(dlg);
    Press(dlg, IDCANCEL);
  });
  EXPECT_EQ(hr_, S_OK);
  EXPECT_EQ(rc_, 0);
  EXPECT_EQ(so_->ResultCode, 0);
  EXPECT_EQ(shown, "OPOS_SUCCESS");
  auto writes = CallsOf(SCRIPTED_WRITE);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(BytesOf(writes[0]), kKickPin5);
  EXPECT_EQ(writes[0].count, 5);
  EXPECT_EQ(writes[0].portEx, 7);
  EXPECT_EQ(writes[0].port, 9);
  EXPECT_EQ(writes[0].timeoutMs, 10000);
  EXPECT_EQ(writes[0].modelClass, 4);
  EXPECT_STREQ(so_->szCheckHealthText, "Interactive HCheck: Successful");
}

TEST_F(InteractiveCheck, EachStartRewritesTheResultWithTheLastOutcome) {
  so_->Printer().SetPinSelect(0);
  gPinSelect = 1;
  std::string first, second;
  RunDialog([&](HWND dlg) {
    Scripted_SetResult(SCRIPTED_WRITE, 1);
    Press(dlg, IDOK);
    first = ResultText(dlg);
    Scripted_SetResult(SCRIPTED_WRITE, 2);  // anything but 1 is a failed write
    Press(dlg, IDOK);
    second = ResultText(dlg);
    PostMessageA(dlg, WM_CLOSE, 0, 0);  // the caption's close box
  });
  EXPECT_EQ(first, "OPOS_SUCCESS");
  EXPECT_EQ(second, "OPOS_FAIL");
  EXPECT_EQ(rc_, 0) << "the check's outcome shows only in the dialog";
  auto writes = CallsOf(SCRIPTED_WRITE);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(BytesOf(writes[1]), kKickPin2);
  EXPECT_STREQ(so_->szCheckHealthText, "Interactive HCheck: Not Responding");
}

TEST_F(InteractiveCheck, EnterOnStartOrOnTheResultBoxDoesWhatStartDoes) {
  Scripted_SetResult(SCRIPTED_WRITE, 0);
  std::string shown;
  bool wroteOnStart = false, wroteOnResult = false;
  RunDialog([&](HWND dlg) {
    Key(GetDlgItem(dlg, IDOK), VK_RETURN);
    wroteOnStart = WaitForWrites(1);
    Key(GetDlgItem(dlg, IDC_RESULT), VK_RETURN);
    wroteOnResult = WaitForWrites(2);
    shown = ResultText(dlg);
    EXPECT_TRUE(IsWindowVisible(dlg)) << "Enter leaves the dialog open";
    Key(GetDlgItem(dlg, IDOK), VK_ESCAPE);
  });
  EXPECT_TRUE(wroteOnStart);
  EXPECT_TRUE(wroteOnResult);
  EXPECT_EQ(shown, "OPOS_FAIL");
  EXPECT_EQ(hr_, S_OK);
  EXPECT_EQ(rc_, 0);
}

TEST_F(InteractiveCheck, CancelEscAndCloseBoxEndItWithoutAWrite) {
  const std::function<void(HWND)> endings[] = {
      [](HWND dlg) { Press(dlg, IDCANCEL); },
      [](HWND dlg) { Key(GetDlgItem(dlg, IDOK), VK_ESCAPE); },
      [](HWND dlg) { PostMessageA(dlg, WM_CLOSE, 0, 0); },
      [](HWND dlg) { PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0); },
  };
  for (const auto& end : endings) {
    strcpy(so_->szCheckHealthText, "External HCheck: Successful");
    hr_ = E_FAIL;
    rc_ = -1;
    RunDialog(end);
    EXPECT_EQ(hr_, S_OK);
    EXPECT_EQ(rc_, 0);
    EXPECT_STREQ(so_->szCheckHealthText, "Interactive HCheck: Not Run")
        << "an earlier check's text must not stand for this one";
  }
  EXPECT_TRUE(Scripted_CallTotal() == 0);
}

TEST_F(InteractiveCheck, DialogIsOwnedByTheCallersActiveWindowIfAny) {
  HWND owner = nullptr;
  RunDialog([&](HWND dlg) {
    owner = GetWindow(dlg, GW_OWNER);
    Press(dlg, IDCANCEL);
  });
  EXPECT_EQ(owner, nullptr) << "no active window: no owner, and the dialog is still shown";

  HWND till = CreateWindowExA(0, "STATIC", "Till", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                              100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(till, nullptr);
  SetActiveWindow(till);
  ASSERT_EQ(GetActiveWindow(), till);
  RunDialog([&](HWND dlg) {
    owner = GetWindow(dlg, GW_OWNER);
    Press(dlg, IDCANCEL);
  });
  EXPECT_EQ(owner, till);
  DestroyWindow(till);
  EXPECT_EQ(rc_, 0);
}

TEST_F(InteractiveCheck, DialogThatCannotBeShownIsNotReportedAsPassed) {
  SetModuleInstance(GetModuleHandleA("kernel32.dll"));  // holds no dialog 102
  LONG rc = -1;
  EXPECT_EQ(so_->CheckHealth(3, &rc), S_OK);
  EXPECT_EQ(rc, opos::E_FAILURE);
  EXPECT_EQ(so_->ResultCode, opos::E_FAILURE);
  EXPECT_STREQ(so_->szCheckHealthText, "Interactive HCheck: Not Run");
  EXPECT_TRUE(Scripted_CallTotal() == 0);
}

}  // namespace
