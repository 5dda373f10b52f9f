// The library's entry points that are not about registration: DllMain,
// DllGetClassObject and DllCanUnloadNow.
#include "server/class_factory.h"
#include "server/module_state.h"
#include "server/type_info_cache.h"
#include "so/service_object.h"

// Defined here so that the library's own copy, filled in by DllMain, is the
// one linked; programs that link the core directly get so/module_instance.cpp.
HINSTANCE gModuleInstance = nullptr;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      gModuleInstance = instance;
      DisableThreadLibraryCalls(instance);
      break;
    case DLL_PROCESS_DETACH:
      ReleaseClassFactory();
      ReleaseServiceTypeInfo();
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
