// The service object as a point-of-sale application meets it: Halyard.dll
// registered in the Wine prefix and created through COM, the real port
// library, and the printer emulator on loopback. Measures
//   - drawer-change latency: the emulator changes the sensor at a random
//     phase of the poll period, until SOStatusUpdate arrives at a Control
//     Object that pumps messages; for a printer that pushes its status at
//     the change and for one that pushes nothing;
//   - openDrawer from call to return, the drawer opening at the kick and
//     50 ms after it; and for a drawer without a sensor, on a network
//     printer (DrawerSensor 0) and through a Wine printer queue that relays
//     the RAW job to the emulator;
//   - CloseService from call to return, and a failed OpenService;
//   - idle cost: CPU time and memory of an open, enabled service, the log
//     at info level, the drawer shut, over two minutes; also with a printer
//     that floods its line (the emulator then runs as its own process, so
//     that only the service's time is counted).
//
// bench_service.exe [--quick] [section ...]
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <thread>

#include "bench/bench_report.h"
#include "common/win32_raii.h"
#include "ext/opos.h"
#include "tests/support/device_session.h"
#include "tests/support/emulated_device.h"
#include "tests/support/log_installation.h"
#include "tests/support/relay_queue.h"

namespace {

// The service opened and enabled on a device, with a Control Object that
// notes when each update arrives.
struct Session : DeviceSession {
  std::vector<double> arrivals;  // NowUs() at each SOStatusUpdate

