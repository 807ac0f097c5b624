#!/usr/bin/env python3
"""Checks that an executable holds no instruction beyond the x86-64 baseline (SSE2) outside the
functions picked at run time for wider processors (those in the isa_v3 namespace).

    scripts/check_baseline.py build/orbaplayer

It disassembles the file with objdump and looks at every instruction: a register of the wide
vector sets (ymm, zmm, mask k0-k7), an instruction in the VEX or EVEX encoding (the mnemonics
that begin with "v"), or a mnemonic of a later set (SSE3, SSSE3, SSE4.1/4.2, POPCNT, LZCNT, BMI1/2,
MOVBE, ADX, AES, CLMUL, SHA, RDRAND) counts against the function it sits in. Exit status 1 lists
the functions and their first offending instruction."""
import re
import subprocess
import sys

LATER = set("""
addsubpd addsubps haddpd haddps hsubpd hsubps lddqu movddup movshdup movsldup fisttp monitor mwait
pabsb pabsw pabsd palignr phaddw phaddd phaddsw phsubw phsubd phsubsw pmaddubsw pmulhrsw pshufb
psignb psignw psignd
blendpd blendps blendvpd blendvps dppd dpps extractps insertps movntdqa mpsadbw packusdw pblendvb
pblendw pcmpeqq pextrb pextrd pextrq phminposuw pinsrb pinsrd pinsrq pmaxsb pmaxsd pmaxud pmaxuw
pminsb pminsd pminud pminuw pmovsxbw pmovsxbd pmovsxbq pmovsxwd pmovsxwq pmovsxdq pmovzxbw pmovzxbd
pmovzxbq pmovzxwd pmovzxwq pmovzxdq pmuldq pmulld ptest roundpd roundps roundsd roundss
pcmpestri pcmpestrm pcmpistri pcmpistrm pcmpgtq crc32 popcnt lzcnt
andn bextr blsi blsmsk blsr bzhi mulx pdep pext rorx sarx shlx shrx movbe adcx adox
aesenc aesenclast aesdec aesdeclast aesimc aeskeygenassist pclmulqdq sha1rnds4 sha1nexte sha1msg1
sha1msg2 sha256rnds2 sha256msg1 sha256msg2 rdrand rdseed
""".split())
# tzcnt is not listed: compilers write "rep bsf" for a count of trailing zeros whose input is
# known not to be zero, which disassembles as tzcnt and runs as bsf on older processors.
# Legacy instructions that begin with "v" but need no VEX encoding.
LEGACY_V = {"verr", "verw"}
WIDE_REG = re.compile(r"%(ymm|zmm)\d+|%k[0-7]\b")
ALLOWED = "::isa_v3::"


def main(path):
    out = subprocess.run(["objdump", "-d", "-C", "--no-show-raw-insn", path], check=True, capture_output=True,
                         text=True).stdout
    function, bad, checked = "?", {}, 0
    for line in out.splitlines():
        head = re.match(r"^[0-9a-f]+ <(.*)>:$", line)
        if head:
            function = head.group(1)
            continue
        insn = re.match(r"^\s+[0-9a-f]+:\s+(\S+)\s*(.*)$", line)
        if not insn or ALLOWED in function:
            continue
        checked += 1
        mnemonic, operands = insn.group(1), insn.group(2)
        base = mnemonic.split(".")[0]
        if (base in LATER or (base.startswith("v") and base not in LEGACY_V) or WIDE_REG.search(operands)):
            bad.setdefault(function, line.strip())
    for function, line in sorted(bad.items()):
        print(f"{function}: {line}")
    print(f"{path}: {checked} instructions checked, {len(bad)} functions beyond the x86-64 baseline")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "build/orbaplayer"))
