#!/usr/bin/env python3
"""Writes externals/vkc2012/src/ec_fold_asm.h: multiplication, squaring,
addition and subtraction modulo m = 2^(64 NL) - c (c below 2^32) for
NL = 4 and 8 as x86-64 inline assembly with plain mul/add/adc (no
instruction-set extensions), constant time (no branches; the final
subtraction by a carry mask).

Run from the repository root: python3 tools/gen_ec_fold_asm.py
"""

import os

ACC = ["%[c0]", "%[c1]", "%[c2]"]


def muladd(ai, bj, k):
    r0, r1, r2 = ACC[k % 3], ACC[(k + 1) % 3], ACC[(k + 2) % 3]
    return [
        "movq %d(%%[a]), %%%%rax" % (8 * ai),
        "mulq %d(%%[b])" % (8 * bj),
        "addq %%%%rax, %s" % r0,
        "adcq %%%%rdx, %s" % r1,
        "adcq $0, %s" % r2,
    ]


def sqradd(ai, aj, k, double):
    r0, r1, r2 = ACC[k % 3], ACC[(k + 1) % 3], ACC[(k + 2) % 3]
    out = ["movq %d(%%[a]), %%%%rax" % (8 * ai), "mulq %d(%%[a])" % (8 * aj)]
    reps = 2 if double else 1
    for _ in range(reps):
        out += ["addq %%%%rax, %s" % r0, "adcq %%%%rdx, %s" % r1, "adcq $0, %s" % r2]
    return out


def product(nl, square):
    """Column-wise product into w[0 .. 2 nl - 1]."""
    out = ["xorl %k[c0], %k[c0]", "xorl %k[c1], %k[c1]", "xorl %k[c2], %k[c2]"]
    for k in range(2 * nl - 1):
        lo = max(0, k - nl + 1)
        hi = min(k, nl - 1)
        if square:
            for i in range(lo, hi + 1):
                j = k - i
                if i < j:
                    out += sqradd(i, j, k, True)
                elif i == j:
                    out += sqradd(i, j, k, False)
        else:
            for i in range(lo, hi + 1):
                out += muladd(i, k - i, k)
        out.append("movq %s, %d(%%[w])" % (ACC[k % 3], 8 * k))
        out.append("xorl %s, %s" % (ACC[k % 3].replace("%[", "%k["), ACC[k % 3].replace("%[", "%k[")))
    out.append("movq %s, %d(%%[w])" % (ACC[(2 * nl - 1) % 3], 8 * (2 * nl - 1)))
    return out


def reduce(nl):
    """r = w mod (2^(64 nl) - c), w below m^2, through w as scratch."""
    out = ["xorl %k[c0], %k[c0]"]  # carry word
    for i in range(nl):
        out += [
            "movq %d(%%[w]), %%%%rax" % (8 * (nl + i)),
            "mulq %[c]",
            "addq %d(%%[w]), %%%%rax" % (8 * i),
            "adcq $0, %%rdx",
            "addq %[c0], %%rax",
            "adcq $0, %%rdx",
            "movq %%%%rax, %d(%%[w])" % (8 * i),
            "movq %%rdx, %[c0]",
        ]
    # fold the top word: v += c0 * c (below 2^64); on a wrap add c once more
    out += ["movq %[c0], %%rax", "imulq %[c], %%rax", "addq %%rax, 0(%[w])"]
    for i in range(1, nl):
        out.append("adcq $0, %d(%%[w])" % (8 * i))
    out += ["sbbq %%rax, %%rax", "andq %[c], %%rax", "addq %%rax, 0(%[w])"]
    # v >= m exactly when v + c carries; then add c (mod 2^(64 nl))
    out += ["movq 0(%[w]), %%rax", "addq %[c], %%rax"]
    for i in range(1, nl):
        out += ["movq %d(%%[w]), %%%%rax" % (8 * i), "adcq $0, %%rax"]
    out += ["sbbq %%rdx, %%rdx", "andq %[c], %%rdx", "movq 0(%[w]), %%rax", "addq %%rdx, %%rax",
            "movq %%rax, 0(%[r])"]
    for i in range(1, nl):
        out += ["movq %d(%%[w]), %%%%rax" % (8 * i), "adcq $0, %%rax", "movq %%%%rax, %d(%%[r])" % (8 * i)]
    return out


