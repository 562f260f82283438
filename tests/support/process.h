// Runs the project's binaries from tests: a server kept running in the background and
// one-shot commands whose output and exit status are collected.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tessel::test_support {

struct CommandResult {
  int exit_code = -1;
  int elapsed_ms = 0;  // counted only when a limit or a callback was given
  std::string out;
  std::string err;
};

inline std::string ReadAll(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

inline std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tesselarc-" + std::to_string(getpid()) + "-" + name;
}

// Starts `argv` with stdout and stderr sent to files; returns its pid.
inline pid_t Spawn(const std::vector<std::string>& argv, const std::string& out_path,
                   const std::string& err_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs `argv` to its end; one that is still running after `limit_ms` is killed (exit -2).
// `during`, when given, is called every 10 ms while it runs, with its pid.
inline CommandResult RunCommand(const std::vector<std::string>& argv, int limit_ms = 0,
                                const std::function<void(pid_t)>& during = {}) {
  const std::string out = TempPath("out"), err = TempPath("err");
  CommandResult r;
  const pid_t pid = Spawn(argv, out, err);
  if (pid > 0) {
    int status = 0;
    int waited_ms = 0;
    while (waitpid(pid, &status, limit_ms > 0 || during ? WNOHANG : 0) == 0) {
      if (limit_ms > 0 && waited_ms >= limit_ms) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        r.exit_code = -2;
        break;
      }
      if (during) during(pid);
      usleep(10000);
      waited_ms += 10;
    }
    r.elapsed_ms = waited_ms;
    if (r.exit_code != -2) r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.out = ReadAll(out);
  r.err = ReadAll(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

// tesselarc-sim in the background; the pseudo-terminal path is its first output line.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv{TESSEL_SIM_BINARY};
    argv.insert(argv.end(), extra.begin(), extra.end());
    out_ = TempPath("sim-out-" + std::to_string(++counter()));
    err_ = TempPath("sim-err-" + std::to_string(counter()));
    pid_ = Spawn(argv, out_, err_);
    for (int i = 0; i < 500 && pid_ > 0; ++i) {
      const std::string text = ReadAll(out_);
      const auto nl = text.find('\n');
      if (nl != std::string::npos) {
        path_ = text.substr(0, nl);
        break;
      }
      usleep(10000);
    }
  }
  ~SimProcess() {
    Stop();
    std::remove(out_.c_str());
    std::remove(err_.c_str());
  }
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
  }
  const std::string& path() const { return path_; }
  pid_t pid() const { return pid_; }
  std::string Errors() const { return ReadAll(err_); }
  // The bytes the host sent, from a --trace log ("> XX @baud < ...").
  std::vector<uint8_t> TracedHostBytes() const {
    std::vector<uint8_t> bytes;
    std::istringstream in(Errors());
    std::string line;
    while (std::getline(in, line)) {
      if (line.size() > 3 && line[0] == '>') {
        bytes.push_back(static_cast<uint8_t>(std::stoi(line.substr(2, 2), nullptr, 16)));
      }
    }
    return bytes;
  }

 private:
  static int& counter() {
    static int n = 0;
    return n;
  }
  pid_t pid_ = -1;
  std::string path_;
  std::string out_;
  std::string err_;
};

}  // namespace tessel::test_support
