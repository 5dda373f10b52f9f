#include "dispatch_client.h"

#include <array>
#include <cstdio>

#include "create_diagnosis.h"

namespace drawerctl {
namespace {

std::wstring Widen(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? n : 1, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

std::string Narrow(const wchar_t* text) {
  if (text == nullptr) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(n > 0 ? n : 1, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, -1, narrow.data(), n, nullptr, nullptr);
  narrow.resize(strlen(narrow.c_str()));
  return narrow;
}

}  // namespace

DispArgs::~DispArgs() {
  for (auto& v : values_) VariantClear(&v);
}

DispArgs& DispArgs::Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  values_.push_back(v);
  return *this;
}

DispArgs& DispArgs::Text(const std::string& value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = SysAllocString(Widen(value).c_str());
  values_.push_back(v);
  return *this;
}

DispArgs& DispArgs::Dispatch(IDispatch* value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = value;
  if (value != nullptr) value->AddRef();
  values_.push_back(v);
  return *this;
}

DISPPARAMS DispArgs::Params() {
  reversed_.assign(values_.rbegin(), values_.rend());
  DISPPARAMS p{};
  p.rgvarg = reversed_.empty() ? nullptr : reversed_.data();
  p.cArgs = static_cast<UINT>(reversed_.size());
  return p;
}

CallResult DispatchClient::Call(const wchar_t* method, DispArgs args) {
  CallResult out;
  if (!target_) {
    out.error = "no service object";
    return out;
  }
  DISPID dispid = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(method);
  out.hr = target_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &dispid);
  if (FAILED(out.hr)) {
    out.error = "the service object has no method " + Narrow(method) + ": " +
                DescribeHresult(out.hr);
    return out;
  }
  DISPPARAMS params = args.Params();
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep{};
  UINT argErr = 0;
  out.hr = target_->Invoke(dispid, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params,
                           &result, &excep, &argErr);
  if (FAILED(out.hr)) {
    out.error = Narrow(method) + " failed: " + DescribeHresult(out.hr);
    if (excep.bstrDescription != nullptr) out.error += " " + Narrow(excep.bstrDescription);
  } else if (V_VT(&result) == VT_BSTR) {
    out.text = Narrow(V_BSTR(&result));
  } else if (V_VT(&result) != VT_EMPTY &&
             SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4))) {
    out.number = V_I4(&result);
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  VariantClear(&result);
  return out;
}

win::ComPtr<IDispatch> CreateFromProgId(const std::string& progId, std::string& why) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(Widen(progId).c_str(), &clsid);
  win::ComPtr<IDispatch> object;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                          IID_IDispatch, object.put_void());
  if (SUCCEEDED(hr)) return object;
  why = "cannot create " + progId + ": " + DescribeHresult(hr);
  if (std::string cause = DiagnoseCreateFailure(progId, hr); !cause.empty()) why += "; " + cause;
  return {};
}

std::string DescribeHresult(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof(code), "0x%08lx", static_cast<unsigned long>(hr));
  char* message = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(hr), 0,
                           reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text = code;
  if (n > 0 && message != nullptr) {
    std::string m(message, n);
    while (!m.empty() && (m.back() == '\n' || m.back() == '\r' || m.back() == ' ')) m.pop_back();
    text += " " + m;
  }
  LocalFree(message);
  return text;
}

}  // namespace drawerctl
