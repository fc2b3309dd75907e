#!/usr/bin/env python3
"""Writes the constant curve tables of the GOST R 34.10 parameter sets
(externals/vkc2012/src/ec256_tables.cpp and ec512_tables.cpp), including the
fixed-base tables PP[i] = 16^i * bp, and the comb tables of the fast signing
and verification code for the curves whose prime folds
(externals/vkc2012/src/ec_comb_tables.cpp), so nothing is computed at load
time.

Run from the repository root: python3 tools/gen_ec_tables.py
"""

import os

C256 = {
    "test": dict(
        p=0x8000000000000000000000000000000000000000000000000000000000000431,
        a=0x7,
        b=0x5fbff498aa938ce739b8e022fbafef40563f6e6a3472fc2a514c0ce9dae23b7e,
        q=0x8000000000000000000000000000000150fe8a1892976154c59cfc193accf5b3,
        m=0x8000000000000000000000000000000150fe8a1892976154c59cfc193accf5b3,
        x=0x2,
        y=0x08e2a8a0e65147d4bd6316030e16d19c85c97f0a9ca267122b96abbcea7e8fc8),
    "cpa": dict(
        p=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffd97,
        a=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffd94,
        b=0xa6,
        q=0xffffffffffffffffffffffffffffffff6c611070995ad10045841b09b761b893,
        m=0xffffffffffffffffffffffffffffffff6c611070995ad10045841b09b761b893,
        x=0x1,
        y=0x8d91e471e0989cda27df505a453f2b7635294f2ddf23e3b122acc99c9e9f1e14),
    "cpb": dict(
        p=0x8000000000000000000000000000000000000000000000000000000000000c99,
        a=0x8000000000000000000000000000000000000000000000000000000000000c96,
        b=0x3e1af419a269a5f866a7d3c25c3df80ae979259373ff2b182f49d4ce7e1bbc8b,
        q=0x800000000000000000000000000000015f700cfff1a624e5e497161bcc8a198f,
        m=0x800000000000000000000000000000015f700cfff1a624e5e497161bcc8a198f,
        x=0x1,
        y=0x3fa8124359f96680b83d1c3eb2c070e5c545c9858d03ecfb744bf8d717717efc),
    "cpc": dict(
        p=0x9b9f605f5a858107ab1ec85e6b41c8aacf846e86789051d37998f7b9022d759b,
        a=0x9b9f605f5a858107ab1ec85e6b41c8aacf846e86789051d37998f7b9022d7598,
        b=0x805a,
        q=0x9b9f605f5a858107ab1ec85e6b41c8aa582ca3511eddfb74f02f3a6598980bb9,
        m=0x9b9f605f5a858107ab1ec85e6b41c8aa582ca3511eddfb74f02f3a6598980bb9,
        x=0x0,
        y=0x41ece55743711a8c3cbf3783cd08c0ee4d4dc440d4641a8f366e550dfdb3bb67),
    "tc26a": dict(
        p=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffd97,
        a=0xc2173f1513981673af4892c23035a27ce25e2013bf95aa33b22c656f277e7335,
        b=0x295f9bae7428ed9ccc20e7c359a9d41a22fccd9108e17bf7ba9337a6f8ae9513,
        q=0x400000000000000000000000000000000fd8cddfc87b6635c115af556c360c67,
        m=0x01000000000000000000000000000000003f63377f21ed98d70456bd55b0d8319c,
        x=0x91e38443a5e82c0d880923425712b2bb658b9196932e02c78b2582fe742daa28,
        y=0x32879423ab1a0375895786c4bb46e9565fde0b5344766740af268adb32322e5c),
}