  explicit Session(const std::string& deviceName)
      : DeviceSession(CreateRegisteredService(), deviceName) {
    co().SetOnInvoke([this](const RecordingCO::Call&) { arrivals.push_back(bench::NowUs()); });
  }
  // Opened and enabled; the bare OpenService result is DeviceSession::Open.
  bool OpenEnabled() { return *this && OpenAndEnable() == 0; }
  double TimedClose() {
    double t0 = bench::NowUs();
    Close();
    return bench::NowUs() - t0;
  }
};

void ReportTimes(const char* what, const std::vector<double>& us, const char* target,
                 const std::string& note, bool withP95, bool withMin = false) {
  std::vector<double> ms;
  for (double u : us) ms.push_back(u / 1000.0);
  if (ms.empty()) return;
  if (withMin) {
    double least = ms[0];
    for (double m : ms) least = m < least ? m : least;
    bench::Report({"service", std::string(what) + " min", least, "ms", "", note});
  }
  bench::Report({"service", std::string(what) + " median", bench::Median(ms), "ms", "", note});
  if (withP95) {
    bench::Report({"service", std::string(what) + " p95", bench::Percentile(ms, 0.95), "ms",
                   target, note});
  }
  bench::Report({"service", std::string(what) + " max", bench::Max(ms), "ms",
                 withP95 ? "" : target, note});
}

constexpr DWORD kPollPeriodMs = 1000;

void DrawerChangeLatency(int changes, bool push) {
  EmulatedDevice device({push ? "Bench KX-R58 latency push" : "Bench KX-R58 latency quiet"});
  if (!device.Started()) {
    std::printf("latency: the emulator did not start\n");
    return;
  }
  emulator::PrinterEmulator& printer = device.printer();
  printer.setPushStatus(push);
  Session s(device.Name());
  if (!s.OpenEnabled()) {
    std::printf("latency: the service did not open (is Halyard.dll registered?)\n");
    return;
  }
  // Each change waits a whole period and a random part of one after the
  // last update: the changes fall at every phase of the poll's cycle.
  std::mt19937 rng(2026);
  std::uniform_int_distribution<DWORD> phase(0, kPollPeriodMs - 1);
  std::vector<double> latencies;
  for (int i = 0; i < changes; ++i) {
    PumpFor(kPollPeriodMs + phase(rng));
    size_t before = s.co().StatusCount();
    double t0 = bench::NowUs();
    if (i % 2 == 0) {
      printer.openDrawer();
    } else {
      printer.closeDrawer();
    }
    if (!s.WaitUpdates(before + 1, 10000)) {
      std::printf("latency: change %d never arrived\n", i);
      break;
    }
    latencies.push_back(s.arrivals.back() - t0);
  }
  s.Close();
  char note[96];
  std::snprintf(note, sizeof(note), "%zu changes at random phases, printer %s", latencies.size(),
                push ? "pushes status" : "pushes nothing");
  ReportTimes(push ? "drawer change to SOStatusUpdate, status pushed"
                   : "drawer change to SOStatusUpdate, nothing pushed",
              latencies, push ? "p95 <= 50" : "p95 <= 1100", note, true, true);
}

// openDrawer from call to return, kicks times. openDelayMs < 0: the drawer
// opens at the kick; otherwise the kick reaches no solenoid (the drawer hangs
// on the other pin) and the drawer is opened by hand that long after the call.
void OpenDrawerTimes(int kicks, int openDelayMs) {
  DeviceWiring wiring{"Bench KX-R58 kick"};
  if (openDelayMs >= 0) wiring.drawerPin = 5;  // the kick drives pin 2
  EmulatedDevice device(wiring);
  if (!device.Started()) return;
  emulator::PrinterEmulator& printer = device.printer();
  std::vector<double> opens;
  Session s(device.Name());
  if (!s.OpenEnabled()) {
    std::printf("openDrawer: the service did not open\n");
    return;
  }
  for (int i = 0; i < kicks; ++i) {
    LONG rc = -1;
    std::thread byHand;
    double t0 = bench::NowUs();
    if (openDelayMs >= 0) {
      byHand = std::thread([&printer, openDelayMs] {
        Sleep(static_cast<DWORD>(openDelayMs));
        printer.openDrawer();
      });
    }
    s.service()->openDrawer(&rc);
    double took = bench::NowUs() - t0;
    if (byHand.joinable()) byHand.join();
    if (rc != 0) std::printf("openDrawer %d gave %ld\n", i, rc);
    opens.push_back(took);
    // Shut again, and the service has seen it shut before the next kick.
    size_t before = s.co().StatusCount();
    printer.closeDrawer();
    s.WaitUpdates(before + 2, 10000);
    // The printer ignores a kick while its last pulse (500 ms on, 500 off) runs.
    PumpFor(1100);
  }
  s.Close();
  std::string what = openDelayMs < 0 ? "openDrawer call to return, drawer opens at the kick"
                                      : "openDrawer call to return, drawer opens 50 ms after";
  ReportTimes(what.c_str(), opens, openDelayMs < 0 ? "" : "<= 250",
              std::to_string(opens.size()) + " kicks (includes its fixed 100 ms pause)", false);
}

// A drawer without a sensor: the kick's pulse on-time is all openDrawer
// waits. throughQueue: the kick goes as a RAW job through a Wine queue.
void SensorlessOpenTimes(int kicks, bool throughQueue) {
  EmulatedDevice device({"Bench KX-R58 no sensor"});
  if (!device.Started()) return;
  std::unique_ptr<RelayQueue> queue;
  if (throughQueue) {
    queue = std::make_unique<RelayQueue>(device.printer().port());
    if (!queue->Made()) {
      std::printf("openDrawer without a sensor: %s\n", queue->Error().c_str());
      return;
    }
    device.key().SetString("Port", "PRINTER:" + queue->Name());
  } else {
    device.key().SetDword("DrawerSensor", 0);
  }
  Session s(device.Name());
  if (!s || s.Open() != opos::SUCCESS) return;
  s.service()->SetPropertyNumber(opos::PIDX_DeviceEnabled, 1);
  std::vector<double> opens;
  for (int i = 0; i < kicks; ++i) {
    LONG rc = -1;
    const size_t before = device.printer().snapshot().kicks.size();
    double t0 = bench::NowUs();
    s.service()->openDrawer(&rc);
    opens.push_back(bench::NowUs() - t0);
    if (rc != 0) std::printf("openDrawer %d gave %ld\n", i, rc);
    device.printer().waitFor([&](const emulator::Snapshot& p) { return p.kicks.size() > before; },
                             5000);
    PumpFor(600);  // the rest of the pulse: the printer ignores a kick inside it
  }
  if (s.Property(opos::PIDX_CapStatus) != 0) std::printf("CapStatus was not 0\n");
  const size_t reached = device.printer().snapshot().kicks.size();
  s.Close();
  ReportTimes(throughQueue ? "openDrawer without a sensor, through a printer queue"
                           : "openDrawer without a sensor (DrawerSensor 0), network printer",
              opens, "< 1000",
              std::to_string(opens.size()) + " kicks, " + std::to_string(reached) +
                  " reached the printer (500 ms pulse on-time included)",
              false);
}

void CloseTimes(int closes) {
  EmulatedDevice device({"Bench KX-R58 close"});
  if (!device.Started()) return;
  std::vector<double> closeTimes;
  for (int i = 0; i < closes; ++i) {
    Session s(device.Name());
    if (!s.OpenEnabled()) break;
    PumpFor(500);
    closeTimes.push_back(s.TimedClose());
  }
  ReportTimes("CloseService call to return", closeTimes,
              ">= 1800 by design (0.8 s + delivery thread's 1 s exit pause)",
              std::to_string(closeTimes.size()) + " closes", false);
}

// OpenService on a device whose key lacks PinSingle: the port opens, the
// threads and events are made, and all of it is given back.
void FailedOpenTimes(int opens) {
  EmulatedDevice device({"Bench KX-R58 failed open"});
  if (!device.Started()) return;
  device.key().Delete("PinSingle");
  std::vector<double> times;
  for (int i = 0; i < opens; ++i) {
    Session s(device.Name());
    if (!s) break;
    double t0 = bench::NowUs();
    LONG rc = s.DeviceSession::Open();
    times.push_back(bench::NowUs() - t0);
    if (rc == opos::SUCCESS) {
      std::printf("failed open: the service opened without PinSingle\n");
      break;
    }
  }
  ReportTimes("failed OpenService call to return", times, "<= 100",
              std::to_string(times.size()) + " opens, PinSingle missing", false);
}

// Process CPU time (kernel + user) in microseconds.
double CpuUs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto us = [](FILETIME f) {
    return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10.0;
  };
  return us(kernel) + us(user);
}

