// GOSExec and GOSHash throughput on 64 KiB chunks, as the GOST file
// processor calls them, against libgcrypt's GOST28147 and GOSTR3411_94 and
// `rhash --gost94` in the same run, printed as ratios.
//
//   gost_bench [MiB [rounds [rhash MiB]]]
//       data per case (default 64) and the rounds it is spread over
//       (default 8); the file that rhash hashes (default 256 MiB, in
//       $TMPDIR or /dev/shm; 0 leaves rhash out)
//
// Every round runs every case over its share of the data, in turn, so a
// change in the machine's load hits all of them alike. Each chunk is timed;
// the main figure is 64 KiB over the median chunk time, the last columns use
// the fastest chunk. rhash runs as a program over the whole file, GOSHash
// and libgcrypt's hash over the same bytes in memory, three rounds of the
// three in turn, the fastest run of each counting. MB/s are 10^6 bytes per second. All cases use
// the substitution block of the GOST R 34.11-94 test parameter set (the sample file
// res/gost/test_paramset.txt; libgcrypt's "1.2.643.2.2.30.0").
#include <gcrypt.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zq/gcrypt_init.h"
#include "zq/zq.h"

namespace {

constexpr size_t kChunk = 65536;
const uint8_t kKey[32] = {0x3b, 0x38, 0x98, 0x37, 0x15, 0x20, 0xf7, 0x5e, 0x11, 0x22, 0x33,
                          0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee,
                          0xff, 0x00, 0x0f, 0x1e, 0x2d, 0x3c, 0x4b, 0x5a, 0x69, 0x78};
const uint8_t kSynchro[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};
const char* const kOid = "1.2.643.2.2.30.0";

uint8_t g_box[64];

bool LoadBox(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (f == nullptr) return false;
  int got = 0;
  for (; got < 64; ++got) {
    unsigned v = 0;
    if (std::fscanf(f, "%x", &v) != 1 || v > 255) break;
    g_box[got] = static_cast<uint8_t>(v);
  }
  std::fclose(f);
  return got == 64;
}

using Clock = std::chrono::steady_clock;

struct Case {
  std::string name;
  std::function<void()> start;
  std::function<void(uint8_t*, size_t)> chunk;
  std::vector<double> seconds;  // per chunk
};

struct Speed {
  double median, best;  // MB/s
};

Speed MegabytesPerSecond(Case& c) {
  std::vector<double>& t = c.seconds;
  std::sort(t.begin(), t.end());
  return {static_cast<double>(kChunk) / t[t.size() / 2] / 1e6,
          static_cast<double>(kChunk) / t.front() / 1e6};
}

Case ExecCase(std::string name, uint32_t operation, uint32_t mode) {
  auto c = std::make_shared<GOSCipherContext>();
  return Case{std::move(name),
              [=] {
                std::memset(c.get(), 0, sizeof *c);
                c->size = sizeof *c;
                c->key.count = 8;
                std::memcpy(c->key.words, kKey, 32);
                c->substitution.count = 16;
                std::memcpy(c->substitution.words, g_box, 64);
                std::memcpy(c->synchro, "    ", 4);
                std::memcpy(c->synchro + 4, kSynchro, 8);
                c->operation = operation;
                c->mode = mode;
              },
              [=](uint8_t* p, size_t n) {
                if (GOSExec(p, static_cast<uint32_t>(n), c.get()) != kGosExecOk) std::abort();
              },
              {}};
}

Case HashCase() {
  auto c = std::make_shared<GOSHashContext>();
  return Case{"GOSHash",
              [=] {
                std::memset(c.get(), 0, sizeof *c);
                c->size = sizeof *c;
                c->substitution.count = 16;
                std::memcpy(c->substitution.words, g_box, 64);
              },
              [=](uint8_t* p, size_t n) { GOSHash(p, static_cast<uint32_t>(n), c.get()); },
              {}};
}

// libgcrypt GOST28147 in one mode; the handle lives as long as the program.
Case GcryCipherCase(std::string name, int mode, bool encrypt) {
  nc::zq::EnsureGcrypt();
  gcry_cipher_hd_t h = nullptr;
  if (gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0) != 0) std::abort();
  return Case{std::move(name),
              [=] {
                gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kOid), 0);
                gcry_cipher_setkey(h, kKey, 32);
                if (mode == GCRY_CIPHER_MODE_CTR) {
                  gcry_cipher_setctr(h, kSynchro, 8);
                } else if (mode != GCRY_CIPHER_MODE_ECB) {
                  gcry_cipher_setiv(h, kSynchro, 8);
                }
              },
              [=](uint8_t* p, size_t n) {
                if (encrypt) {
                  gcry_cipher_encrypt(h, p, n, nullptr, 0);
                } else {
                  gcry_cipher_decrypt(h, p, n, nullptr, 0);
                }
              },
              {}};
}

