#include "bench/bench_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace bench {
namespace {

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

void Report(const Figure& f) {
  char number[64];
  if (std::isfinite(f.value)) {
    std::snprintf(number, sizeof(number), "%.6g", f.value);
  } else {
    std::snprintf(number, sizeof(number), "null");
  }
  std::printf("BENCH {\"bench\":%s,\"name\":%s,\"value\":%s,\"unit\":%s,\"target\":%s,\"note\":%s}\n",
              JsonText(f.bench).c_str(), JsonText(f.name).c_str(), number,
              JsonText(f.unit).c_str(), JsonText(f.target).c_str(), JsonText(f.note).c_str());
  std::fflush(stdout);
}

double NowUs() {
  static const double ticks_per_us = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticks_per_us;
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  size_t rank = static_cast<size_t>(std::ceil(q * static_cast<double>(v.size())));
  if (rank == 0) rank = 1;
  return v[std::min(rank, v.size()) - 1];
}

double Median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double Max(const std::vector<double>& v) {
  return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
}

TempFolder::TempFolder(const char* stem) {
  char base[MAX_PATH];
  ::GetTempPathA(sizeof(base), base);
  char name[MAX_PATH];
  std::snprintf(name, sizeof(name), "%s%s-%lu-%lu", base, stem, ::GetCurrentProcessId(),
                ::GetTickCount());
  ::CreateDirectoryA(name, nullptr);
  path_ = name;
}

TempFolder::~TempFolder() {
  struct FindCloser {
    void operator()(HANDLE h) const { ::FindClose(h); }
  };
  WIN32_FIND_DATAA found;
  std::string pattern = path_ + "\\*";
  HANDLE first = ::FindFirstFileA(pattern.c_str(), &found);
  if (first != INVALID_HANDLE_VALUE) {
    std::unique_ptr<void, FindCloser> search(first);
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileA((path_ + "\\" + found.cFileName).c_str());
      }
    } while (::FindNextFileA(search.get(), &found));
  }
  ::RemoveDirectoryA(path_.c_str());
}

}  // namespace bench
