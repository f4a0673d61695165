#!/usr/bin/env python3
"""Wiener's continued-fraction attack on RSA with a short secret exponent.

Given the modulus N and the public exponent D, the secret exponent E with
E D = 1 + k L (L = phi(N) or lcm(P-1, Q-1)) shows up as the denominator of
a convergent k/E of D/N when E is below about N^(1/4) / 3. Two standard
extensions reach a few bits further (and are what breaks every E of
256..258 bits for a 1024-bit N, just above that bound):
  * the convergents of D / (N - 2 sqrt(N) + 1) as well, a closer
    approximation of phi(N) for primes of equal length;
  * candidates r q[i] + s q[i-1] (numerators alike) for small r, s
    (Verheul and van Tilborg).
A candidate E is kept when k divides E D - 1 and m^(E D) = m (mod N).

  wiener_attack.py rpk FILE.RPK      attack the N and D of a public key file
  wiener_attack.py numbers N D       attack N and D given in hex
  wiener_attack.py weak-pair [BITS]  print "N D E" (hex) of a pair made by
                                     the short-exponent rule: two BITS/2-bit
                                     primes (default BITS 1024), E random odd
                                     of 256..258 bits coprime with phi,
                                     D = E^-1 mod phi

The attacks print "recovered E=<hex>" and exit 0, or print "not recovered"
and exit 1; a file that cannot be read exits 2.
"""
import math
import random
import sys

SPAN = 4  # r in 1..SPAN, s in 0..SPAN
WITNESSES = (2, 3, 0x1234567)


def blocks(data, offset, count):
    """`count` WordBlocks from `offset`: a 4-byte LE count, then LE words."""
    out = []
    for _ in range(count):
        if offset + 4 > len(data):
            raise ValueError("a block past the end")
        words = int.from_bytes(data[offset:offset + 4], "little")
        end = offset + 4 + 4 * words
        if end > len(data):
            raise ValueError("a block of %d words past the end" % words)
        out.append(int.from_bytes(data[offset + 4:end], "little"))
        offset = end
    return out


def read_public_key(path):
    """N and D of a .RPK: the 48-byte header, then N, then D."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 48 or data[:17] != b"TAVOCRYPTDATAFILE":
        raise ValueError("not a data file")
    n, d = blocks(data, 48, 2)
    return n, d


def convergents(a, b):
    """(p[i], q[i], p[i-1], q[i-1]) of the continued fraction of a/b."""
    p0, q0, p1, q1 = 0, 1, 1, 0
    while b:
        t = a // b
        a, b = b, a - t * b
        p0, q0, p1, q1 = p1, q1, t * p1 + p0, t * q1 + q0
        yield p1, q1, p0, q0


def is_secret_exponent(n, d, e):
    return e > 1 and all(pow(pow(m % n, d, n), e, n) == m % n for m in WITNESSES)


def attack(n, d):
    """The secret exponent for (N, D), or None."""
    denominators = [n, n - 2 * math.isqrt(n) + 1]
    for denominator in denominators:
        for k1, e1, k0, e0 in convergents(d, denominator):
            for r in range(1, SPAN + 1):
                for s in range(0, SPAN + 1):
                    k, e = r * k1 + s * k0, r * e1 + s * e0
                    if k == 0 or e <= 1 or (d * e - 1) % k:
                        continue
                    if is_secret_exponent(n, d, e):
                        return e
    return None


# ---- the short-exponent pair -----------------------------------------------------------
SMALL_PRIMES = [p for p in range(3, 2000) if all(p % q for q in range(2, math.isqrt(p) + 1))]


def is_probable_prime(n, rounds=40):
    """Trial division, then Miller-Rabin with random bases."""
    if n < 2:
        return False
    for p in SMALL_PRIMES:
        if n % p == 0:
            return n == p
    d, s = n - 1, 0
    while d % 2 == 0:
        d //= 2
        s += 1
    rng = random.SystemRandom()
    for _ in range(rounds):
        x = pow(rng.randrange(2, n - 1), d, n)
        if x in (1, n - 1):
            continue
        for _ in range(s - 1):
            x = x * x % n
            if x == n - 1:
                break
        else:
            return False
    return True


def random_prime(bits):
    rng = random.SystemRandom()
    while True:
        # The top two bits set, so that two such primes make a full-length N.
        candidate = rng.getrandbits(bits) | (3 << (bits - 2)) | 1
        if is_probable_prime(candidate):
            return candidate


def weak_pair(bits):
    rng = random.SystemRandom()
    p = random_prime(bits // 2)
    q = random_prime(bits // 2)
    while q == p:
        q = random_prime(bits // 2)
    n, phi = p * q, (p - 1) * (q - 1)
    while True:
        length = rng.choice((256, 257, 258))
        e = rng.getrandbits(length) | (1 << (length - 1)) | 1
        if math.gcd(e, phi) == 1:
            return n, pow(e, -1, phi), e


def main(argv):
    if len(argv) >= 2 and argv[1] == "weak-pair":
        n, d, e = weak_pair(int(argv[2]) if len(argv) > 2 else 1024)
        print("%x %x %x" % (n, d, e))
        return 0
    try:
        if len(argv) == 3 and argv[1] == "rpk":
            n, d = read_public_key(argv[2])
        elif len(argv) == 4 and argv[1] == "numbers":
            n, d = int(argv[2], 16), int(argv[3], 16)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except (OSError, ValueError) as error:
        print("wiener_attack: %s" % error, file=sys.stderr)
        return 2
    if n < 4 or not 1 < d < n:
        print("wiener_attack: unusable numbers", file=sys.stderr)
        return 2
    e = attack(n, d)
    if e is None:
        print("not recovered")
        return 1
    print("recovered E=%x" % e)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