C512 = {
    "test": dict(
        p=0x4531acd1fe0023c7550d267b6b2fee80922b14b2ffb90f04d4eb7c09b5d2d15df1d852741af4704a0458047e80e4546d35b8336fac224dd81664bbf528be6373,
        a=0x7,
        b=0x1cff0806a31116da29d8cfa54e57eb748bc5f377e49400fdd788b649eca1ac4361834013b2ad7322480a89ca58e0cf74bc9e540c2add6897fad0a3084f302adc,
        q=0x4531acd1fe0023c7550d267b6b2fee80922b14b2ffb90f04d4eb7c09b5d2d15da82f2d7ecb1dbac719905c5eecc423f1d86e25edbe23c595d644aaf187e6e6df,
        m=0x4531acd1fe0023c7550d267b6b2fee80922b14b2ffb90f04d4eb7c09b5d2d15da82f2d7ecb1dbac719905c5eecc423f1d86e25edbe23c595d644aaf187e6e6df,
        x=0x24d19cc64572ee30f396bf6ebbfd7a6c5213b3b3d7057cc825f91093a68cd762fd60611262cd838dc6b60aa7eee804e28bc849977fac33b4b530f1b120248a9a,
        y=0x2bb312a43bd2ce6e0d020613c857acddcfbf061e91e5f2c3f32447c259f39b2c83ab156d77f1496bf7eb3351e1ee4e43dc1a18b91b24640b6dbb92cb1add371e),
    "a": dict(
        p=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffdc7,
        a=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffdc4,
        b=0xe8c2505dedfc86ddc1bd0b2b6667f1da34b82574761cb0e879bd081cfd0b6265ee3cb090f30d27614cb4574010da90dd862ef9d4ebee4761503190785a71c760,
        q=0xffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff27e69532f48d89116ff22b8d4e0560609b4b38abfad2b85dcacdb1411f10b275,
        m=0xffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff27e69532f48d89116ff22b8d4e0560609b4b38abfad2b85dcacdb1411f10b275,
        x=0x3,
        y=0x7503cfe87a836ae3a61b8816e25450e6ce5e1c93acf1abc1778064fdcbefa921df1626be4fd036e93d75e6a50e3a41e98028fe5fc235f5b889a589cb5215f2a4),
    "b": dict(
        p=0x8000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000006f,
        a=0x8000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000006c,
        b=0x687d1b459dc841457e3e06cf6f5e2517b97c7d614af138bcbf85dc806c4b289f3e965d2db1416d217f8b276fad1ab69c50f78bee1fa3106efb8ccbc7c5140116,
        q=0x800000000000000000000000000000000000000000000000000000000000000149a1ec142565a545acfdb77bd9d40cfa8b996712101bea0ec6346c54374f25bd,
        m=0x800000000000000000000000000000000000000000000000000000000000000149a1ec142565a545acfdb77bd9d40cfa8b996712101bea0ec6346c54374f25bd,
        x=0x2,
        y=0x1a8f7eda389b094c2c071e3647a8940f3c123b697578c213be6dd9e6c8ec7335dcb228fd1edf4a39152cbcaaf8c0398828041055f94ceeec7e21340780fe41bd),
    "c": dict(
        p=0xfffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffdc7,
        a=0xdc9203e514a721875485a529d2c722fb187bc8980eb866644de41c68e143064546e861c0e2c9edd92ade71f46fcf50ff2ad97f951fda9f2a2eb6546f39689bd3,
        b=0xb4c4ee28cebc6c2c8ac12952cf37f16ac7efb6a9f69f4b57ffda2e4f0de5ade038cbc2fff719d2c18de0284b8bfef3b52b8cc7a5f5bf0a3c8d2319a5312557e1,
        q=0x3fffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffc98cdba46506ab004c33a9ff5147502cc8eda9e7a769a12694623cef47f023ed,
        m=0xffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff26336e91941aac0130cea7fd451d40b323b6a79e9da6849a5188f3bd1fc08fb4,
        x=0xe2e31edfc23de7bdebe241ce593ef5de2295b7a9cbaef021d385f7074cea043aa27272a7ae602bf2a7b9033db9ed3610c6fb85487eae97aac5bc7928c1950148,
        y=0xf5ce40d95b5eb899abbccff5911cb8577939804d6527378b8c108c3d2090ff9be18e2d33e3021ed2ef32d85822423b6304f726aa854bae07d0396e9a9addc40f),
}


def tc26_256(n):
    return ("1.2.643.7.1.2.1.1.%d" % n, [0x06, 0x09, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x02, 0x01, 0x01, n])


def cp(arc, n):
    return ("1.2.643.2.2.%d.%d" % (arc, n), [0x06, 0x07, 0x2A, 0x85, 0x03, 0x02, 0x02, arc, n])


