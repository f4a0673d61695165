#!/usr/bin/env python3
"""Prints selftest/known_answers.inc: the inputs and expected answers of the
library's power-on self-test, computed by peers that share no code with the
library:
  DES            OpenSSL (enc -des-ecb/-des-cbc and its CFB/OFB modes); the
                 8- to 56-bit CFB and OFB are built here on OpenSSL's block
                 cipher and agree with OpenSSL's own 8- and 64-bit modes
  GOST 28147-89  libgcrypt (ECB, CFB and the imitation insert, through
                 ctypes) with the GOST R 34.11-94 test S-box; the gamma mode
                 is built here on libgcrypt's block cipher
  GOST R 34.11   RFC 5831's examples, confirmed by libgcrypt
  GOST R 34.10   the standard's example numbers p, q, a; the signature by
                 Python's integers
  RSA, numbers   Python's integers and hashlib (SHAKE256)
Usage: self_test_vectors.py > selftest/known_answers.inc
       self_test_vectors.py --check selftest/known_answers.inc
"""
import ctypes
import ctypes.util
import hashlib
import subprocess
import sys

# ---- DES ------------------------------------------------------------------------------------

DES_KEY = bytes.fromhex("0123456789abcdef")
DES_IV = bytes.fromhex("1234567890abcdef")
DES_TEXT = b"Now is the time for all "  # the example of FIPS 81


def openssl_des(mode, data, iv=None, decrypt=False):
    cmd = ["openssl", "enc", "-" + mode, "-nopad", "-K", DES_KEY.hex(), "-provider", "legacy",
           "-provider", "default"]
    if iv is not None:
        cmd += ["-iv", iv.hex()]
    if decrypt:
        cmd.append("-d")
    return subprocess.run(cmd, input=data, capture_output=True, check=True).stdout


def des_block(block):
    return openssl_des("des-ecb", block)


def xor(a, b):
    return bytes(x ^ y for x, y in zip(a, b))


def des_cfb(unit, data, iv):
    """k-bit CFB (k = 8 x unit) as FIPS 81 defines it."""
    register, out = iv, b""
    for i in range(0, len(data), unit):
        piece = data[i:i + unit]
        c = xor(piece, des_block(register)[:len(piece)])
        out += c
        register = (register + c)[len(c):]
    return out


def des_ofb(unit, data, iv):
    register, out = iv, b""
    for i in range(0, len(data), unit):
        piece = data[i:i + unit]
        e = des_block(register)
        out += xor(piece, e[:len(piece)])
        register = (register + e[:unit])[unit:]
    return out


def des_answers():
    answers = [("kDesEcbAnswer", openssl_des("des-ecb", DES_TEXT)),
               ("kDesCbcAnswer", openssl_des("des-cbc", DES_TEXT, DES_IV))]
    # FIPS 81's published ciphertexts of the example.
    assert answers[0][1].hex() == "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53"
    assert answers[1][1].hex() == "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"
    for unit in range(1, 9):
        answers.append(("kDesCfb%d" % (8 * unit), des_cfb(unit, DES_TEXT, DES_IV)))
    for unit in range(1, 9):
        answers.append(("kDesOfb%d" % (8 * unit), des_ofb(unit, DES_TEXT, DES_IV)))
    got = dict(answers)
    assert got["kDesCfb8"] == openssl_des("des-cfb8", DES_TEXT, DES_IV)
    assert got["kDesCfb64"] == openssl_des("des-cfb", DES_TEXT, DES_IV)
    assert got["kDesOfb64"] == openssl_des("des-ofb", DES_TEXT, DES_IV)
    # The keyed hash: CBC-MAC with the vector as the start, padded with 0x80 and zeros.
    padded = DES_TEXT + b"\x80" + b"\0" * (7 - len(DES_TEXT) % 8)
    answers.append(("kDesKeyedHash", openssl_des("des-cbc", padded, DES_IV)[-8:]))
    return answers


# ---- GOST 28147-89 and GOST R 34.11-94 through libgcrypt --------------------------------------

GOST_TEST_SBOX_OID = b"1.2.643.2.2.30.0"
GOST_SBOX = bytes.fromhex("4a92d80e6b1c7f53" "eb4c6dfa23810759" "581da342efc7609b"
                          "7da1089fe46cb253" "6c715fd84a9e03b2" "4ba0721d36859cfe"
                          "db413f590ae7682c" "1fd057a4923e6b8c")
GOST_KEY = b"The known-answer key of GOST 89!"
GOST_SYNCHRO = bytes.fromhex("123456789abcdef0")
GOST_TEXT = b"GOST 28147-89: a known answer (37 B)."
HASH_MESSAGES = (b"This is message, length=32 bytes",
                 b"Suppose the original message has length = 50 bytes")