def addsub(nl, sub):
    """r = a + b or a - b modulo 2^(64 nl) - c, for a, b below the modulus."""
    op0, op = ("subq", "sbbq") if sub else ("addq", "adcq")
    out = []
    for i in range(nl):
        out += ["movq %d(%%[a]), %%%%rax" % (8 * i),
                "%s %d(%%[b]), %%%%rax" % (op0 if i == 0 else op, 8 * i),
                "movq %%%%rax, %d(%%[w])" % (8 * i)]
    out += ["sbbq %[c0], %[c0]"]
    if sub:
        # a borrow is mended by subtracting c (adding m, dropping 2^(64 nl))
        out += ["andq %[c], %[c0]"]
        fix0, fix = "subq", "sbbq"
    else:
        # the sum is at least m when it carried or when adding c carries
        out += ["movq 0(%[w]), %%rax", "addq %[c], %%rax"]
        for i in range(1, nl):
            out += ["movq %d(%%[w]), %%%%rax" % (8 * i), "adcq $0, %%rax"]
        out += ["sbbq %[c1], %[c1]", "orq %[c1], %[c0]", "andq %[c], %[c0]"]
        fix0, fix = "addq", "adcq"
    out += ["movq 0(%[w]), %%rax", "%s %%[c0], %%%%rax" % fix0, "movq %%rax, 0(%[r])"]
    for i in range(1, nl):
        out += ["movq %d(%%[w]), %%%%rax" % (8 * i), "%s $0, %%%%rax" % fix,
                "movq %%%%rax, %d(%%[r])" % (8 * i)]
    return out


def emit_addsub(name, nl, sub):
    body = "\n".join('      "%s\\n\\t"' % l for l in addsub(nl, sub))
    return """
inline __attribute__((always_inline)) void %s(u64 r[%d], const u64 a[%d], const u64 b[%d], u64 c) {
  u64 w[%d];
  u64 c0, c1;
  __asm__(
%s
      : [c0] "=&r"(c0), [c1] "=&r"(c1), "=m"(*reinterpret_cast<u64(*)[%d]>(r)), "=m"(w)
      : [a] "r"(a), [b] "r"(b), [r] "r"(r), [w] "r"(w), [c] "r"(c),
        "m"(*reinterpret_cast<const u64(*)[%d]>(a)), "m"(*reinterpret_cast<const u64(*)[%d]>(b))
      : "rax", "cc");
}
""" % (name, nl, nl, nl, nl, body, nl, nl, nl)


def emit(name, nl, square):
    lines = product(nl, square) + reduce(nl)
    body = "\n".join('      "%s\\n\\t"' % l for l in lines)
    args = "u64 r[%d], const u64 a[%d]" % (nl, nl) + ("" if square else ", const u64 b[%d]" % nl)
    ins = ['[a] "r"(a)']
    mems = ['"m"(*reinterpret_cast<const u64(*)[%d]>(a))' % nl]
    if not square:
        ins.append('[b] "r"(b)')
        mems.append('"m"(*reinterpret_cast<const u64(*)[%d]>(b))' % nl)
    ins += ['[r] "r"(r)', '[w] "r"(w)', '[c] "r"(c)']
    return """
inline __attribute__((always_inline)) void %s(%s, u64 c) {
  u64 w[%d];
  u64 c0, c1, c2;
  __asm__(
%s
      : [c0] "=&r"(c0), [c1] "=&r"(c1), [c2] "=&r"(c2), "=m"(*reinterpret_cast<u64(*)[%d]>(r)),
        "=m"(w)
      : %s,
        %s
      : "rax", "rdx", "cc");
}
""" % (name, args, 2 * nl, body, nl, ", ".join(ins), ", ".join(mems))


HEAD = """// Generated by tools/gen_ec_fold_asm.py; do not edit.
// Products modulo m = 2^(64 NL) - c (c below 2^32) in x86-64 assembly:
// column-wise product, two folds by c, final subtraction by carry mask.
// Constant time: no branches, no secret-dependent addresses.
#ifndef VKC_EC_FOLD_ASM_H
#define VKC_EC_FOLD_ASM_H

#include <stdint.h>

namespace vkc_ec::fold_asm {

using u64 = uint64_t;
"""

if __name__ == "__main__":
    s = [HEAD]
    for nl in (4, 8):
        s.append(emit("mul%d" % nl, nl, False))
        s.append(emit("sqr%d" % nl, nl, True))
        s.append(emit_addsub("add%d" % nl, nl, False))
        s.append(emit_addsub("sub%d" % nl, nl, True))
    s.append("\n}  // namespace vkc_ec::fold_asm\n\n#endif\n")
    with open(os.path.join("externals", "vkc2012", "src", "ec_fold_asm.h"), "w") as f:
        f.write("".join(s))
