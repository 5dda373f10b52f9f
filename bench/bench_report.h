// What every benchmark program prints: one line per figure,
//   BENCH {"bench":"quire","name":"...","value":1.5,"unit":"...","target":"...","note":"..."}
// scripts/bench.sh collects these lines into build/bench.json and a table.
// Anything else a benchmark prints is for the reader and is passed through.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

struct Figure {
  std::string bench;   // the program: quire, latency, idle, ...
  std::string name;    // what was measured
  double value = 0;
  std::string unit;
  std::string target;  // the aim it is held against, empty when none
  std::string note;    // conditions worth knowing
};

void Report(const Figure& f);

// Monotonic clock in microseconds.
double NowUs();

double Median(std::vector<double> v);
// q in [0, 1]: nearest-rank percentile.
double Percentile(std::vector<double> v, double q);
double Max(const std::vector<double>& v);

// A fresh, empty folder under the system temp folder; removed with its
// files when the object goes.
class TempFolder {
 public:
  explicit TempFolder(const char* stem);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const char* name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

}  // namespace bench
