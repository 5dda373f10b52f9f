// The Test page's conversation with one drawer's service object, run on a
// thread of its own so that no call to the service ever holds the window:
// that thread is the service's apartment, makes every call in the order the
// window asked for them, and pumps while it waits, so the status events
// reach it and go on to the window as messages. Stopping it (the window
// closing, say) ends the conversation after the step under way: events
// frozen, device disabled, released and the service closed.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

#include "common/win32_raii.h"
#include "service_session.h"

namespace drawerconfig {

enum class TestStep { Connect, Kick, Wait, Health, Close };

struct TestCommand {
  TestStep step = TestStep::Connect;
  LONG level = 1;                   // Health
  drawerctl::BeepSettings beep;     // Wait
};

// What one step answered, for the window; posted as kStepDone's lParam and
// owned by the receiver from then on.
struct StepOutcome {
  TestStep step;
  bool ok = false;
  std::string call;    // the call that decided the outcome
  std::string result;  // "OPOS_SUCCESS (0)", or what happened instead
  std::string hint;    // what to check; empty when all went well
};

// Messages the runner posts to its window.
constexpr UINT kRunnerLine = WM_APP + 1;    // lParam: std::string*, one transcript line
constexpr UINT kRunnerDrawer = WM_APP + 2;  // wParam: a DrawerReading
constexpr UINT kRunnerStepDone = WM_APP + 3;  // lParam: StepOutcome*
constexpr UINT kRunnerStopped = WM_APP + 4;   // the service is closed, the thread is ending

enum DrawerReading : WPARAM { kReadShut = 0, kReadOpen = 1, kReadNoAnswer = 2 };

class TestRunner {
 public:
  TestRunner(HWND window, std::string device);
  ~TestRunner();  // stops, and waits for the thread
  TestRunner(const TestRunner&) = delete;
  TestRunner& operator=(const TestRunner&) = delete;

  void Post(const TestCommand& command);
  // Asks for the end; kRunnerStopped follows once the service is closed.
  void Stop();
  // The step under way is one that only the drawer can end (a wait on an
  // open drawer) or only a person (the interactive health check).
  bool InLongStep() const;
  // The interactive health check's dialog is on this thread: ending it lets
  // the runner go on to close the service.
  void CancelDialogs();

 private:
  static DWORD WINAPI ThreadMain(void* self);
  void Run();
  bool TakeCommand(TestCommand& out);
  // false when the conversation cannot go on.
  bool Execute(drawerctl::ServiceSession& session, const TestCommand& command);

  HWND window_;
  std::string device_;
  win::UniqueHandle queued_;
  win::UniqueHandle stop_;
  win::AutoCriticalSection lock_;
  std::deque<TestCommand> commands_;
  volatile LONG longStep_ = 0;
  DWORD threadId_ = 0;
  win::UniqueHandle thread_;
};

}  // namespace drawerconfig
