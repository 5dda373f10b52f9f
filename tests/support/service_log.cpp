#include "tests/support/service_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "ext/quire.h"

extern LogHandle gLogHandle;

namespace {

// Lines are written as "[LEVEL] message" (the layout set below).
std::string MessageOf(const std::string& line) {
  size_t end = line.find("] ");
  return end == std::string::npos ? line : line.substr(end + 2);
}

bool IsLine(const std::string& line, const char* level, const std::string& text) {
  return line == std::string("[") + level + "] " + text;
}

}  // namespace

std::string Fmt(const char* format, ...) {
  char buf[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(buf, sizeof(buf), format, args);
  va_end(args);
  return buf;
}

ServiceLog::ServiceLog() {
  static LONG counter = 0;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  dir_ = Fmt("%shalyard-log-%lu-%ld", temp, GetCurrentProcessId(),
             InterlockedIncrement(&counter));
  CreateDirectoryA(dir_.c_str(), nullptr);
  CreateDirectoryA((dir_ + "\\Cashlog").c_str(), nullptr);
  path_ = dir_ + "\\Cashlog\\CashRollback.log";
  DeleteFileA(path_.c_str());

  LogConfig config{};
  std::strncpy(config.path, path_.c_str(), sizeof(config.path) - 1);
  config.mode = LOG_MODE_SIMPLE;
  config.level = LOG_LEVEL_TRACE;
  std::strncpy(config.format, "[%L] %m", sizeof(config.format) - 1);
  LOG_MODULE_INIT_Ex(&config, &gLogHandle);
}

ServiceLog::~ServiceLog() {
  LOG_MODULE_DESTORY(&gLogHandle);
  DeleteFileA(path_.c_str());
  RemoveDirectoryA((dir_ + "\\Cashlog").c_str());
  RemoveDirectoryA(dir_.c_str());
}

std::vector<std::string> ServiceLog::Lines() const {
  std::vector<std::string> lines;
  HANDLE f = CreateFileA(path_.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return lines;
  std::string text;
  char buf[4096];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof(buf), &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(f);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int ServiceLog::Count(const std::string& text) const {
  int n = 0;
  for (const std::string& line : Lines())
    if (MessageOf(line) == text) ++n;
  return n;
}

int ServiceLog::Find(const std::string& text, int from) const {
  std::vector<std::string> lines = Lines();
  for (int i = from < 0 ? 0 : from; i < static_cast<int>(lines.size()); ++i)
    if (MessageOf(lines[i]) == text) return i;
  return -1;
}

bool ServiceLog::HasError(const std::string& text) const {
  for (const std::string& line : Lines())
    if (IsLine(line, "ERROR", text)) return true;
  return false;
}

bool ServiceLog::HasDebug(const std::string& text) const {
  for (const std::string& line : Lines())
    if (IsLine(line, "DEBUG", text)) return true;
  return false;
}

std::string ServiceLog::Dump() const {
  std::string all;
  for (const std::string& line : Lines()) all += line + "\n";
  return all;
}

bool ServiceLog::HasWarn(const std::string& text) const {
  for (const std::string& line : Lines())
    if (IsLine(line, "WARN", text)) return true;
  return false;
}

bool ServiceLog::HasRun(const std::vector<std::string>& run) const {
  std::vector<std::string> lines = Lines();
  if (run.empty()) return true;
  for (size_t i = 0; i + run.size() <= lines.size(); ++i) {
    size_t k = 0;
    while (k < run.size() && lines[i + k] == run[k]) ++k;
    if (k == run.size()) return true;
  }
  return false;
}
