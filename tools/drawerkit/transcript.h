// What drawerctl prints: one line per call with its result by name and
// number, one line per event with the time it arrived, and the hints that
// tell an operator what to check. Every line is flushed at once so that a
// watching operator (or a script reading the pipe) sees it as it happens.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace drawerctl::transcript {

// "14:03:12.345"
std::string Clock();
// A plain line.
void Say(std::string_view text);
// A call and what it answered: "14:03:12.345  openDrawer()  OPOS_SUCCESS (0)".
void Call(std::string_view call, std::string_view outcome);
// The one-line hint that follows a failed call.
void Hint(std::string_view text);
// An error line on stderr: "drawerctl: ..."
void Error(std::string_view text);

// Where the lines go instead of stdout and stderr, for a program with a
// window: each line as printed, an error line without the program's name
// and marked `error`. Called on the thread that writes the line. Empty puts
// the streams back.
using LineSink = std::function<void(const std::string& line, bool error)>;
void SetSink(LineSink sink);

}  // namespace drawerctl::transcript
