// Registering and unregistering the type library (server/type_library.h).
#include "server/type_library.h"

#include <shlwapi.h>

#include <string>

#include "common/win32_raii.h"
#include "so/module_state.h"

namespace {

HRESULT OwnPath(std::wstring& path) {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetModuleFileNameW(ModuleInstance(), buffer, MAX_PATH);
  if (n == 0) return HRESULT_FROM_WIN32(GetLastError());
  if (n >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  path.assign(buffer, n);
  return S_OK;
}

// The same path with the extension of its file name replaced by ".tlb".
std::wstring TlbBeside(const std::wstring& path) {
  std::size_t name = path.find_last_of(L"\\/");
  std::size_t dot = path.rfind(L'.');
  bool hasExtension = dot != std::wstring::npos && (name == std::wstring::npos || dot > name);
  return (hasExtension ? path.substr(0, dot) : path) + L".tlb";
}

// Loads the type library from the module itself, or else from a .tlb file
// beside it; tells where it was found.
HRESULT LoadOwnTypeLibrary(win::ComPtr<ITypeLib>& lib, std::wstring& loadedFrom) {
  HRESULT hr = OwnPath(loadedFrom);
  if (FAILED(hr)) return hr;
  hr = LoadTypeLibEx(loadedFrom.c_str(), REGKIND_NONE, lib.put());
  if (SUCCEEDED(hr)) return hr;
  loadedFrom = TlbBeside(loadedFrom);
  return LoadTypeLibEx(loadedFrom.c_str(), REGKIND_NONE, lib.put());
}

using UnRegisterTypeLibFn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);

}  // namespace

HRESULT RegisterOwnTypeLibrary() {
  win::ComPtr<ITypeLib> lib;
  std::wstring path;
  HRESULT hr = LoadOwnTypeLibrary(lib, path);
  if (FAILED(hr)) return hr;
  wchar_t helpDir[MAX_PATH];
  lstrcpynW(helpDir, path.c_str(), MAX_PATH);
  PathRemoveFileSpecW(helpDir);
  return RegisterTypeLib(lib.get(), path.data(), helpDir);
}

void UnregisterOwnTypeLibrary() {
  win::ComPtr<ITypeLib> lib;
  std::wstring path;
  if (FAILED(LoadOwnTypeLibrary(lib, path))) return;
  win::UniqueTLibAttr attr(lib.get());
  if (FAILED(lib->GetLibAttr(attr.put()))) return;
  // Looked up by name, as the system library of older Windows versions
  // might not have it.
  win::UniqueModule oleaut(LoadLibraryW(L"oleaut32.dll"));
  if (!oleaut) return;
  auto unregister = reinterpret_cast<UnRegisterTypeLibFn>(
      reinterpret_cast<void*>(GetProcAddress(oleaut.get(), "UnRegisterTypeLib")));
  if (unregister == nullptr) return;
  const TLIBATTR& a = *attr.get();
  unregister(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}
