// Self-registration: the class entries come from the registration script
// in the module's resources, then the type library is registered.
#include <string>

#include "server/registrar.h"
#include "server/type_library.h"
#include "so/module_state.h"

namespace {

constexpr WORD kRegistrationScriptId = 101;

HRESULT LoadRegistrationScript(std::wstring& script) {
  HRSRC found = FindResourceW(ModuleInstance(), MAKEINTRESOURCEW(kRegistrationScriptId),
                              L"REGISTRY");
  if (found == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  DWORD size = SizeofResource(ModuleInstance(), found);
  HGLOBAL loaded = LoadResource(ModuleInstance(), found);
  const char* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (bytes == nullptr || size == 0) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  int chars = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
  script.assign(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), script.data(), chars);
  return S_OK;
}

// The module's own path in its short form, which has no blanks to quote
// for the clients that read InprocServer32.
HRESULT ShortModulePath(std::wstring& path) {
  wchar_t longPath[MAX_PATH];
  DWORD n = GetModuleFileNameW(ModuleInstance(), longPath, MAX_PATH);
  if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  wchar_t shortPath[MAX_PATH];
  n = GetShortPathNameW(longPath, shortPath, MAX_PATH);
  if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path.assign(shortPath, n);
  return S_OK;
}

HRESULT RunRegistrationScript(registrar::Action action) {
  std::wstring script;
  HRESULT hr = LoadRegistrationScript(script);
  if (FAILED(hr)) return hr;
  std::wstring module;
  hr = ShortModulePath(module);
  if (FAILED(hr)) return hr;
  return registrar::RunScript(script, {{L"MODULE", module}}, action);
}

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = RunRegistrationScript(registrar::Action::Register);
  if (FAILED(hr)) return hr;
  return RegisterOwnTypeLibrary();
}

STDAPI DllUnregisterServer() {
  RunRegistrationScript(registrar::Action::Unregister);
  UnregisterOwnTypeLibrary();
  return S_OK;
}
