// The library's entry points that are not about registration: DllMain,
// DllGetClassObject and DllCanUnloadNow.
#include "server/class_factory.h"
#include "so/module_state.h"
#include "so/service_object.h"
#include "so/type_info_cache.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      SetModuleInstance(instance);
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      // reserved is non-null when the whole process ends: the system frees
      // everything, and the libraries that cached objects would call into
      // may already be gone. Only an unload by FreeLibrary gives back.
      if (reserved == nullptr) ReleaseServiceTypeInfo();
      break;
    default:
      break;
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != CLSID_SOTvCash) return CLASS_E_CLASSNOTAVAILABLE;
  return QueryClassFactory(riid, ppv);
}

STDAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }
