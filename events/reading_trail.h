// The run of the poll thread's status readings: whether they have started
// failing and what the last good one was. A printer that goes silent,
// drops off the network or is switched off is logged once when its readings
// stop and once when they come back, never at every poll.
#pragma once

#include <windows.h>

struct PortWords;

class ReadingTrail {
 public:
  // A reading came; `first` is its first status byte and `drawer` the words
  // for what it says ("drawer open", "drawer shut", "no sensor").
  void Good(BYTE first, const char* drawer);
  // A reading delivered nothing; words are the port library's diagnostics.
  void Failed(const PortWords& words);

 private:
  bool failing_ = false;
  LONG failures_ = 0;
  bool haveGood_ = false;
  BYTE lastFirst_ = 0;
  const char* lastDrawer_ = "";
  FILETIME lastAt_ = {};  // UTC
};