ROWS256 = [
    ("test", tc26_256(0), "id-tc26-gost-3410-2012-256-paramSetTest", cp(35, 0), "id-GostR3410-2001-TestParamSet"),
    ("cpa", tc26_256(2), "id-tc26-gost-3410-2012-256-paramSetB", cp(35, 1), "id-GostR3410-2001-CryptoPro-A-ParamSet"),
    ("cpb", tc26_256(3), "id-tc26-gost-3410-2012-256-paramSetC", cp(35, 2), "id-GostR3410-2001-CryptoPro-B-ParamSet"),
    ("cpc", tc26_256(4), "id-tc26-gost-3410-2012-256-paramSetD", cp(35, 3), "id-GostR3410-2001-CryptoPro-C-ParamSet"),
    ("cpa", tc26_256(2), "id-tc26-gost-3410-2012-256-paramSetB", cp(36, 0), "id-GostR3410-2001-CryptoPro-XchA-ParamSet"),
    ("cpc", tc26_256(4), "id-tc26-gost-3410-2012-256-paramSetD", cp(36, 1), "id-GostR3410-2001-CryptoPro-XchB-ParamSet"),
    ("tc26a", tc26_256(1), "id-tc26-gost-3410-2012-256-paramSetA", tc26_256(1), "id-tc26-gost-3410-2012-256-paramSetA"),
]

ROWS512 = [
    ("test", 0, "id-tc26-gost-3410-2012-512-paramSetTest"),
    ("a", 1, "id-tc26-gost-3410-2012-512-paramSetA"),
    ("b", 2, "id-tc26-gost-3410-2012-512-paramSetB"),
    ("c", 3, "id-tc26-gost-3410-2012-512-paramSetC"),
]


def add(P, Q, c):
    p, a = c["p"], c["a"]
    if P is None:
        return Q
    if Q is None:
        return P
    x1, y1 = P
    x2, y2 = Q
    if x1 == x2:
        if (y1 + y2) % p == 0:
            return None
        l = (3 * x1 * x1 + a) * pow(2 * y1, -1, p) % p
    else:
        l = (y2 - y1) * pow(x2 - x1, -1, p) % p
    x3 = (l * l - x1 - x2) % p
    return (x3, (l * (x1 - x3) - y1) % p)


def mul(k, P, c):
    R = None
    while k:
        if k & 1:
            R = add(R, P, c)
        P = add(P, P, c)
        k >>= 1
    return R


def digits(v, nd):
    return ", ".join("0x%08xu" % ((v >> (32 * i)) & 0xFFFFFFFF) for i in range(nd))


def num(v, nd):
    return "{%s}" % digits(v, nd)


def point(P, nd):
    return "{%s, %s}" % (num(P[0], nd), num(P[1], nd))


def pp_table(c, count, nd):
    out = []
    P = (c["x"], c["y"])
    for _ in range(count):
        out.append("     " + point(P, nd))
        P = mul(16, P, c)
    return ",\n".join(out)


def bytes_c(b):
    return "{" + ", ".join("0x%02X" % x for x in b) + "}"


HEAD = "// Generated by tools/gen_ec_tables.py; do not edit.\n"


def gen256():
    nd = 9
    s = [HEAD, '#include "ec256.h"\n\nnamespace {\n']
    for i, row in enumerate(ROWS256):
        s.append("const unsigned char kOid%d[] = %s;\n" % (i, bytes_c(row[1][1])))
        s.append("const unsigned char kCpOid%d[] = %s;\n" % (i, bytes_c(row[3][1])))
    s.append("}  // namespace\n\nextern \"C\" {\n\nconst GOSTR3410_2012_256_PAR tc26_ecc_par[GOST256_PAR_COUNT] = {\n")
    for i, row in enumerate(ROWS256):
        c = C256[row[0]]
        s.append("    {{%s, %s, %s},\n" % (num(c["a"], nd), num(c["b"], nd), num(c["p"], nd)))
        s.append("     %s,\n     %s,\n" % (num(c["m"], nd), num(c["q"], nd)))
        s.append("     %s,\n" % point((c["x"], c["y"]), nd))
        s.append('     %d, kOid%d, "%s", "%s",\n' % (len(row[1][1]), i, row[1][0], row[2]))
        s.append('     %d, kCpOid%d, "%s", "%s",\n' % (len(row[3][1]), i, row[3][0], row[4]))
        s.append("     0,\n     {\n%s}},\n" % pp_table(c, 72, nd))
    s.append("};\n\nconst GOSTR3410_2012_256_PAR* const default_tc26_ecc_par = &tc26_ecc_par[1];\n\n}  // extern \"C\"\n")
    return "".join(s)


