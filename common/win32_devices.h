// Owners for the device and printer handles of the setup and spooler APIs.
// Header-only; only what finds and drives printers includes it.
#pragma once

#include <windows.h>
#include <setupapi.h>
#include <winspool.h>

#include "common/unique_any.h"

namespace win {

namespace detail {
inline void DestroyDeviceInfoList(HDEVINFO set) { ::SetupDiDestroyDeviceInfoList(set); }
inline void ClosePrinterHandle(HANDLE printer) { ::ClosePrinter(printer); }
}  // namespace detail

// SetupDiGetClassDevs fails with INVALID_HANDLE_VALUE.
using UniqueDevInfo = UniqueAny<HDEVINFO, &detail::DestroyDeviceInfoList, 0, -1>;
// An OpenPrinter handle.
using UniquePrinter = UniqueAny<HANDLE, &detail::ClosePrinterHandle>;

}  // namespace win
