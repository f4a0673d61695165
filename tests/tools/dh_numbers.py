#!/usr/bin/env python3
"""The Diffie-Hellman numbers of the library's files, computed here with
Python's own arithmetic, independently of the library.

  dh_numbers.py key AP DSK DPK          K = Y^X mod P of a clear secret key
                                        and a public key, printed as K mod
                                        2^64 in 8 little-endian bytes (hex):
                                        the DES key the two parties share
  dh_numbers.py agree AP DSK1 DPK1 DSK2 DPK2
                                        exits with 0 when Y = A^X for both
                                        pairs and Y1^X2 = Y2^X1 (mod P)
  dh_numbers.py dhparam AP OUT          A and P as OpenSSL's DH parameters
                                        (DER: SEQUENCE { P, A })

A file's numbers follow its 48-byte header, each a 32-bit count and that
many 32-bit words, little-endian.
"""
import struct
import sys


def numbers(path, count):
    raw = open(path, "rb").read()[48:]
    out = []
    for _ in range(count):
        (n,) = struct.unpack_from("<I", raw)
        out.append(int.from_bytes(raw[4:4 + 4 * n], "little"))
        raw = raw[4 + 4 * n:]
    return out


def der_length(n):
    return bytes([n]) if n < 128 else bytes([0x82, n >> 8, n & 255])


def der_integer(v):
    b = v.to_bytes(v.bit_length() // 8 + 1, "big")
    return b"\x02" + der_length(len(b)) + b


def main(what, ap, *files):
    a, p = numbers(ap, 2)
    if what == "key":
        (x,), (y,) = numbers(files[0], 1), numbers(files[1], 1)
        print((pow(y, x, p) % 2**64).to_bytes(8, "little").hex())
        return 0
    if what == "agree":
        (x1,), (y1,), (x2,), (y2,) = (numbers(f, 1) for f in files)
        ok = pow(a, x1, p) == y1 and pow(a, x2, p) == y2 and pow(y1, x2, p) == pow(y2, x1, p)
        return 0 if ok else 1
    body = der_integer(p) + der_integer(a)
    open(files[0], "wb").write(b"\x30" + der_length(len(body)) + body)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
