// The type information of ISOTvCash, loaded once from the registered type
// library and kept until the module is unloaded. The service object's
// IDispatch operations are served from it; it lives beside them so that the
// service object's code needs nothing from the COM server around it.
#pragma once

#include <windows.h>
#include <oaidl.h>

// The interface's type information (a new reference), or the loader's error.
HRESULT GetServiceTypeInfo(LCID lcid, ITypeInfo** info);

// Dispatch identifiers for a method name and its parameter names. The method
// name is found case-insensitively in a table built at load time; parameter
// names go to the type information itself.
HRESULT GetServiceDispIds(LPOLESTR* names, UINT count, LCID lcid, DISPID* dispids);

// Drops the cached type information; the next use loads it again. Called
// when the library is unloaded by FreeLibrary, never at process exit.
void ReleaseServiceTypeInfo();