gcrypt = ctypes.CDLL(ctypes.util.find_library("gcrypt"))
gcrypt.gcry_check_version.restype = ctypes.c_char_p
gcrypt.gcry_check_version(None)


def gcry(code):
    assert code == 0, code


def gost_cipher(mode, data, iv=None, decrypt=False):
    h = ctypes.c_void_p()
    gcry(gcrypt.gcry_cipher_open(ctypes.byref(h), 315, mode, 0))  # GOST28147
    gcry(gcrypt.gcry_cipher_ctl(h, 73, ctypes.c_char_p(GOST_TEST_SBOX_OID), 0))  # SET_SBOX
    gcry(gcrypt.gcry_cipher_setkey(h, GOST_KEY, len(GOST_KEY)))
    if iv is not None:
        gcry(gcrypt.gcry_cipher_setiv(h, iv, len(iv)))
    buf = ctypes.create_string_buffer(bytes(data), len(data))
    fn = gcrypt.gcry_cipher_decrypt if decrypt else gcrypt.gcry_cipher_encrypt
    gcry(fn(h, buf, len(data), None, 0))
    gcrypt.gcry_cipher_close(h)
    return buf.raw


def gost_imit(data):
    h = ctypes.c_void_p()
    gcry(gcrypt.gcry_mac_open(ctypes.byref(h), 1, 0, None))  # GOST28147_IMIT
    gcry(gcrypt.gcry_mac_ctl(h, 73, ctypes.c_char_p(GOST_TEST_SBOX_OID),
                             len(GOST_TEST_SBOX_OID) + 1))
    gcry(gcrypt.gcry_mac_setkey(h, GOST_KEY, len(GOST_KEY)))
    gcry(gcrypt.gcry_mac_write(h, data, len(data)))
    tag = ctypes.create_string_buffer(8)
    length = ctypes.c_size_t(8)
    gcry(gcrypt.gcry_mac_read(h, tag, ctypes.byref(length)))
    gcrypt.gcry_mac_close(h)
    assert length.value == 8
    return tag.raw


def gost_gamma(data):
    """The standard's gamma mode: counters C2 and C1 over E(S)."""
    e = gost_cipher(1, GOST_SYNCHRO)  # ECB
    n3, n4 = int.from_bytes(e[:4], "little"), int.from_bytes(e[4:], "little")
    out = b""
    for i in range(0, len(data), 8):
        n3 = (n3 + 0x01010101) % 2**32
        n4 += 0x01010104
        if n4 >= 2**32:
            n4 -= 2**32 - 1
        gamma = gost_cipher(1, n3.to_bytes(4, "little") + n4.to_bytes(4, "little"))
        out += xor(data[i:i + 8], gamma)
    return out


def gost_hash(message):
    out = ctypes.create_string_buffer(32)
    gcrypt.gcry_md_hash_buffer(308, out, message, len(message))  # GOSTR3411_94
    return out.raw


def gost_answers():
    whole = GOST_TEXT[:32]
    answers = [("kGostSimpleReplacement", gost_cipher(1, whole)),
               ("kGostGamma", gost_gamma(GOST_TEXT)),
               ("kGostFeedbackGamma", gost_cipher(2, GOST_TEXT, GOST_SYNCHRO)),
               ("kGostImitation", gost_imit(GOST_TEXT))]
    hashes = [gost_hash(m) for m in HASH_MESSAGES]
    # RFC 5831 prints H most significant digit first; the result holds it the other way round.
    assert hashes[0][::-1].hex() == \
        "faff37a615a816691cff3ef8b68ca247e09525f39f8119832eb81975d366c4b1"
    assert hashes[1][::-1].hex() == \
        "0852f5623b89dd57aeb4781fe54df14eeafbc1350613763a0d770aa657ba1a47"
    answers += [("kGostHash32", hashes[0]), ("kGostHash50", hashes[1])]
    return answers


# ---- GOST R 34.10-94 ----------------------------------------------------------------------------

# The example numbers of GOST R 34.10-94 (p of 512 bits, q of 256, a of order q).
P = int("EE8172AE8996608FB69359B89EB82A69854510E2977A4D63BC97322CE5DC3386"
        "EA0A12B343E9190F23177539845839786BB0C345D165976EF2195EC9B1C379E3", 16)
Q = int("98915E7EC8265EDFCDA31E88F24809DDB064BDC7285DD50D7289F0AC6F49DD2D", 16)
A = int("9E96031500C8774A869582D4AFDE2127AFAD2538B4B6270A6F7C8837B50D50F2"
        "06755984A49E509304D648BE2AB5AAB18EBE2CD46AC3D8495B142AA6CE23E21C", 16)
