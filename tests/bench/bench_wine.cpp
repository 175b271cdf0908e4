// SPDX-License-Identifier: Zlib
#include "tests/bench/bench_wine.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "tests/support/whole_file.h"

namespace fs = std::filesystem;

namespace bench {

std::string WindowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).lexically_normal().string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

double RealtimeSeconds() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

double StampTime(const fs::path& stamp) {
  std::string text;
  if (!stub::testing::ReadFile(stamp, text) || text.empty() || text.back() != '\n') return -1;
  return (std::strtoull(text.c_str(), nullptr, 10) - 116444736000000000ull) / 1e7;
}

long PeakKb(pid_t pid) {
  std::string status;
  if (!stub::testing::ReadFile("/proc/" + std::to_string(pid) + "/status", status)) return -1;
  const size_t at = status.find("VmHWM:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

Wine::Wine(const fs::path& prefix, Display display) {
  env_ = {{"WINEPREFIX", prefix.string()},
          {"WINEDEBUG", "-all"},
          {"WINEDLLOVERRIDES", "mscoree,mshtml="},
          {"LANG", "C.UTF-8"},
          {"LC_ALL", "C.UTF-8"}};
  if (display == Display::kNone) unset_ = {"DISPLAY", "WAYLAND_DISPLAY"};
  if (!fs::exists(prefix / ".prepared")) {
    std::printf("making the Wine prefix %s\n", prefix.c_str());
    Run({"wineboot", "-i"});
    Run({"wineserver", "-w"});
    stub::testing::WriteBytes(prefix / ".prepared", {});
  }
  Run({"wineserver", "-p"});
}

Wine::~Wine() { Run({"wineserver", "-k"}); }

stub::testing::ProcessResult Wine::Run(const std::vector<std::string>& argv) const {
  stub::testing::ProcessOptions options;
  options.set_env = env_;
  options.unset_env = unset_;
  options.timeout_seconds = 1200;
  return stub::testing::RunProcess(argv, options);
}

Wine::Timed Wine::RunTimed(const std::vector<std::string>& command, const fs::path& stamp) const {
  std::map<std::string, std::string> env = env_;
  env["BENCH_CHILD_STAMP"] = WindowsPath(stamp);
  env["BENCH_CHILD_SLEEP_MS"] = "300";
  std::vector<std::string> entries;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (env.count(name) == 0 && std::find(unset_.begin(), unset_.end(), name) == unset_.end()) {
      entries.push_back(entry);
    }
  }
  for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : entries) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> words = {"wine"};
  words.insert(words.end(), command.begin(), command.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  Timed timed;
  fs::remove(stamp);
  pid_t pid = 0;
  timed.start = RealtimeSeconds();
  if (posix_spawnp(&pid, "wine", nullptr, nullptr, argv.data(), envp.data()) != 0) return timed;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, WNOHANG, &usage) == 0) {
    if (timed.started < 0) {
      timed.started = StampTime(stamp);
      if (timed.started >= 0) timed.peak_kb = PeakKb(pid);
    }
    usleep(2000);
  }
  timed.end = RealtimeSeconds();
  timed.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  timed.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return timed;
}

}  // namespace bench