Case GcryImitCase() {
  nc::zq::EnsureGcrypt();
  gcry_mac_hd_t h = nullptr;
  if (gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr) != 0) std::abort();
  return Case{"libgcrypt GOST28147_IMIT",
              [=] {
                gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(kOid), std::strlen(kOid) + 1);
                gcry_mac_setkey(h, kKey, 32);
              },
              [=](uint8_t* p, size_t n) { gcry_mac_write(h, p, n); },
              {}};
}

Case GcryHashCase() {
  nc::zq::EnsureGcrypt();
  gcry_md_hd_t h = nullptr;
  if (gcry_md_open(&h, GCRY_MD_GOSTR3411_94, 0) != 0) std::abort();
  return Case{"libgcrypt GOSTR3411_94",
              [=] { gcry_md_reset(h); },
              [=](uint8_t* p, size_t n) { gcry_md_write(h, p, n); },
              {}};
}

void Fill(uint8_t* p, size_t n, uint32_t seed) {
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    p[i] = static_cast<uint8_t>(seed >> 16);
  }
}

#ifndef _WIN32
// rhash over a file of `mib` MiB against GOSHash and libgcrypt over the same
// bytes in memory, 64 KiB at a time; three rounds of the three in turn, the
// fastest run of each counts, in MB/s. rhash is 0 when it cannot run.
struct FileSpeeds {
  double rhash = 0, goshash = 0, gcry = 0;
};

double Best(double best, size_t bytes, Clock::time_point t0) {
  const std::chrono::duration<double> dt = Clock::now() - t0;
  return std::max(best, static_cast<double>(bytes) / dt.count() / 1e6);
}