X = int("30363145BE72EBE9E4E3C2FE0CC91BAAE60DDD637A617E9E0ED9D7C5D7E92D06", 16) % Q
K = int("90F3A564439242F5186EBB224C8E223811B7105C64E4F5390807E6362DF4C72A", 16) % Q


def sign_answers():
    assert (P - 1) % Q == 0 and pow(A, Q, P) == 1 and A != 1
    y = pow(A, X, P)
    digest = gost_hash(HASH_MESSAGES[0])
    h = int.from_bytes(digest, "little") % Q or 1
    r = pow(A, K, P) % Q
    s = (X * r + K * h) % Q
    assert r and s
    signature = r.to_bytes(32, "little") + s.to_bytes(32, "little")
    return [("kSignHash", digest), ("kSignSignature", signature)], \
           [("kSignP", P), ("kSignQ", Q), ("kSignA", A), ("kSignY", y)]


# ---- RSA and the big numbers ---------------------------------------------------------------------

RSA_P = 93444505976718382497236101500989781210818662347871769295535159410862077441199
RSA_Q = 90895303276484165591568533226900122646814701812122696644046399655765071488887
RSA_E = 65537
RSA_TEXT = b"RSA known answer: seventy bytes of text in two blocks of the cipher..."


def rsa_answers():
    n = RSA_P * RSA_Q
    d = pow(RSA_E, -1, (RSA_P - 1) * (RSA_Q - 1))
    bits = n.bit_length()
    enc, dec = (bits - 1) // 8, (bits + 7) // 8
    assert len(RSA_TEXT) == 70 and enc < 70 <= 2 * enc
    blocks = [RSA_TEXT[i:i + enc].ljust(enc, b"\0") for i in range(0, len(RSA_TEXT), enc)]
    cipher = b"".join(pow(int.from_bytes(b, "big"), RSA_E, n).to_bytes(dec, "big")
                      for b in blocks)
    first = hashlib.shake_256(bytes(128) + b"abc").digest(128)
    second = hashlib.shake_256(first + RSA_TEXT).digest(128)
    return [("kRsaCiphertext", cipher), ("kRsaHashAbc", first), ("kRsaHashChained", second)], \
           [("kRsaN", n), ("kRsaE", RSA_E), ("kRsaD", d)]


def number_answers():
    return [("kNumberPowerQ", pow(A, Q, P)), ("kNumberModQ", A % Q), ("kNumberShift37", P >> 37),
            ("kNumberPowerX", pow(A, X, P))]


# ---- output ------------------------------------------------------------------------------------------

def c_string(name, text):
    return "inline constexpr char %s[] = \"%s\";" % (name, text)


def render():
    lines = ["// The self-test's inputs and known answers, made by",
             "// tests/tools/self_test_vectors.py from OpenSSL, libgcrypt, RFC 5831, the",
             "// GOST R 34.10-94 example numbers and Python's integers, never by this",
             "// library. Byte strings are hexadecimal in memory order; numbers are",
             "// hexadecimal, most significant digit first. Regenerate, do not edit.",
             "",
             c_string("kDesKey", DES_KEY.hex()), c_string("kDesIv", DES_IV.hex()),
             c_string("kDesText", DES_TEXT.hex())]
    lines += [c_string(n, v.hex()) for n, v in des_answers()]
    lines += ["", c_string("kGostSbox", GOST_SBOX.hex()), c_string("kGostKey", GOST_KEY.hex()),
              c_string("kGostSynchro", GOST_SYNCHRO.hex()), c_string("kGostText", GOST_TEXT.hex())]
    lines += [c_string("kGostHashMessage32", HASH_MESSAGES[0].hex()),
              c_string("kGostHashMessage50", HASH_MESSAGES[1].hex())]
    lines += [c_string(n, v.hex()) for n, v in gost_answers()]
    byte_answers, numbers = sign_answers()
    lines += [""] + [c_string(n, v.hex()) for n, v in byte_answers]
    lines += [c_string(n, "%X" % v) for n, v in numbers]
    lines += [c_string("kSignX", "%X" % X)]
    byte_answers, numbers = rsa_answers()
    lines += ["", c_string("kRsaText", RSA_TEXT.hex())]
    lines += [c_string(n, v.hex()) for n, v in byte_answers]
    lines += [c_string(n, "%X" % v) for n, v in numbers]
    lines += [""] + [c_string(n, "%X" % v) for n, v in number_answers()]
    return "\n".join(lines) + "\n"


def main():
    text = render()
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        with open(sys.argv[2], encoding="ascii") as f:
            if f.read() != text:
                sys.exit("%s differs from what the peers compute" % sys.argv[2])
        print("the self-test's answers agree with the peers")
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
