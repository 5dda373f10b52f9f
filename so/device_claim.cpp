// The device claim's mutex, its holder thread and the look at another
// service's claim.
#include "so/device_claim.h"

#include <sddl.h>

#include "events/apartment_wait.h"

namespace {

// Global: tills in other sessions of the machine (a service, a second
// desktop) share the drawer too.
constexpr wchar_t kClaimPrefix[] = L"Global\\Halyard.CashDrawer.Claim.";

// Device names are registry key names, which ignore case; a kernel object
// name may hold no backslash after its namespace.
std::wstring ClaimName(const char* deviceName) {
  const int n = MultiByteToWideChar(CP_ACP, 0, deviceName, -1, nullptr, 0);
  std::wstring name(n > 1 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, deviceName, -1, name.data(), n);
  if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  for (wchar_t& c : name)
    if (c == L'\\') c = L'/';
  return kClaimPrefix + name;
}

// What every account may do with a claim's mutex: wait for it and give it
// back. With the creator's default security, a till running under another
// account (a POS service, a technician's drawerctl) could neither claim the
// drawer nor see that it is claimed.
constexpr DWORD kClaimAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;
constexpr wchar_t kClaimSecurity[] = L"D:(A;;0x00100001;;;WD)";
static_assert(kClaimAccess == 0x00100001);

win::UniqueHandle OpenOrCreateClaimMutex(const std::wstring& name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(kClaimSecurity, SDDL_REVISION_1,
                                                       &descriptor, nullptr);
  win::UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  return win::UniqueHandle(CreateMutexExW(descriptor != nullptr ? &attributes : nullptr,
                                          name.c_str(), 0, kClaimAccess));
}

}  // namespace

DWORD WINAPI DeviceClaim::Hold(LPVOID self) {
  DeviceClaim& claim = *static_cast<DeviceClaim*>(self);
  win::UniqueHandle mutex = OpenOrCreateClaimMutex(claim.name_);
  if (!mutex) {
    SetEvent(claim.done_.get());
    return 0;
  }
  HANDLE wanted[2] = {mutex.get(), claim.quit_.get()};
  const DWORD r = WaitForMultipleObjects(2, wanted, FALSE, claim.timeout_);
  const bool owned = r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0;
  claim.taken_over_ = r == WAIT_ABANDONED_0;
  claim.attempt_ = owned                    ? Outcome::Claimed
                   : r == WAIT_TIMEOUT      ? Outcome::TimedOut
                   : r == WAIT_OBJECT_0 + 1 ? Outcome::Closed
                                            : Outcome::Failed;
  HANDLE quit = claim.quit_.get();
  SetEvent(claim.done_.get());
  if (!owned) return 0;
  WaitForSingleObject(quit, INFINITE);
  ReleaseMutex(mutex.get());
  return 0;
}

DeviceClaim::Outcome DeviceClaim::Claim(const char* deviceName, DWORD timeoutMs) {
  if (held_) return Outcome::Claimed;
  if (waiting_) return Outcome::Busy;
  name_ = ClaimName(deviceName);
  timeout_ = timeoutMs;
  attempt_ = Outcome::Failed;
  taken_over_ = false;
  cancelled_ = false;
  done_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  quit_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (done_) holder_.reset(CreateThread(nullptr, 0, Hold, this, 0, nullptr));
  if (!done_ || !quit_ || !holder_) {
    EndHolder();
    return Outcome::Failed;
  }
  // The holder thread bounds the wait; the calls that come in meanwhile
  // (events, a close from the till) are served.
  waiting_ = true;
  while (WaitForSingleObject(done_.get(), 0) != WAIT_OBJECT_0)
    WaitServingCalls(done_.get(), INFINITE);
  waiting_ = false;
  if (attempt_ == Outcome::Claimed && !cancelled_) {
    held_ = true;
    return Outcome::Claimed;
  }
  EndHolder();
  return cancelled_ ? Outcome::Closed : attempt_;
}

void DeviceClaim::EndHolder() {
  if (holder_) {
    SetEvent(quit_.get());
    WaitForSingleObject(holder_.get(), INFINITE);
  }
  holder_.reset();
  done_.reset();
  quit_.reset();
  held_ = false;
}

void DeviceClaim::Release() {
  if (waiting_) {
    // Called back from inside Claim's wait: that wait ends and cleans up.
    cancelled_ = true;
    SetEvent(quit_.get());
    return;
  }
  EndHolder();
}

bool DeviceClaim::HeldElsewhere(const char* deviceName) const {
  if (held_) return false;
  win::UniqueHandle mutex(OpenMutexW(kClaimAccess, FALSE, ClaimName(deviceName).c_str()));
  // No mutex: nobody holds the claim or waits for it. One this account may
  // not open was made by another account's service: taken as held, so that
  // a claim is never passed over.
  if (!mutex) return GetLastError() == ERROR_ACCESS_DENIED;
  // Free (or left by a process that ended): taken for a moment and given back.
  const DWORD r = WaitForSingleObject(mutex.get(), 0);
  if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {
    ReleaseMutex(mutex.get());
    return false;
  }
  return r == WAIT_TIMEOUT;
}
