// Key material in key files: enciphered under the master key with the
// vector of its kind, and checked by the integrity value of the plaintext.
// One routine for each side, so that every generator and processor
// protects and opens its keys the same way.
//
// Precondition of every routine: each block given holds the `count` words
// its count says (callers size their buffers and refuse a stored count that
// does not fit, as frame::ReadWordBlock does). Nothing here reads,
// enciphers or checks beyond those words, even where a kind's coverage
// (8 bytes of a DES key, 32 of a GOST key) would reach further.
#pragma once
#include <cstdint>

#include "frame/data_file.h"
#include "platform/carrier_ui.h"
#include "zq/zq.h"

namespace nc::protect {

enum class KeyMaterialKind {
  Des,             // a DES key: 8 bytes
  Gost,            // a GOST key: integrity over the first 32 bytes
  GostSignSecret,  // a GOST signature secret key
  DhSecret,        // a Diffie-Hellman secret session key
  RsaSecret,       // an RSA secret key: two numbers, only the second enciphered
};

// The 8-byte vector of the kind ("PWTQNV", "HJKLRW", "BVCXTE", "YQUOL",
// "MXRQTB", zero-padded).
const std::uint8_t* KeyMaterialIv(KeyMaterialKind kind);

// The integrity value of plaintext material, from 0, with the coverage of
// its kind (`second` only for RSA).
std::uint32_t KeyMaterialIntegrity(KeyMaterialKind kind, const WordBlock* first,
                                   const WordBlock* second);

// DES-CBC over the enciphered part of the material in place, under the
// expanded master key, with the kind's vector; direction 1 enciphers, 2
// deciphers.
void CipherKeyMaterial(KeyMaterialKind kind, DesKeyContext& masterKey, WordBlock* first,
                       WordBlock* second, std::uint32_t direction);

// Obtains and expands the master key for `code` (AcquireMasterKey then
// DESEdk) into `masterKey`; false with the last error 1326 when the factors
// were not obtained. The caller wipes `masterKey`.
[[nodiscard]] bool ObtainMasterKey(platform::WindowHandle parent, std::uint32_t code, bool quiet,
                                   const std::uint8_t challenge[4], DesKeyContext& masterKey);

// Obtains the master key for a header's protection code, its challenge the
// header's bytes 44..47 as stored; false with the last error 1326 as above.
[[nodiscard]] bool ObtainMasterKeyFor(platform::WindowHandle parent,
                                      const frame::DataFileHeader& header, bool quiet,
                                      DesKeyContext& masterKey);

// Generation side, before the material is made: a random tokenChallenge in
// `header` (drawn for every key, so that protection can be added to the
// file later), then for a protected header the master key. False when the
// factors were not obtained (the generator reports 25); the master key
// comes first so that a refused carrier costs no generation.
[[nodiscard]] bool StartKeyMaterial(platform::WindowHandle parent, bool quiet,
                                    frame::DataFileHeader& header, DesKeyContext& masterKey);

// StartKeyMaterial for the secret half of a key pair: `header` becomes a
// new secret-half key header of `algorithm` carrying `protection`.
[[nodiscard]] bool StartSecretHalf(platform::WindowHandle parent, bool quiet,
                                   std::uint16_t algorithm, std::uint32_t protection,
                                   frame::DataFileHeader& header, DesKeyContext& masterKey);

// Generation side, after the material is made: the header's integrity value
// over the plaintext, then (code not 0) the material enciphered under the
// already expanded `masterKey`.
void ProtectKeyMaterial(KeyMaterialKind kind, frame::DataFileHeader& header,
                        DesKeyContext& masterKey, WordBlock* first, WordBlock* second);

// Opening side, after the blocks are read: for a protected header obtains
// the master key (its challenge is the header's tokenChallenge), deciphers
// in place and checks the integrity value (also for unprotected files).
// False with the last error 1326 (factors not obtained) or 1392 (integrity
// mismatch, which is also what a wrong factor looks like). Wipes the
// master key it used.
[[nodiscard]] bool OpenKeyMaterial(platform::WindowHandle parent,
                                   const frame::DataFileHeader& header, bool quiet,
                                   KeyMaterialKind kind, WordBlock* first, WordBlock* second);

}  // namespace nc::protect
