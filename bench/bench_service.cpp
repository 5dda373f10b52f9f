// The service object as a point-of-sale application meets it: Halyard.dll
// registered in the Wine prefix and created through COM, the real port
// library, and the printer emulator on loopback. Measures
//   - drawer-change latency: the emulator changes the sensor, until
//     SOStatusUpdate arrives at a Control Object that pumps messages;
//   - openDrawer from call to return (the drawer opens at the kick);
//   - CloseService from call to return;
//   - idle cost: CPU time and memory of an open, enabled service over a
//     minute with the drawer shut (the emulator then runs as its own
//     process, so that only the service's time is counted).
//
// bench_service.exe [--quick]
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "common/win32_raii.h"
#include "tests/support/device_session.h"
#include "tests/support/emulated_device.h"

namespace {

// The service opened and enabled on a device, with a Control Object that
// notes when each update arrives.
struct Session : DeviceSession {
  std::vector<double> arrivals;  // NowUs() at each SOStatusUpdate

  explicit Session(const std::string& deviceName)
      : DeviceSession(CreateRegisteredService(), deviceName) {
    co().SetOnInvoke([this](const RecordingCO::Call&) { arrivals.push_back(bench::NowUs()); });
  }
  bool Open() { return *this && OpenAndEnable() == 0; }
  double TimedClose() {
    double t0 = bench::NowUs();
    Close();
    return bench::NowUs() - t0;
  }
};

void ReportTimes(const char* what, const std::vector<double>& us, const char* target,
                 const std::string& note, bool withP95) {
  std::vector<double> ms;
  for (double u : us) ms.push_back(u / 1000.0);
  bench::Report({"service", std::string(what) + " median", bench::Median(ms), "ms", "", note});
  if (withP95) {
    bench::Report({"service", std::string(what) + " p95", bench::Percentile(ms, 0.95), "ms",
                   target, note});
  }
  bench::Report({"service", std::string(what) + " max", bench::Max(ms), "ms",
                 withP95 ? "" : target, note});
}

void DrawerChangeLatency(int changes) {
  EmulatedDevice device({"Bench KX-R58 latency"});
  if (!device.Started()) {
    std::printf("latency: the emulator did not start\n");
    return;
  }
  emulator::PrinterEmulator& printer = device.printer();
  Session s(device.Name());
  if (!s.Open()) {
    std::printf("latency: the service did not open (is Halyard.dll registered?)\n");
    return;
  }
  // Changes at random moments, so that they fall anywhere in the poll's cycle.
  std::mt19937 rng(2026);
  std::vector<double> latencies;
  for (int i = 0; i < changes; ++i) {
    PumpFor(300 + rng() % 1000);
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
  std::snprintf(note, sizeof(note), "%zu changes", latencies.size());
  ReportTimes("drawer change to SOStatusUpdate", latencies,
              "p95 <= 1320 (poll 1 s + delivery nap 0.2 s, +10%)", note, true);
}

void OpenDrawerAndClose(int kicks, int closes) {
  EmulatedDevice device({"Bench KX-R58 kick"});
  if (!device.Started()) return;
  emulator::PrinterEmulator& printer = device.printer();
  std::vector<double> opens;
  {
    Session s(device.Name());
    if (!s.Open()) {
      std::printf("openDrawer: the service did not open\n");
      return;
    }
    for (int i = 0; i < kicks; ++i) {
      LONG rc = -1;
      double t0 = bench::NowUs();
      s.service()->openDrawer(&rc);
      double took = bench::NowUs() - t0;
      if (rc != 0) std::printf("openDrawer %d gave %ld\n", i, rc);
      opens.push_back(took);
      // Shut again, and the service has seen it shut before the next kick.
      size_t before = s.co().StatusCount();
      printer.closeDrawer();
      s.WaitUpdates(before + 2, 10000);
      PumpFor(200);
    }
    s.Close();
  }
  ReportTimes("openDrawer call to return", opens, "", std::to_string(opens.size()) + " kicks",
              false);

  std::vector<double> closeTimes;
  for (int i = 0; i < closes; ++i) {
    Session s(device.Name());
    if (!s.Open()) break;
    PumpFor(500);
    closeTimes.push_back(s.TimedClose());
  }
  ReportTimes("CloseService call to return", closeTimes,
              ">= 1800 by design (0.8 s + delivery thread's 1 s exit pause)",
              std::to_string(closeTimes.size()) + " closes", false);
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

void IdleCost(DWORD seconds) {
  int port = FreeLoopbackPort();
  std::string cmd = "printer-emulator.exe --no-stdin --port " + std::to_string(port);
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
    DeviceKey key(UniqueDeviceName("Bench KX-R58 idle"));
    key.SetString("Port", LoopbackPortValue(port)).SetDword("OpenSingle", 0);
    key.SetDword("PinSingle", 0);
    Session s(key.Name());
    if (!s.Open()) {
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
      char note[96];
      std::snprintf(note, sizeof(note), "%lu s, drawer shut, CPU %.1f ms in all", seconds,
                    cpu / 1000.0);
      bench::Report({"idle", "CPU share of one core", 100.0 * cpu / wall, "%", "< 0.1", note});
      bench::Report({"idle", "working set", m.WorkingSetSize / 1024.0, "KiB", "",
                     "whole bench process, service opened and enabled"});
      s.Close();
    }
  }
  TerminateProcess(process.get(), 0);
  WaitForSingleObject(process.get(), 5000);
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  win::ComApartment apartment;
  DrawerChangeLatency(quick ? 10 : 60);
  OpenDrawerAndClose(quick ? 5 : 20, quick ? 3 : 10);
  IdleCost(quick ? 10 : 60);
  return 0;
}
