// A recording Control Object and the single-threaded apartment it lives in.
//
// RecordingCO answers GetIDsOfNames for "SODirectIO" (DISPID 1) and
// "SOStatusUpdate" (DISPID 2) and records every Invoke with its first
// argument and the thread it ran on. It lives in the apartment of the thread
// that created it, so a service object reaches it from its delivery thread
// only through a marshalled proxy, and each call runs while that thread pumps.
//
//   RunOnSta([] {
//     auto co = win::ComPtr<RecordingCO>::adopt(new RecordingCO);
//     ... so->OpenService(cls, name, co.get(), &rc) ...
//     ASSERT_TRUE(PumpUntil([&] { return co->StatusCount() >= 1; }, 5000));
//     EXPECT_EQ(co->StatusUpdates(), (std::vector<LONG>{0}));
//   });
//
// RunOnSta runs a test body on a fresh thread that is an STA for the body's
// whole life; PumpFor/PumpUntil wait on it while serving incoming calls.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/dispatch_object.h"
#include "common/win32_raii.h"

class RecordingCO : public win::DispatchObject {
 public:
  static constexpr DISPID kSODirectIO = 1;
  static constexpr DISPID kSOStatusUpdate = 2;

  struct Call {
    DISPID dispid;
    LONG value;        // the first argument as a 32-bit integer
    VARTYPE type;      // its variant type as passed
    UINT argCount;
    DWORD threadId;
  };

  RecordingCO();  // the creator holds the one reference
  ~RecordingCO() override = default;

  // GetIDsOfNames fails with DISP_E_UNKNOWNNAME for this name.
  void RefuseName(const std::wstring& name);
  // What Invoke returns (S_OK unless set).
  void SetInvokeResult(HRESULT hr);
  // Runs inside each Invoke after it is recorded (on the apartment thread).
  void SetOnInvoke(std::function<void(const Call&)> hook);
  // The till's event handler: runs inside each SOStatusUpdate after it is
  // recorded, with its value and its place among the updates (0 for the
  // first), so a test can call the service back from inside the delivery.
  void SetStatusHandler(std::function<void(LONG value, size_t index)> handler);

  std::vector<Call> Calls() const;
  std::vector<LONG> StatusUpdates() const;  // values of SOStatusUpdate, in order
  size_t StatusCount() const;
  size_t CallCount() const;
  DWORD HomeThread() const { return home_; }

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* dispids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* argErr) override;

 private:
  DWORD home_;
  mutable std::mutex mutex_;
  std::vector<std::wstring> refused_;
  HRESULT invokeResult_ = S_OK;
  std::function<void(const Call&)> hook_;
  std::function<void(LONG, size_t)> statusHandler_;
  std::vector<Call> calls_;
};

// A RecordingCO that lives on a thread of its own, an STA that pumps until the
// host is destroyed. proxy() is its interface for the apartment that made the
// host; object() gives the recorder and its knobs. A hook that blocks in
// Invoke holds only that thread, so a test can keep a delivery under way for
// as long as it likes (and end it by signalling what the hook waits on).
class RemoteRecordingCO {
 public:
  RemoteRecordingCO();
  ~RemoteRecordingCO();
  RemoteRecordingCO(const RemoteRecordingCO&) = delete;
  RemoteRecordingCO& operator=(const RemoteRecordingCO&) = delete;

  IDispatch* proxy() const { return proxy_.get(); }
  RecordingCO* object() const { return object_; }

 private:
  static DWORD WINAPI Run(LPVOID self);

  HANDLE ready_;
  HANDLE quit_;
  HANDLE thread_ = nullptr;
  IStream* stream_ = nullptr;
  RecordingCO* object_ = nullptr;
  win::ComPtr<IDispatch> proxy_;
};

// Runs body on a new thread that has entered a single-threaded apartment,
// and waits for it. gtest failures inside body are reported as usual.
void RunOnSta(const std::function<void()>& body);

// Waits while dispatching the messages (and so the COM calls) of this thread.
void PumpFor(DWORD ms);
// Pumps until done() is true or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
