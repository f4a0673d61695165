// ModExpConstTime (zq/rsa_modexp.h): does the exponent's value show in the
// running time? For 1024- and 2048-bit moduli, a dense exponent (every bit
// set) and a sparse one (the top bit and bit 1) of the same word length,
// timed alternately in one process.
//
//   rsa_modexp_bench [runs]   runs per exponent and modulus (default 201)
//
// Prints each exponent's median time per exponentiation, the difference of
// the medians, and the run-to-run spread (the interquartile range of each
// set). A difference well inside the spread is what a constant-time routine
// gives; a square-and-multiply one would show the sparse exponent about a
// third faster. Not a test: nothing passes or fails here.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "zq/rsa_modexp.h"

namespace {

double Quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v[static_cast<size_t>(q * (v.size() - 1) + 0.5)];
}

double TimeOne(const std::vector<uint32_t>& b, const std::vector<uint32_t>& x,
               const std::vector<uint32_t>& n, std::vector<uint32_t>& r) {
  const auto t0 = std::chrono::steady_clock::now();
  nc::zq::ModExpConstTime(r.data(), b.data(), x.data(), static_cast<uint32_t>(x.size()), n.data(),
                          static_cast<uint32_t>(n.size()));
  const std::chrono::duration<double, std::micro> dt = std::chrono::steady_clock::now() - t0;
  return dt.count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 201;
  std::mt19937 rng(1);
  std::printf("ModExpConstTime, microseconds per exponentiation, %d runs each\n", runs);
  std::printf("%5s %12s %12s %12s %10s %10s\n", "bits", "dense med", "sparse med", "difference",
              "dense IQR", "sparse IQR");
  for (uint32_t words : {32u, 64u}) {
    std::vector<uint32_t> n(words), b(words), r(words);
    for (auto& w : n) w = rng();
    n[0] |= 1;
    n[words - 1] |= 0x80000000u;
    for (auto& w : b) w = rng();
    b[words - 1] &= 0x7FFFFFFFu;
    const std::vector<uint32_t> dense(words, 0xFFFFFFFFu);
    std::vector<uint32_t> sparse(words, 0);
    sparse[words - 1] = 0x80000000u;
    sparse[0] = 2;
    for (int i = 0; i < 5; ++i) TimeOne(b, dense, n, r);  // warm-up, not counted
    std::vector<double> td, ts;
    for (int i = 0; i < runs; ++i) {
      td.push_back(TimeOne(b, dense, n, r));
      ts.push_back(TimeOne(b, sparse, n, r));
    }
    const double md = Quantile(td, 0.5), ms = Quantile(ts, 0.5);
    std::printf("%5u %12.1f %12.1f %+12.1f %10.1f %10.1f\n", 32 * words, md, ms, md - ms,
                Quantile(td, 0.75) - Quantile(td, 0.25), Quantile(ts, 0.75) - Quantile(ts, 0.25));
  }
  return 0;
}
