#!/usr/bin/env python3
"""Checks a GOST R 34.10-94 signature file with its own arithmetic.

    gost_sign_check.py NUMBERS.PQA PUBLIC.GPK SIGNATURE HASH

HASH is the 32-byte GOST R 34.11-94 hash of the signed data in hexadecimal,
as `rhash --gost94` prints it (or as the payload of a /HASH file): byte 0
first. It is read as one little-endian number H.

The files are read here, independently of the library: a 48-byte header,
then word blocks (a 4-byte little-endian count, then that many 32-bit
little-endian words, least significant first):
    .PQA        p, q, a, then the two 4-byte generation values
    .GPK        y
    signature   64 bytes: r' (bytes 0..31) and s (32..63), each little-endian

Checks: the numbers' relations (p and q probable primes, q | p - 1,
1 < a < p with a^q = 1 mod p, 1 < y < p with y^q = 1 mod p), then the
signature: 0 < r', s < q; h = H mod q (1 when 0); v = h^(q-2) mod q;
z1 = s v mod q; z2 = (q - r') v mod q; u = (a^z1 y^z2 mod p) mod q = r'.

Exit status: 0 valid, 1 not valid, 2 a file or argument that cannot be used
(unreadable, wrong header, wrong sizes, numbers failing their relations).
"""
import sys

HEADER_SIZE = 48
MAGIC = b"TAVOCRYPTDATAFILE"
# Header fields: file kind at 19, algorithm at 21, key kind at 25, header
# size at 28 (16-bit, 16-bit, 16-bit, 32-bit, little-endian).
KIND_KEY, KIND_SIGNATURE = 1, 5
ALGORITHM_GOST = 1
KEY_PUBLIC_HALF, KEY_COMMON_NUMBERS = 3, 4


class Malformed(Exception):
    pass


def le(data, offset, size):
    return int.from_bytes(data[offset:offset + size], "little")


def read_file(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise Malformed(f"{path}: {e.strerror}")


def check_header(path, data, kind, key_kind):
    if len(data) < HEADER_SIZE or data[:17] != MAGIC:
        raise Malformed(f"{path}: not a data file")
    if le(data, 28, 4) != HEADER_SIZE:
        raise Malformed(f"{path}: header size {le(data, 28, 4)}")
    if le(data, 19, 2) != kind or le(data, 21, 2) != ALGORITHM_GOST:
        raise Malformed(f"{path}: kind {le(data, 19, 2)}, algorithm {le(data, 21, 2)}")
    if key_kind is not None and le(data, 25, 2) != key_kind:
        raise Malformed(f"{path}: key kind {le(data, 25, 2)}")


def read_block(path, data, offset):
    """The number of the word block at offset, and the offset after it."""
    if offset + 4 > len(data):
        raise Malformed(f"{path}: no block at {offset}")
    count = le(data, offset, 4)
    end = offset + 4 + 4 * count
    if count == 0 or count > 32 or end > len(data):
        raise Malformed(f"{path}: block of {count} words at {offset}")
    return int.from_bytes(data[offset + 4:end], "little"), end


def probable_prime(n):
    """Miller-Rabin with the first twelve primes as bases."""
    bases = (2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37)
    if n < 2:
        return False
    for b in bases:
        if n % b == 0:
            return n == b
    d, r = n - 1, 0
    while d % 2 == 0:
        d //= 2
        r += 1
    for b in bases:
        x = pow(b, d, n)
        if x in (1, n - 1):
            continue
        for _ in range(r - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def read_numbers(path):
    data = read_file(path)
    check_header(path, data, KIND_KEY, KEY_COMMON_NUMBERS)
    p, at = read_block(path, data, HEADER_SIZE)
    q, at = read_block(path, data, at)
    a, at = read_block(path, data, at)
    if len(data) != at + 8:
        raise Malformed(f"{path}: {len(data) - at} bytes after the numbers, 8 expected")
    if not probable_prime(p) or not probable_prime(q):
        raise Malformed(f"{path}: p or q is not prime")
    if (p - 1) % q != 0:
        raise Malformed(f"{path}: q does not divide p - 1")
    if not 1 < a < p or pow(a, q, p) != 1:
        raise Malformed(f"{path}: a is not of order q")
    return p, q, a


def read_public(path, p, q):
    data = read_file(path)
    check_header(path, data, KIND_KEY, KEY_PUBLIC_HALF)
    y, at = read_block(path, data, HEADER_SIZE)
    if at != len(data):
        raise Malformed(f"{path}: {len(data) - at} bytes after y")
    if not 1 < y < p or pow(y, q, p) != 1:
        raise Malformed(f"{path}: y is not a power of a")
    return y


def read_signature(path):
    data = read_file(path)
    check_header(path, data, KIND_SIGNATURE, None)
    if len(data) != HEADER_SIZE + 64:
        raise Malformed(f"{path}: {len(data) - HEADER_SIZE} bytes of signature, 64 expected")
    return le(data, HEADER_SIZE, 32), le(data, HEADER_SIZE + 32, 32)


def read_hash(text):
    try:
        digest = bytes.fromhex(text)
    except ValueError:
        digest = b""
    if len(digest) != 32:
        raise Malformed(f"hash {text!r}: 64 hexadecimal digits expected")
    return int.from_bytes(digest, "little")


def verify(p, q, a, y, r, s, hash_number):
    if not (0 < r < q and 0 < s < q):
        return False
    h = hash_number % q or 1
    v = pow(h, q - 2, q)
    z1 = s * v % q
    z2 = (q - r) * v % q
    u = pow(a, z1, p) * pow(y, z2, p) % p % q
    return u == r


def main(argv):
    if len(argv) != 5:
        print("usage: " + __doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        p, q, a = read_numbers(argv[1])
        y = read_public(argv[2], p, q)
        r, s = read_signature(argv[3])
        hash_number = read_hash(argv[4])
    except Malformed as e:
        print(f"gost_sign_check: {e}", file=sys.stderr)
        return 2
    if verify(p, q, a, y, r, s, hash_number):
        print("valid")
        return 0
    print("not valid")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
