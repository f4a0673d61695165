// GOSSignGenPQA: how long the common numbers p, q, a take, as ZqGOSC asks for
// them (random starting values, no callback).
//
//   gost_pqa_bench [runs512 [runs1024]]   runs per case (default 7 and 5)
//
// Prints the median, fastest and slowest run of every case: procedures A and
// A' for 512 bits, B and B' for 1024. The time of one run depends on the
// starting values (how many candidates each prime needs), so runs scatter
// widely; the median is the figure to compare. No peer offers these
// procedures, so there are no ratios here.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zq/zq.h"

namespace {

struct Case {
  const char* name;
  uint32_t bits;
  uint32_t flags;
  int runs;
};

double RunOnce(const Case& c) {
  GOSPQAContext context;
  std::memset(&context, 0, sizeof context);
  context.size = sizeof context;
  context.flags = c.flags;
  context.bits = c.bits;
  const auto t0 = std::chrono::steady_clock::now();
  const int32_t result = GOSSignGenPQA(&context);
  const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
  if (result != kGosPqaDone) {
    std::fprintf(stderr, "GOSSignGenPQA failed: %d\n", static_cast<int>(result));
    std::exit(1);
  }
  return dt.count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs512 = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const int runs1024 = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const Case cases[] = {{"A   512", 512, 2, runs512},
                        {"A'  512", 512, 2 | kGosPqaVariant, runs512},
                        {"B  1024", 1024, 2, runs1024},
                        {"B' 1024", 1024, 2 | kGosPqaVariant, runs1024}};
  RunOnce(cases[0]);  // libgcrypt's start-up and the random pool, not timed
  std::printf("GOSSignGenPQA, seconds per run\n");
  std::printf("%-9s %5s %9s %9s %9s\n", "procedure", "runs", "median", "fastest", "slowest");
  for (const Case& c : cases) {
    std::vector<double> t;
    for (int i = 0; i < c.runs; ++i) t.push_back(RunOnce(c));
    std::sort(t.begin(), t.end());
    std::printf("%-9s %5d %9.3f %9.3f %9.3f\n", c.name, c.runs, t[t.size() / 2], t.front(),
                t.back());
  }
  return 0;
}
