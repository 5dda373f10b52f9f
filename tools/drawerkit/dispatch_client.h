// Late-bound calls on the service object, as a Control Object makes them:
// the method's identifier is looked up by name, then the call goes through
// IDispatch::Invoke with VARIANT arguments.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>
#include <vector>

#include "common/win32_raii.h"

namespace drawerctl {

// The arguments of one call, in the method's own order. Owns its VARIANTs.
class DispArgs {
 public:
  DispArgs() = default;
  DispArgs(const DispArgs&) = delete;
  DispArgs& operator=(const DispArgs&) = delete;
  DispArgs(DispArgs&&) = default;
  ~DispArgs();

  DispArgs& Long(LONG value);
  DispArgs& Text(const std::string& value);  // ANSI text, sent as a BSTR
  DispArgs& Dispatch(IDispatch* value);       // a new reference is taken

  // Last-first, as DISPPARAMS wants them.
  DISPPARAMS Params();

 private:
  std::vector<VARIANT> values_;
  std::vector<VARIANT> reversed_;
};

struct CallResult {
  HRESULT hr = E_FAIL;
  std::optional<LONG> number;  // the [out, retval] number, when the call gave one
  std::string text;            // the [out, retval] string, when the call gave one
  std::string error;           // why the call itself failed (not an OPOS result)

  bool ok() const { return SUCCEEDED(hr); }
};

class DispatchClient {
 public:
  DispatchClient() = default;
  explicit DispatchClient(win::ComPtr<IDispatch> target) : target_(std::move(target)) {}

  explicit operator bool() const { return static_cast<bool>(target_); }
  CallResult Call(const wchar_t* method, DispArgs args = {});
  void Reset() { target_.reset(); }

 private:
  win::ComPtr<IDispatch> target_;
};

// Creates the object that a ProgID names and asks for its IDispatch.
// On failure returns null and says why in `why`.
win::ComPtr<IDispatch> CreateFromProgId(const std::string& progId, std::string& why);

// "0x80040154 Class not registered"
std::string DescribeHresult(HRESULT hr);

}  // namespace drawerctl
