// open, status, watch, wait, health, cycle: conversations with the service
// object of one configured drawer.
#include <vector>

#include "blocking_call.h"
#include "commands.h"
#include "event_sink.h"
#include "exit_codes.h"
#include "ext/opos.h"
#include "log_tail.h"
#include "opos_names.h"
#include "pump.h"
#include "service_session.h"
#include "transcript.h"

namespace drawerctl {
namespace {

// The first drawer status is queued when the device is enabled and reaches
// drawerctl at the delivery thread's next look (it naps 200 ms at a time).
constexpr DWORD kFirstStatusMs = 2500;
// After openDrawer returns, the open event is already queued or follows
// within about one poll (one second).
constexpr DWORD kOpenEventMs = 3000;
// After waitForDrawerClose returns, the close event is already queued.
constexpr DWORD kCloseEventMs = 2500;

// Creates the object and opens the service; with `enable`, also claims and
// enables the device and waits for the first drawer status.
bool Start(ServiceSession& s, bool enable) {
  if (!s.Create() || !s.Open()) return false;
  if (!enable) return true;
  if (!s.Claim() || !s.Enable()) return false;
  if (!s.HasSensor()) {
    transcript::Say("  the drawer has no sensor (CapStatus 0): its state is not reported");
    return true;
  }
  if (!PumpUntil([&] { return !s.Events().Events().empty(); }, kFirstStatusMs)) {
    transcript::Say("  enabled, printer not answering: no drawer status came, the drawer's state "
                    "is unknown until the printer answers");
    transcript::Hint("the printer did not answer the status read: check that it is on, its cable "
                     "or network, and the Port value; the log lines below");
    ShowLogDiagnostics();
  }
  return true;
}

// Only a drawer status the printer sent can say which way the sensor reads.
bool ReadingSaysOpen(ServiceSession& s) {
  const std::vector<EventSink::Event>& seen = s.Events().Events();
  return !seen.empty() && seen.back().status == opos::CASH_SUE_DRAWEROPEN;
}

bool DrawerSeenOpen(ServiceSession& s, size_t opensBefore) {
  return s.AwaitEvent(opos::CASH_SUE_DRAWEROPEN, opensBefore, kOpenEventMs) ||
         s.Number(opos::PIDX_DrawerOpened).value_or(0) == 1;
}

void ShowDrawerOpened(ServiceSession& s) {
  std::optional<LONG> v = s.Number(opos::PIDX_DrawerOpened);
  const PropertyInfo* p = FindProperty("DrawerOpened");
  transcript::Say("  DrawerOpened (1001) = " + (v ? DescribePropertyValue(*p, *v) : "?"));
}

// Kicks the drawer and reports whether it was seen open.
bool KickAndReport(ServiceSession& s) {
  size_t opensBefore = s.Events().CountOf(opos::CASH_SUE_DRAWEROPEN);
  if (ReadingSaysOpen(s)) {
    transcript::Say("  the drawer reads open before the kick: the service reports no new opening");
    transcript::Hint("if the drawer is in fact shut, its sensor reads the other way round: "
                     "drawerctl add NAME ... --sensor high-open|high-shut --replace");
  }
  if (!s.Kick()) return false;
  if (!s.HasSensor()) {
    transcript::Say("  result: kicked; the drawer has no sensor, so whether it opened cannot be "
                    "seen");
    return true;
  }
  bool opened = DrawerSeenOpen(s, opensBefore);
  ShowDrawerOpened(s);
  if (opened) {
    transcript::Say("  result: the drawer opened");
    return true;
  }
  transcript::Say("  result: the drawer was NOT seen open");
  if (!s.Events().Events().empty()) {
    transcript::Hint("the kick went out: check the drawer cable, the kick pin (--pin 2|5), "
                     "the sensor polarity (--sensor) and the log");
  } else {
    transcript::Hint("the printer sent no drawer status at all: it is not answering, so nothing "
                     "can be seen of the drawer; check that it is on, its cable or network, and "
                     "the log");
  }
  ShowLogDiagnostics();
  s.Fail(kExitDrawerNotOpen);
  return false;
}

std::optional<BeepSettings> BeepFrom(const ParsedArgs& args) {
  BeepSettings b;
  struct Field {
    const char* option;
    LONG BeepSettings::*member;
  };
  static constexpr Field kFields[] = {
      {"beep-timeout", &BeepSettings::timeout},
      {"beep-frequency", &BeepSettings::frequency},
      {"beep-duration", &BeepSettings::duration},
      {"beep-delay", &BeepSettings::delay},
  };
  for (const auto& f : kFields) {
    if (!args.Has(f.option)) continue;
    std::optional<LONG> v = ParseLong(args.Value(f.option));
    if (!v) {
      transcript::Error(std::string("--") + f.option + " needs a whole number");
      return std::nullopt;
    }
    b.*(f.member) = *v;
  }
  return b;
}

// The service object serves no call while waitForDrawerClose waits, so
// nothing ends the wait from outside: a Ctrl+C during it says so at once.
bool WaitForCloseSayingWhyCtrlCWaits(ServiceSession& s, const BeepSettings& beep) {
  SetInterruptAction([] {
    transcript::Say("  Ctrl+C: waitForDrawerClose cannot be cut short; drawerctl releases the "
                    "device and closes the service as soon as the drawer is shut (Ctrl+C again "
                    "ends at once, without closing)");
  });
  const bool ok = s.WaitForClose(beep);
  SetInterruptAction({});
  return ok;
}

bool WaitAndReport(ServiceSession& s, const BeepSettings& beep) {
  if (Interrupted()) return true;  // not begun: it could not be ended
  size_t shutsBefore = s.Events().CountOf(opos::CASH_SUE_DRAWERCLOSED);
  bool wasOpen = s.Number(opos::PIDX_DrawerOpened).value_or(0) == 1;
  if (!WaitForCloseSayingWhyCtrlCWaits(s, beep)) return false;
  if (Interrupted()) return true;
  if (wasOpen && !s.AwaitEvent(opos::CASH_SUE_DRAWERCLOSED, shutsBefore, kCloseEventMs))
    transcript::Say("  (the close event has not arrived yet)");
  ShowDrawerOpened(s);
  return true;
}

bool RunCheckHealth(ServiceSession& s, LONG level) {
  if (level != opos::CH_INTERACTIVE) return s.CheckHealth(level);
  transcript::Say("  the health-check dialog (title \"Dialog\", \"CheckHealth Method\") is "
                  "open on the screen of this session: answer it there; drawerctl waits "
                  "until it is closed (Ctrl+C cancels it)");
  BlockingCall call;
  return call.MayStart() && s.CheckHealth(level);
}

void ShowHealthText(ServiceSession& s) {
  transcript::Say("  CheckHealthText = \"" + s.Text(opos::PIDX_CheckHealthText) + "\"");
}

void ShowProperties(ServiceSession& s) {
  for (const PropertyInfo* p = PropertiesBegin(); p != PropertiesEnd(); ++p) {
    std::string label = "  " + std::string(p->name) + " (" + std::to_string(p->index) + ")";
    label.resize(38, ' ');
    if (p->kind == PropertyKind::Text) {
      transcript::Say(label + "\"" + s.Text(p->index) + "\"");
      continue;
    }
    std::optional<LONG> v = s.Number(p->index);
    transcript::Say(label + (v ? DescribePropertyValue(*p, *v) : std::string("no answer")));
  }
}

// Tills of the other bitness read another copy of the device key: say which
// copies exist and which one this session's service object reads.
void ShowViews(const std::string& name) {
  ConfiguredDevice d;
  if (ReadDeviceViews(name, d) != ERROR_SUCCESS) return;  // opening the service says why
  std::string line = "  registry views: " + ViewsText(d);
  if (d.Differs()) line += ", with different settings (drawerctl list shows them)";
  transcript::Say(line + "; this session reads the " + std::string(OwnView().word) + " view");
}

void Heading(const std::string& text) { transcript::Say("\n== " + text); }

int Finish(ServiceSession& s) {
  s.Close();
  if (!Interrupted()) return s.ExitStatus();
  transcript::Say("  interrupted (Ctrl+C): the device was released and the service closed");
  return kExitInterrupted;
}

// A till's whole cycle in one session.
int Cycle(ServiceSession& s, const BeepSettings& beep, const std::string& name) {
  Heading("open the service, claim and enable the drawer " + name);
  if (!Start(s, true)) return Finish(s);
  Heading("kick the drawer");
  if (!KickAndReport(s)) return Finish(s);
  Heading("wait until the drawer is shut (reminder beep while it stays open)");
  if (!WaitAndReport(s, beep) || Interrupted()) return Finish(s);
  Heading("health checks");
  for (LONG level : {opos::CH_INTERNAL, opos::CH_EXTERNAL}) {
    if (Interrupted()) return Finish(s);
    size_t opensBefore = s.Events().CountOf(opos::CASH_SUE_DRAWEROPEN);
    if (!s.CheckHealth(level)) return Finish(s);
    ShowHealthText(s);
    // The external check pulses the drawer: its opening shows as an event.
    if (level == opos::CH_EXTERNAL && s.HasSensor()) s.AwaitEvent(opos::CASH_SUE_DRAWEROPEN, opensBefore,
                                                 kOpenEventMs);
  }
  Heading("close");
  int rc = Finish(s);
  transcript::Say("\nevents seen: " + std::to_string(s.Events().CountOf(1)) + " open, " +
                  std::to_string(s.Events().CountOf(0)) + " shut");
  return rc;
}

// wait and cycle: the beep options, then one session on the named drawer.
template <class Body>
int WithBeep(const ParsedArgs& args, Body body) {
  std::optional<BeepSettings> beep = BeepFrom(args);
  if (!beep) return kExitUsage;
  CatchInterrupt();
  ServiceSession s(args.positional[0]);
  return body(s, *beep, args.positional[0]);
}

}  // namespace

int RunOpen(const ParsedArgs& args) {
  CatchInterrupt();
  ServiceSession s(args.positional[0]);
  if (Start(s, true)) KickAndReport(s);
  return Finish(s);
}

int RunStatus(const ParsedArgs& args) {
  CatchInterrupt();
  ShowViews(args.positional[0]);
  ServiceSession s(args.positional[0]);
  if (Start(s, true)) ShowProperties(s);
  ShowLogUnwritable();
  return Finish(s);
}

int RunWatch(const ParsedArgs& args) {
  std::optional<LONG> seconds = args.Has("seconds") ? ParseLong(args.Value("seconds")) : 0;
  // A millisecond count must fit a DWORD below INFINITE: about 49 days.
  constexpr LONG kMaxWatchSeconds = 4000000;
  if (!seconds || *seconds < 0 || *seconds > kMaxWatchSeconds) {
    transcript::Error("--seconds needs a whole number of seconds, 0 to 4000000");
    return kExitUsage;
  }
  CatchInterrupt();
  ServiceSession s(args.positional[0]);
  if (Start(s, true)) {
    transcript::Say(*seconds > 0 ? "  watching for " + std::to_string(*seconds) +
                                       " s (Ctrl+C stops)"
                                 : std::string("  watching until Ctrl+C"));
    PumpFor(*seconds > 0 ? static_cast<DWORD>(*seconds) * 1000 : INFINITE);
    transcript::Say("  seen: " + std::to_string(s.Events().CountOf(1)) + " open, " +
                    std::to_string(s.Events().CountOf(0)) + " shut");
  }
  return Finish(s);
}

int RunWait(const ParsedArgs& args) {
  return WithBeep(args, [](ServiceSession& s, const BeepSettings& beep, const std::string&) {
    if (Start(s, true)) WaitAndReport(s, beep);
    return Finish(s);
  });
}

int RunHealth(const ParsedArgs& args) {
  std::optional<LONG> level = ParseLong(args.Value("level"));
  if (!args.Has("level") || !level || *level < opos::CH_INTERNAL ||
      *level > opos::CH_INTERACTIVE) {
    transcript::Error("--level is 1 (internal), 2 (external) or 3 (interactive)");
    return kExitUsage;
  }
  CatchInterrupt();
  ServiceSession s(args.positional[0]);
  if (!Start(s, false)) return Finish(s);
  if (RunCheckHealth(s, *level)) ShowHealthText(s);
  ShowLogUnwritable();
  return Finish(s);
}

int RunCycle(const ParsedArgs& args) { return WithBeep(args, Cycle); }

}  // namespace drawerctl
