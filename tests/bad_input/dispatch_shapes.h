// Arguments of every shape for the service object's dispatch methods,
// shared by the bad-input runs on a closed and on an open service.
#pragma once

#include <windows.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "common/win32_raii.h"

namespace badinput {

// Parameter kinds as the type library declares them. The [out, retval]
// result of a method is not an argument of Invoke: it comes back through
// Invoke's result variant.
enum Kind { kLong, kLongInOut, kBstr, kBstrInOut, kDispatch, kBool };

struct Method {
  DISPID id;
  const char* name;
  std::vector<Kind> params;
  bool retval;
};

inline const Method kMethods[] = {
    {1, "CheckHealth", {kLong}, true},
    {2, "ClaimDevice", {kLong}, true},
    {3, "ClearInput", {}, true},
    {4, "ClearOutput", {}, true},
    {5, "CloseService", {}, true},
    {6, "DirectIO", {kLong, kLongInOut, kBstrInOut}, true},
    {7, "OpenService", {kBstr, kBstr, kDispatch}, true},
    {8, "ReleaseDevice", {}, true},
    {9, "openDrawer", {}, true},
    {10, "waitForDrawerClose", {kLong, kLong, kLong, kLong}, true},
    {11, "GetPropertyNumber", {kLong}, true},
    {12, "SetPropertyNumber", {kLong, kLong}, false},
    {13, "GetPropertyString", {kLong}, true},
    {14, "SetPropertyString", {kLong, kBstr}, false},
    {15, "COFreezeEvents", {kBool}, true},
};

inline const std::wstring& LongText() {
  static const std::wstring text(100000, L'W');
  return text;
}

// Storage that by-reference arguments point into; lives for one call.
struct Slots {
  LONG longs[8] = {};
  BSTR bstrs[8] = {};
  VARIANT variants[8];
  int nextLong = 0, nextBstr = 0, nextVariant = 0;
  Slots() {
    for (auto& v : variants) VariantInit(&v);
  }
  ~Slots() {
    for (auto& b : bstrs) SysFreeString(b);
    for (auto& v : variants) VariantClear(&v);
  }
  LONG* Long(LONG value) {
    LONG* p = &longs[nextLong++ % 8];
    *p = value;
    return p;
  }
  BSTR* Bstr(const wchar_t* text) {
    BSTR* p = &bstrs[nextBstr++ % 8];
    SysFreeString(*p);
    *p = text ? SysAllocString(text) : nullptr;
    return p;
  }
  VARIANT* Variant() { return &variants[nextVariant++ % 8]; }
};

// One argument of every shape a caller can get wrong.
using Maker = std::function<void(VARIANT&, Slots&)>;
struct Shape {
  const char* name;
  Maker make;
};

inline std::vector<Shape> BadShapes(IDispatch* co) {
  return {
      {"empty", [](VARIANT& v, Slots&) { v.vt = VT_EMPTY; }},
      {"null", [](VARIANT& v, Slots&) { v.vt = VT_NULL; }},
      {"missing", [](VARIANT& v, Slots&) { v.vt = VT_ERROR; v.scode = DISP_E_PARAMNOTFOUND; }},
      {"i4 0", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = 0; }},
      {"i4 1", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = 1; }},
      {"i4 3", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = 3; }},
      {"i4 -1", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = -1; }},
      {"i4 min", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = LONG_MIN; }},
      {"i4 max", [](VARIANT& v, Slots&) { v.vt = VT_I4; v.lVal = LONG_MAX; }},
      {"r8 huge", [](VARIANT& v, Slots&) { v.vt = VT_R8; v.dblVal = 1e300; }},
      {"bool true", [](VARIANT& v, Slots&) { v.vt = VT_BOOL; v.boolVal = VARIANT_TRUE; }},
      {"bstr null", [](VARIANT& v, Slots&) { v.vt = VT_BSTR; v.bstrVal = nullptr; }},
      {"bstr empty", [](VARIANT& v, Slots&) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(L""); }},
      {"bstr number", [](VARIANT& v, Slots&) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(L"3"); }},
      {"bstr word", [](VARIANT& v, Slots&) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(L"open"); }},
      {"bstr 100000",
       [](VARIANT& v, Slots&) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(LongText().c_str()); }},
      {"dispatch null", [](VARIANT& v, Slots&) { v.vt = VT_DISPATCH; v.pdispVal = nullptr; }},
      {"unknown null", [](VARIANT& v, Slots&) { v.vt = VT_UNKNOWN; v.punkVal = nullptr; }},
      {"dispatch co",
       [co](VARIANT& v, Slots&) { v.vt = VT_DISPATCH; v.pdispVal = co; co->AddRef(); }},
      {"byref i4", [](VARIANT& v, Slots& s) { v.vt = VT_BYREF | VT_I4; v.plVal = s.Long(7); }},
      {"byref i4 null", [](VARIANT& v, Slots&) { v.vt = VT_BYREF | VT_I4; v.plVal = nullptr; }},
      {"byref bstr", [](VARIANT& v, Slots& s) { v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = s.Bstr(L"x"); }},
      {"byref bstr 100000",
       [](VARIANT& v, Slots& s) { v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = s.Bstr(LongText().c_str()); }},
      {"byref bstr null value",
       [](VARIANT& v, Slots& s) { v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = s.Bstr(nullptr); }},
      {"byref bstr null", [](VARIANT& v, Slots&) { v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = nullptr; }},
      {"byref variant",
       [](VARIANT& v, Slots& s) { v.vt = VT_BYREF | VT_VARIANT; v.pvarVal = s.Variant(); }},
      {"byref i2", [](VARIANT& v, Slots& s) {
         static SHORT shortSlot;
         (void)s;
         v.vt = VT_BYREF | VT_I2;
         v.piVal = &shortSlot;
       }},
      {"array", [](VARIANT& v, Slots&) {
         v.vt = VT_ARRAY | VT_I4;
         v.parray = SafeArrayCreateVector(VT_I4, 0, 4);
       }},
  };
}

// The argument a well-behaved caller passes for a kind.
inline void GoodArgument(Kind k, VARIANT& v, Slots& s, IDispatch* co) {
  switch (k) {
    case kLong: v.vt = VT_I4; v.lVal = 0; break;
    case kLongInOut: v.vt = VT_BYREF | VT_I4; v.plVal = s.Long(-7); break;
    case kBstr: v.vt = VT_BSTR; v.bstrVal = SysAllocString(L"bad-input-no-such-drawer"); break;
    case kBstrInOut: v.vt = VT_BYREF | VT_BSTR; v.pbstrVal = s.Bstr(L"in"); break;
    case kDispatch: v.vt = VT_DISPATCH; v.pdispVal = co; co->AddRef(); break;
    case kBool: v.vt = VT_BOOL; v.boolVal = VARIANT_FALSE; break;
  }
}

inline bool IsOposResult(LONG rc) { return rc == 0 || rc == 1 || (rc >= 101 && rc <= 114); }

inline void ClearAll(std::vector<VARIANT>& args) {
  for (auto& v : args) VariantClear(&v);
}

// Calls a method with arguments in call order (reversed into rgvarg as
// Invoke expects).
inline HRESULT CallMethod(IDispatch* d, DISPID id, std::vector<VARIANT>& args, VARIANT* result) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                    static_cast<UINT>(reversed.size()), 0};
  EXCEPINFO excep{};
  UINT argErr = 0;
  HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                         &excep, &argErr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return hr;
}

}  // namespace badinput
