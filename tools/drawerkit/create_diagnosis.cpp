// The causes of a failed creation, looked at in the order they can occur.
#include "create_diagnosis.h"

#include <array>
#include <string_view>

#include "common/win32_raii.h"
#include "device_config.h"

namespace drawerctl {
namespace {

// The libraries Halyard.dll loads from its own folder.
constexpr std::array<std::string_view, 2> kBesideServer{{"Ferrule.dll", "Quire.dll"}};
constexpr char kRegisterAgain[] = "register Halyard.dll (regsvr32 Halyard.dll) or reinstall";

std::wstring Widened(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

// The InprocServer32 path the class is registered with; empty when none.
std::string RegisteredServer(const CLSID& clsid) {
  wchar_t guid[64] = {};
  if (StringFromGUID2(clsid, guid, 64) == 0) return {};
  std::wstring path = L"CLSID\\" + std::wstring(guid) + L"\\InprocServer32";
  win::UniqueHKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return {};
  char value[MAX_PATH] = {};
  DWORD size = sizeof(value) - 1;
  if (RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                       &size) != ERROR_SUCCESS)
    return {};
  return value;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Loads the server the way a till finds its libraries: beside the server
// and in the system folder only, not in drawerctl's own folder, which may
// hold copies that the till's folder lacks. Windows without the search-flag
// update refuses the flags; there the load is the one COM itself makes.
HMODULE LoadAsATillWould(const std::string& server) {
  HMODULE module = LoadLibraryExA(server.c_str(), nullptr,
                                  LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER)
    module = LoadLibraryExA(server.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  return module;
}

}  // namespace

std::string WhyServerCannotLoad(const std::string& server) {
  HMODULE module = LoadAsATillWould(server);
  const DWORD error = module ? ERROR_SUCCESS : GetLastError();
  if (module) FreeLibrary(module);
  if (error == ERROR_SUCCESS) return {};
  if (error == ERROR_BAD_EXE_FORMAT)
    return "the registered " + server + " is built for the other bitness than drawerctl";
  const std::string dir = server.substr(0, server.find_last_of("\\/") + 1);
  std::string missing;
  int count = 0;
  for (std::string_view name : kBesideServer) {
    if (FileExists(dir + std::string(name))) continue;
    missing += (missing.empty() ? "" : " and ") + std::string(name);
    ++count;
  }
  if (!missing.empty())
    return server + " cannot load: " + missing + (count > 1 ? " are" : " is") +
           " missing from " + dir + " (reinstall; registering again cannot help)";
  return server + " cannot load (Windows error " + std::to_string(error) +
         "): a library it needs is missing or broken; reinstall";
}

std::string DiagnoseCreateFailure(const std::string& progId, HRESULT hr) {
  if (progId != kServiceProgId)
    return "the drawer is served by another service object, " + progId + ", not by Halyard (" +
           kServiceProgId + "): install and register that vendor's software, or point the "
           "drawer at Halyard with drawerctl add NAME --port PORT --replace";
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(Widened(progId).c_str(), &clsid)))
    return std::string("the ProgID is not registered: ") + kRegisterAgain;
  const std::string server = RegisteredServer(clsid);
  if (server.empty()) return std::string("the class is not registered: ") + kRegisterAgain;
  if (!FileExists(server))
    return "the registered server " + server + " is missing: " + kRegisterAgain;
  std::string why = WhyServerCannotLoad(server);
  if (!why.empty()) return why;
  if (hr == CLASS_E_CLASSNOTAVAILABLE)
    return server + " does not serve the registered class: reinstall";
  return {};
}

}  // namespace drawerctl
