// Reading a file of GOST signature common numbers (.PQA): p, q and a as
// three word blocks, the two generation values after them, and the
// integrity value over all five, checked; then the numbers themselves,
// which must be what the signatures need. Used by every operation that
// takes a .PQA file (key pairs, signing and checking).
#pragma once
#include <cstdint>

#include "platform/files.h"
#include "zq/zq.h"

namespace nc::gost {

// How a block larger than its room is reported: as a read failure (02) or
// as an unknown error (32); the operations differ.
enum class OverCapacity { ReadFault, UnknownError };

// frame::ReadWordBlock with a block too large reported as `over` says (30
// for ReadFault, 1784 otherwise). The GOST readers all read through it.
[[nodiscard]] bool ReadGostBlock(platform::FileHandle file, WordBlock* block, std::size_t capacity,
                                 OverCapacity over);

// The numbers read, in blocks of the primitives' records.
struct PqaNumbers {
  GOSNumber32* p;
  GOSNumber8* q;
  GOSNumber32* a;
};

// Reads `path` into `numbers`. False with the last error set, for the
// operation to report with the file's name: 30 (missing, short, a block
// too large when `over` says ReadFault), 1784 (too large otherwise), 13
// (another kind of file, or numbers no signature can use), 1305 (another
// version), 1392 (the integrity value does not match).
[[nodiscard]] bool ReadPqaFile(const char* path, OverCapacity over, const PqaNumbers& numbers);

// Whether p, q, a are usable common numbers: none of them empty, p above
// 3, q above 1 and dividing p - 1, 1 < a < p and a^q = 1 (mod p). Numbers
// that pass the integrity check but not this (all-zero blocks, a = 1, a
// file edited with its check value recomputed) would make keys that sign
// nothing or that anyone can forge.
[[nodiscard]] bool UsableCommonNumbers(const WordBlock* p, const WordBlock* q, const WordBlock* a);

// Whether y is a public key of the common numbers p, q: 1 < y < p and
// y^q = 1 (mod p), as every a^x is.
[[nodiscard]] bool IsKeyOfCommonNumbers(const WordBlock* y, const WordBlock* p, const WordBlock* q);

}  // namespace nc::gost
