// A scratch installation for the log tests: a directory in the prefix's
// temp folder, the setup's uninstall entry pointing into it, and its INI.
#pragma once

#include <windows.h>

#include <string>

#include "common/no_copy.h"

namespace diagtest {

std::string TempDir();  // with a trailing backslash

// Points "UninstallString" at an uninstaller in dir for the life of the
// object and puts the earlier value (or its absence) back afterwards.
class UninstallEntry : win::NoCopy {
 public:
  UninstallEntry();
  ~UninstallEntry();

  bool Set(const std::string& value, DWORD type = REG_SZ);
  void Remove();

 private:
  bool hadValue_ = false;
  DWORD oldType_ = 0;
  std::string oldValue_;
};

// A directory with an "OPOSLog.ini" of the given body; removed with its log
// files when the object goes.
class Installation : win::NoCopy {
 public:
  explicit Installation(const std::string& name);
  ~Installation();

  const std::string& dir() const { return dir_; }
  void WriteIni(const std::string& body) const;
  std::string LogPath() const { return dir_ + "Cashlog\\CashRollback.log"; }
  std::string ReadLog() const;  // empty when there is none

 private:
  std::string dir_;
};

}  // namespace diagtest