int FreeLoopbackPort() {
  emulator::Options o;
  o.port = 0;
  emulator::PrinterEmulator probe(o);
  if (!probe.start()) return 0;
  int port = probe.port();
  probe.stop();
  return port;
}

// flood: empty, or the emulator's --flood kind.
void IdleCost(DWORD seconds, const std::string& flood) {
  int port = FreeLoopbackPort();
  std::string cmd = "printer-emulator.exe --no-stdin --port " + std::to_string(port);
  if (!flood.empty()) cmd += " --flood " + flood;
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nullptr;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi)) {
    std::printf("idle: printer-emulator.exe did not start (%lu)\n", GetLastError());
    return;
  }
  win::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  Sleep(1000);  // let it listen
  {
    // The log as a till keeps it: info level, so the poll's lines are filtered.
    diagtest::Installation install("halyard_bench_idle_");
    install.WriteIni("[Cash_Log]\r\nlevel=Log_Level_Info\r\n");
    diagtest::UninstallEntry entry;
    entry.Set("\"" + install.dir() + "unins000.exe\"");
    DeviceKey key(UniqueDeviceName("Bench KX-R58 idle"));
    key.SetString("Port", LoopbackPortValue(port)).SetDword("OpenSingle", 0);
    key.SetDword("PinSingle", 0);
    Session s(key.Name());
    if (!s.OpenEnabled()) {
      std::printf("idle: the service did not open\n");
    } else {
      PumpFor(3000);  // settle after the enable
      double cpu0 = CpuUs();
      double wall0 = bench::NowUs();
      PumpFor(seconds * 1000);  // a Control Object waiting for events
      double cpu = CpuUs() - cpu0;
      double wall = bench::NowUs() - wall0;
      PROCESS_MEMORY_COUNTERS m{};
      m.cb = sizeof(m);
      GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof(m));
      char note[128];
      std::snprintf(note, sizeof(note), "%lu s, drawer shut, log at info, CPU %.1f ms in all%s",
                    seconds, cpu / 1000.0, flood.empty() ? "" : ", printer flooding");
      const std::string name = flood.empty() ? "CPU share of one core"
                                             : "CPU share of one core, flood of " + flood;
      bench::Report({"idle", name, 100.0 * cpu / wall, "%", flood.empty() ? "<= 0.05" : "", note});
      if (flood.empty()) {
        bench::Report({"idle", "working set", m.WorkingSetSize / 1024.0, "KiB", "",
                       "whole bench process, service opened and enabled"});
      }
      s.Close();
    }
  }
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
}

// Sections by name: bench_service.exe [--quick] [latency|open|nosensor|close|failed|idle|flood ...];
// no name runs them all.
bool Wanted(int argc, char** argv, const char* section) {
  bool named = false;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    named = true;
    if (std::strcmp(argv[i], section) == 0) return true;
  }
  return !named;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;
  win::ComApartment apartment;
  if (Wanted(argc, argv, "latency")) {
    DrawerChangeLatency(quick ? 10 : 60, true);
    DrawerChangeLatency(quick ? 10 : 40, false);
  }
  if (Wanted(argc, argv, "open")) {
    OpenDrawerTimes(quick ? 5 : 20, -1);
    OpenDrawerTimes(quick ? 5 : 20, 50);
  }
  if (Wanted(argc, argv, "nosensor")) {
    SensorlessOpenTimes(quick ? 5 : 20, false);
    SensorlessOpenTimes(quick ? 5 : 20, true);
  }
  if (Wanted(argc, argv, "close")) CloseTimes(quick ? 3 : 10);
  if (Wanted(argc, argv, "failed")) FailedOpenTimes(quick ? 3 : 10);
  if (Wanted(argc, argv, "idle")) IdleCost(quick ? 10 : 120, "");
  if (Wanted(argc, argv, "flood")) {
    IdleCost(quick ? 10 : 30, "blocks");
    IdleCost(quick ? 10 : 30, "garbage");
  }
  return 0;
}
