#include "blocking_call.h"

#include "dispatch_client.h"
#include "ext/opos.h"
#include "pump.h"

namespace drawerctl {
namespace {

// The handler thread joins the free-threaded apartment for its one call;
// the call itself waits until the apartment thread serves it.
void FreezeThrough(const win::ComPtr<IGlobalInterfaceTable>& table, DWORD cookie) {
  HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    IDispatch* raw = nullptr;
    if (SUCCEEDED(table->GetInterfaceFromGlobal(cookie, IID_IDispatch,
                                                reinterpret_cast<void**>(&raw)))) {
      DispatchClient service(win::ComPtr<IDispatch>::adopt(raw));
      service.Call(L"SetPropertyNumber",
                   std::move(DispArgs().Long(opos::PIDX_FreezeEvents).Long(1)));
    }
  }
  if (SUCCEEDED(init)) CoUninitialize();
}

BOOL CALLBACK CancelIfDialog(HWND window, LPARAM) {
  char cls[16] = {};
  // "#32770" is the class of every dialog box.
  if (GetClassNameA(window, cls, sizeof cls) && lstrcmpA(cls, "#32770") == 0)
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

}  // namespace

BlockingCall::BlockingCall(IDispatch* service, Kind kind) {
  if (kind == Kind::Dialog) {
    DWORD thread = GetCurrentThreadId();
    SetInterruptAction([thread] { EnumThreadWindows(thread, CancelIfDialog, 0); });
    return;
  }
  IGlobalInterfaceTable* raw = nullptr;
  if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&raw))))
    return;
  table_ = win::ComPtr<IGlobalInterfaceTable>::adopt(raw);
  if (FAILED(table_->RegisterInterfaceInGlobal(service, IID_IDispatch, &cookie_))) return;
  win::ComPtr<IGlobalInterfaceTable> table = table_;
  DWORD cookie = cookie_;
  SetInterruptAction([table, cookie] { FreezeThrough(table, cookie); });
}

BlockingCall::~BlockingCall() {
  SetInterruptAction({});
  if (cookie_) table_->RevokeInterfaceFromGlobal(cookie_);
}

// The action is in place before the look: a Ctrl+C after it runs the action.
bool BlockingCall::MayStart() const { return !Interrupted(); }

}  // namespace drawerctl
