// The base of owners that nothing may copy. Header-only.
#pragma once

namespace win {

// The copy operations are gone, and with them the moves the compiler would
// otherwise write: an owner derived from it stays where it was made unless it
// declares moves of its own.
class NoCopy {
 public:
  NoCopy(const NoCopy&) = delete;
  NoCopy& operator=(const NoCopy&) = delete;

 protected:
  NoCopy() = default;
  ~NoCopy() = default;
};

}  // namespace win