def gen512():
    nd = 17
    s = [HEAD, '#include "ec512.h"\n\nnamespace {\n']
    for i, row in enumerate(ROWS512):
        b = [0x06, 0x09, 0x2A, 0x85, 0x03, 0x07, 0x01, 0x02, 0x01, 0x02, row[1]]
        s.append("const unsigned char kOid%d[] = %s;\n" % (i, bytes_c(b)))
    s.append("}  // namespace\n\nextern \"C\" {\n\nconst GOSTR3410_2012_512_PAR tc26_decc_par[GOST512_PAR_COUNT] = {\n")
    for i, row in enumerate(ROWS512):
        c = C512[row[0]]
        s.append("    {{%s, %s, %s},\n" % (num(c["a"], nd), num(c["b"], nd), num(c["p"], nd)))
        s.append("     %s,\n     %s,\n" % (num(c["m"], nd), num(c["q"], nd)))
        s.append("     %s,\n" % point((c["x"], c["y"]), nd))
        s.append('     11, kOid%d, "1.2.643.7.1.2.1.2.%d", "%s",\n' % (i, row[1], row[2]))
        s.append("     0,\n     {\n%s}},\n" % pp_table(c, 136, nd))
    s.append("};\n\nconst GOSTR3410_2012_512_PAR* const default_tc26_decc_par = &tc26_decc_par[1];\n\n}  // extern \"C\"\n")
    return "".join(s)


# Comb layout (must match ec_comb.h and ctx_init in ec_fast.h): signed
# windows of COMB_W bits; row t holds j * 2^(COMB_W passes t) * G for
# j = 1 .. 2^(COMB_W - 1), affine, as little-endian 64-bit words.
COMB_W = 6
# (words, curves, [(name, passes)]): fewer passes, more rows, fewer doublings.
COMB_CURVES = [(4, C256, [("cpa", 4), ("tc26a", 4)]), (8, C512, [("a", 4), ("c", 8)])]


def words(v, nl):
    return "{%s}" % ", ".join("0x%x" % ((v >> (64 * i)) & (2**64 - 1)) for i in range(nl))


def comb_rows(c, passes):
    nwin = (c["q"].bit_length() + 1 + COMB_W - 1) // COMB_W
    return (nwin + passes - 1) // passes


def comb_points(c, passes):
    rows = comb_rows(c, passes)
    base = (c["x"], c["y"])
    out = []
    for _ in range(rows):
        P = base
        for _ in range(1 << (COMB_W - 1)):
            out.append(P)
            P = add(P, base, c)
        base = mul(1 << (COMB_W * passes), base, c)
    return out


def gen_comb():
    s = [HEAD, '#include "ec_comb.h"\n\nnamespace vkc_ec {\n\nnamespace {\n']
    decls = {4: [], 8: []}
    for nl, curves, names in COMB_CURVES:
        for name, passes in names:
            c = curves[name]
            assert c["p"] >> (64 * nl - 32) == (1 << 32) - 1, "only folding primes"
            rows = comb_rows(c, passes)
            ident = "kPts%d_%s" % (64 * nl, name)
            s.append("\nconst Aff<%d> %s[] = {\n" % (nl, ident))
            for P in comb_points(c, passes):
                s.append("    {%s,\n     %s},\n" % (words(P[0], nl), words(P[1], nl)))
            s.append("};\n")
            decls[nl].append("    {%s,\n     %s,\n     %s,\n     %s,\n     %s,\n     %d, %d, %s},\n" % (
                words(c["p"], nl), words(c["a"], nl), words(c["b"], nl), words(c["x"], nl),
                words(c["y"], nl), passes, rows, ident))
    s.append("\n}  // namespace\n")
    for nl, name in ((4, "kComb256"), (8, "kComb512")):
        s.append("\nconst CombTable<%d> %s[] = {\n%s};\n" % (nl, name, "".join(decls[nl])))
        s.append("const size_t %sCount = sizeof %s / sizeof %s[0];\n" % (name, name, name))
    s.append("\n}  // namespace vkc_ec\n")
    return "".join(s)


if __name__ == "__main__":
    base = os.path.join("externals", "vkc2012", "src")
    with open(os.path.join(base, "ec256_tables.cpp"), "w") as f:
        f.write(gen256())
    with open(os.path.join(base, "ec512_tables.cpp"), "w") as f:
        f.write(gen512())
    with open(os.path.join(base, "ec_comb_tables.cpp"), "w") as f:
        f.write(gen_comb())
