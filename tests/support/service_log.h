// The log that a test reads back: the real logging library writing into a
// file of the test's own, through the process-wide gLogHandle that the
// service object's code logs through.
//
//   auto* so = new SOTvCash; so->AddRef();   // construction may set the log up
//   ServiceLog log;                          // ...so take it over afterwards
//   so->ClaimDevice(0, &rc);
//   EXPECT_TRUE(log.Has("Cash.ClaimDevice:0"));
//
// The service object's destruction ends the handle (LOG_MODULE_DESTORY);
// lines written up to then stay readable through the ServiceLog.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/no_copy.h"

class ServiceLog : win::NoCopy {
 public:
  ServiceLog();
  ~ServiceLog();

  const std::string& Path() const { return path_; }
  // Every line of the file so far, without line ends.
  std::vector<std::string> Lines() const;
  // Lines whose message (the line after its "[LEVEL] ") is exactly text.
  int Count(const std::string& text) const;
  bool Has(const std::string& text) const { return Count(text) > 0; }
  // Index of the first line at or after from whose message is text; -1 if none.
  int Find(const std::string& text, int from = 0) const;
  // A line with exactly this message written at error / debug level.
  bool HasError(const std::string& text) const;
  bool HasDebug(const std::string& text) const;
  bool HasWarn(const std::string& text) const;
  // The lines, each "[LEVEL] message", follow one another somewhere in the log.
  bool HasRun(const std::vector<std::string>& lines) const;
  // Everything, for failure messages.
  std::string Dump() const;

 private:
  std::string dir_;
  std::string path_;
};

// printf into a std::string, for building expected lines from the same
// formats the code uses.
std::string Fmt(const char* format, ...);
