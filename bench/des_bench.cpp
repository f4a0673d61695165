// DESExec throughput per mode on 64 KiB chunks, as the DES file processor
// calls it, against libgcrypt's and OpenSSL's DES-CBC in the same run.
//
//   des_bench [MiB [rounds]]   data per case (default 64; the modes with
//                              1-byte units, one block per byte, use an
//                              eighth) and the rounds it is spread over
//                              (default 8)
//
// Every round runs every case over its share of the data, in turn, so a
// change in the machine's load hits all of them alike. Each chunk is timed;
// the main figure is 64 KiB over the median chunk time, which a few chunks
// slowed by other processes do not move, and the last two columns use the
// fastest chunk instead (what the code does when nothing disturbs it).
// MB/s are 10^6 bytes per second; the ratios divide by the peers' DES-CBC
// encryption figures.
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

#include "zq/des.h"
#include "zq/gcrypt_init.h"

#ifdef NCCORE_HAVE_OPENSSL
#include <openssl/evp.h>
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
#include <openssl/provider.h>
#endif
#endif

namespace {

constexpr size_t kChunk = 65536;
const uint8_t kKey[8] = {0x3b, 0x38, 0x98, 0x37, 0x15, 0x20, 0xf7, 0x5e};
const uint8_t kIv[8] = {'K', 'L', 'B', 'N', 'V', 'R', 'z', 'z'};

// One case: `start` sets up the job once, then `chunk` runs over `total`
// bytes in 64 KiB pieces of one buffer, a share in every round.
struct Case {
  std::string name;
  size_t total;
  std::function<void()> start;
  std::function<void(uint8_t*, size_t)> chunk;
  std::vector<double> seconds;  // per chunk
};

void RunShare(Case& c, std::vector<uint8_t>& buffer, size_t chunks) {
  for (size_t i = 0; i < chunks; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    c.chunk(buffer.data(), kChunk);
    const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
    c.seconds.push_back(dt.count());
  }
}

struct Speed {
  double median, best;  // MB/s
};

Speed MegabytesPerSecond(Case& c) {
  std::vector<double>& t = c.seconds;
  std::sort(t.begin(), t.end());
  return {static_cast<double>(kChunk) / t[t.size() / 2] / 1e6,
          static_cast<double>(kChunk) / t.front() / 1e6};
}

Case DesExecCase(std::string name, size_t total, uint32_t operation, uint32_t mode, uint32_t unit) {
  auto job = std::make_shared<DesJobContext>();
  return Case{std::move(name),
              total,
              [=] {
                std::memset(job.get(), 0, sizeof *job);
                job->size = sizeof *job;
                job->operation = operation;
                job->mode = mode;
                job->unitSize = unit;
                job->key.count = 2;
                std::memcpy(job->key.key, kKey, 8);
                std::memcpy(job->iv, kIv, 8);
              },
              [=](uint8_t* p, size_t n) {
                if (DESExec(p, static_cast<uint32_t>(n), job.get()) != kDesExecOk) std::abort();
              },
              {}};
}

// libgcrypt DES-CBC; the handle lives as long as the program.
Case GcryCase(std::string name, size_t total, bool encrypt) {
  nc::zq::EnsureGcrypt();
  gcry_cipher_hd_t h = nullptr;
  if (gcry_cipher_open(&h, GCRY_CIPHER_DES, GCRY_CIPHER_MODE_CBC, 0) != 0) std::abort();
  return Case{std::move(name),
              total,
              [=] {
                gcry_cipher_setkey(h, kKey, 8);
                gcry_cipher_setiv(h, kIv, 8);
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

#ifdef NCCORE_HAVE_OPENSSL
// OpenSSL DES-CBC (in OpenSSL 3's legacy provider); null when unavailable.
const EVP_CIPHER* OpenSslDesCbc() {
#if OPENSSL_VERSION_NUMBER >= 0x30000000L
  static EVP_CIPHER* cipher = [] {
    OSSL_LIB_CTX* lib = OSSL_LIB_CTX_new();
    if (OSSL_PROVIDER_load(lib, "legacy") == nullptr ||
        OSSL_PROVIDER_load(lib, "default") == nullptr) {
      return static_cast<EVP_CIPHER*>(nullptr);
    }
    return EVP_CIPHER_fetch(lib, "DES-CBC", nullptr);
  }();
  return cipher;
#else
  return EVP_des_cbc();
#endif
}

Case OpenSslCase(std::string name, size_t total, bool encrypt) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  auto out = std::make_shared<std::vector<uint8_t>>(kChunk + 16);
  return Case{std::move(name),
              total,
              [=] {
                EVP_CipherInit_ex(ctx, OpenSslDesCbc(), nullptr, kKey, kIv, encrypt ? 1 : 0);
                EVP_CIPHER_CTX_set_padding(ctx, 0);
              },
              [=](uint8_t* p, size_t n) {
                int len = 0;
                EVP_CipherUpdate(ctx, out->data(), &len, p, static_cast<int>(n));
              },
              {}};
}
#endif

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? static_cast<size_t>(std::strtoul(argv[1], nullptr, 10)) : 64;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 8;
  if (mib == 0) mib = 1;
  if (rounds <= 0) rounds = 1;
  const size_t total = mib << 20;
  const size_t slow = std::max(total / 8, kChunk);

  std::vector<Case> cases;
  cases.push_back(GcryCase("libgcrypt DES-CBC encrypt", total, true));
  cases.push_back(GcryCase("libgcrypt DES-CBC decrypt", total, false));
  bool have_openssl = false;
#ifdef NCCORE_HAVE_OPENSSL
  if (OpenSslDesCbc() != nullptr) {
    have_openssl = true;
    cases.push_back(OpenSslCase("OpenSSL DES-CBC encrypt", total, true));
    cases.push_back(OpenSslCase("OpenSSL DES-CBC decrypt", total, false));
  }
#endif
  struct Mode {
    const char* name;
    uint32_t mode, unit;
  };
  const Mode modes[] = {
      {"ECB", kDesEcb, 8},
      {"CBC", kDesCbc, 8},
      {"CFB-8 (unit 1)", kDesCfb, 1},
      {"CFB-64 (unit 8)", kDesCfb, 8},
      {"OFB-8 (unit 1)", kDesOfb, 1},
      {"OFB-64 (unit 8)", kDesOfb, 8},
  };
  for (const Mode& m : modes) {
    const size_t bytes = m.unit == 1 ? slow : total;
    for (uint32_t op : {kDesEncipher, kDesDecipher}) {
      cases.push_back(DesExecCase(
          std::string("DESExec ") + m.name + (op == kDesEncipher ? " encrypt" : " decrypt"), bytes,
          op, m.mode, m.unit));
    }
  }
  cases.push_back(DesExecCase("DESExec keyed hash", total, kDesHash, 0, 0));

  std::vector<uint8_t> buffer(kChunk);
  for (size_t i = 0; i < kChunk; ++i) buffer[i] = static_cast<uint8_t>(i * 131 + 7);
  for (Case& c : cases) c.start();
  for (int r = 0; r < rounds; ++r) {
    for (Case& c : cases) {
      const size_t chunks = c.total / kChunk;
      RunShare(c, buffer, chunks * (r + 1) / rounds - chunks * r / rounds);
    }
  }
  std::vector<Speed> speed;
  for (Case& c : cases) speed.push_back(MegabytesPerSecond(c));

  const Speed gcry = speed[0];
  const Speed ossl = have_openssl ? speed[2] : Speed{0, 0};
  std::printf(
      "DES throughput, 64 KiB chunks, %zu MiB per case (%zu MiB for 1-byte units) "
      "in %d rounds\n\n",
      mib, slow >> 20, rounds);
  std::printf("%-34s %9s %9s %9s %9s %9s\n", "", "median", "/ gcrypt", "/ OpenSSL", "best",
              "/ gcrypt");
  std::printf("%-34s %9s %9s %9s %9s %9s\n", "", "MB/s", "CBC", "CBC", "MB/s", "CBC");
  for (size_t i = 0; i < cases.size(); ++i) {
    const Speed& v = speed[i];
    std::printf("%-34s %9.1f %9.2f", cases[i].name.c_str(), v.median, v.median / gcry.median);
    if (ossl.median > 0) {
      std::printf(" %9.2f", v.median / ossl.median);
    } else {
      std::printf(" %9s", "-");
    }
    std::printf(" %9.1f %9.2f\n", v.best, v.best / gcry.best);
  }
  if (!have_openssl) std::printf("(OpenSSL DES not available)\n");
  return 0;
}
