// How fast tesselarc-cli answers when it cannot do the work: a --port path that does not
// exist, a plain file given as --port, no adapter plugged in, and a usage error, each with a
// time-out of 60 s that none of them may wait for. Also a demo read for scale. Prints the
// median and the slowest of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace {

using tessel::test_support::RunCommand;

void Measure(const char* what, const std::vector<std::string>& argv, int runs) {
  std::vector<double> ms;
  int exit_code = -1;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    exit_code = RunCommand(argv).exit_code;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("%-34s exit %d  median %8.1f ms  slowest %8.1f ms  (%d runs)\n", what, exit_code,
              ms[ms.size() / 2], ms.back(), runs);
}

}  // namespace

int main() {
  const std::string cli = TESSEL_CLI_BINARY;
  const std::string file = tessel::test_support::TempPath("bench-plain-file");
  if (FILE* f = std::fopen(file.c_str(), "w")) std::fclose(f);
  Measure("--port to a missing path",
          {cli, "--timeout", "60", "--port", "/nonexistent/tty", "read"}, 20);
  Measure("--port to a plain file", {cli, "--timeout", "60", "--port", file, "read"}, 20);
  Measure("usage error (unknown option)", {cli, "read", "--jsn"}, 20);
  Measure("search, no adapter plugged in", {cli, "--timeout", "60", "info"}, 5);
  Measure("demo read (for scale)", {cli, "--demo", "--quiet", "read"}, 3);
  std::remove(file.c_str());
  return 0;
}