FileSpeeds FileHash(size_t mib) {
  FileSpeeds out;
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir != nullptr ? dir : "/dev/shm") + "/nccore-gost-bench.bin";
  const size_t bytes = mib << 20;
  std::vector<uint8_t> data(bytes);
  Fill(data.data(), bytes, 7);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return out;
  const bool written = std::fwrite(data.data(), 1, bytes, f) == bytes;
  std::fclose(f);
  const std::string command = "rhash --gost94 --simple '" + path + "' >/dev/null";
  bool rhash_ok = written;
  for (int run = 0; run < 3; ++run) {
    auto t0 = Clock::now();
    if (rhash_ok && std::system(command.c_str()) == 0) {
      out.rhash = Best(out.rhash, bytes, t0);
    } else {
      rhash_ok = false;
    }
    GOSHashContext c;
    std::memset(&c, 0, sizeof c);
    c.size = sizeof c;
    c.substitution.count = 16;
    std::memcpy(c.substitution.words, g_box, 64);
    t0 = Clock::now();
    for (size_t at = 0; at < bytes; at += kChunk) {
      GOSHash(data.data() + at, static_cast<uint32_t>(std::min(kChunk, bytes - at)), &c);
    }
    GOSHashComplete(&c);
    out.goshash = Best(out.goshash, bytes, t0);
    gcry_md_hd_t h = nullptr;
    if (gcry_md_open(&h, GCRY_MD_GOSTR3411_94, 0) != 0) std::abort();
    t0 = Clock::now();
    for (size_t at = 0; at < bytes; at += kChunk) {
      gcry_md_write(h, data.data() + at, std::min(kChunk, bytes - at));
    }
    gcry_md_final(h);
    out.gcry = Best(out.gcry, bytes, t0);
    gcry_md_close(h);
  }
  if (!rhash_ok) out.rhash = 0;
  std::remove(path.c_str());
  return out;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 64;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 8;
  const size_t rhash_mib = argc > 3 ? static_cast<size_t>(std::strtoul(argv[3], nullptr, 10)) : 256;
  if (mib == 0) mib = 1;
  if (rounds <= 0) rounds = 1;
  const size_t total = mib << 20;
  if (!LoadBox(NCCORE_GOST_SAMPLES "/test_paramset.txt")) {
    std::fprintf(stderr, "cannot read %s\n", NCCORE_GOST_SAMPLES "/test_paramset.txt");
    return 2;
  }

  std::vector<Case> cases;
  cases.push_back(GcryCipherCase("libgcrypt GOST28147 ECB encrypt", GCRY_CIPHER_MODE_ECB, true));
  cases.push_back(GcryCipherCase("libgcrypt GOST28147 ECB decrypt", GCRY_CIPHER_MODE_ECB, false));
  cases.push_back(GcryCipherCase("libgcrypt GOST28147 CTR", GCRY_CIPHER_MODE_CTR, true));
  cases.push_back(GcryCipherCase("libgcrypt GOST28147 CFB encrypt", GCRY_CIPHER_MODE_CFB, true));
  cases.push_back(GcryCipherCase("libgcrypt GOST28147 CFB decrypt", GCRY_CIPHER_MODE_CFB, false));
  cases.push_back(GcryImitCase());
  cases.push_back(GcryHashCase());
  const size_t first_own = cases.size();
  cases.push_back(ExecCase("GOSExec simple replacement enc", kGosEncipher, kGosSimpleReplacement));
  cases.push_back(ExecCase("GOSExec simple replacement dec", kGosDecipher, kGosSimpleReplacement));
  cases.push_back(ExecCase("GOSExec gamma", kGosEncipher, kGosGamma));
  cases.push_back(ExecCase("GOSExec gamma with feedback enc", kGosEncipher, kGosFeedbackGamma));
  cases.push_back(ExecCase("GOSExec gamma with feedback dec", kGosDecipher, kGosFeedbackGamma));
  cases.push_back(ExecCase("GOSExec imitation insert", kGosImitation, kGosNoMode));
  cases.push_back(HashCase());
  // The peer each of our cases is divided by (index into `cases`).
  const size_t peer[] = {0, 1, 2, 3, 4, 5, 6};

  std::vector<uint8_t> buffer(kChunk);
  Fill(buffer.data(), kChunk, 1);
  for (Case& c : cases) c.start();
  const size_t chunks = total / kChunk;
  for (int r = 0; r < rounds; ++r) {
    for (Case& c : cases) {
      const size_t share = chunks * (r + 1) / rounds - chunks * r / rounds;
      for (size_t i = 0; i < share; ++i) {
        const auto t0 = Clock::now();
        c.chunk(buffer.data(), kChunk);
        const std::chrono::duration<double> dt = Clock::now() - t0;
        c.seconds.push_back(dt.count());
      }
    }
  }
  std::vector<Speed> speed;
  for (Case& c : cases) speed.push_back(MegabytesPerSecond(c));

  std::printf("GOST throughput, 64 KiB chunks, %zu MiB per case in %d rounds\n\n", mib, rounds);
  std::printf("%-34s %9s %9s %9s  %s\n", "", "median", "best", "ratio", "(median / median of)");
  std::printf("%-34s %9s %9s\n", "", "MB/s", "MB/s");
  for (size_t i = 0; i < cases.size(); ++i) {
    std::printf("%-34s %9.1f %9.1f", cases[i].name.c_str(), speed[i].median, speed[i].best);
    if (i >= first_own) {
      const size_t p = peer[i - first_own];
      std::printf(" %9.2f  (%s)", speed[i].median / speed[p].median, cases[p].name.c_str());
    }
    std::printf("\n");
  }
  std::printf("\ngamma / libgcrypt CFB encrypt: %.2f\n",
              speed[first_own + 2].median / speed[3].median);

#ifndef _WIN32
  if (rhash_mib > 0) {
    const FileSpeeds f = FileHash(rhash_mib);
    std::printf("\nGOST R 34.11-94 over a %zu MiB file (fastest of 3 runs each)\n", rhash_mib);
    std::printf("  GOSHash (the bytes in memory)        %9.1f MB/s\n", f.goshash);
    std::printf("  libgcrypt GOSTR3411_94 (the same)    %9.1f MB/s\n", f.gcry);
    if (f.rhash > 0) {
      std::printf("  rhash --gost94 (the file, tmpfs)     %9.1f MB/s\n", f.rhash);
    } else {
      std::printf("  (rhash not available)\n");
    }
    std::printf("  GOSHash / faster of the peers        %9.2f\n",
                f.goshash / std::max(f.gcry, f.rhash));
  }
#else
  (void)rhash_mib;
#endif
  return 0;
}
