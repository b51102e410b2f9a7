#!/usr/bin/env python3
"""Writes the compile-time cross-check of our TAPI ABI against the toolchain's
<tapi.h>: every constant and every field offset that src/tapi/TapiAbi.h
declares, so a constant or field added there is checked without more work.

usage: gen_abi_check.py TapiAbi.h output.cpp
"""
import re
import sys

header, output = sys.argv[1], sys.argv[2]
text = open(header, encoding="utf-8").read()

# TAPI_VERSION_* are our own names for API versions, not TAPI's.
constants = [n for n in re.findall(r"^constexpr (?:DWORD|LONG) ([A-Z][A-Z0-9_]*) =", text, re.M)
             if not n.startswith("TAPI_VERSION_")]
fields = []
for struct, body in re.findall(r"^struct ([A-Z]+) \{\n(.*?)^\};", text, re.M | re.S):
    names = re.findall(r"^    (?:DWORD|HLINE|LINEDIALPARAMS|SYSTEMTIME) (\w+);", body, re.M)
    if re.search(r"^    \} Handles;", body, re.M):
        names.append("Handles")
    fields += [(struct, name) for name in names]
structs = sorted({s for s, _ in fields})
if len(constants) < 100 or len(structs) < 12:
    sys.exit(f"{header}: found only {len(constants)} constants and {len(structs)} structures")

out = [
    "// Generated from src/tapi/TapiAbi.h by cmake/gen_abi_check.py: do not edit.",
    "#include <cstddef>",
    "#include <cstdint>",
    '#include "platform/WinTypes.h"',
    "namespace ours {",
    '#include "tapi/TapiAbi.h"',
    "}  // namespace ours",
    "// Our values are captured before <tapi.h> defines macros of the same names.",
]
out += [f"constexpr std::uint32_t o_{n} = static_cast<std::uint32_t>(ours::{n});" for n in constants]
out += [f"constexpr std::size_t o_{s}_{f} = offsetof(ours::{s}, {f});" for s, f in fields]
out.append("#include <tapi.h>")
out += [f'static_assert(o_{n} == static_cast<std::uint32_t>({n}), "{n}");' for n in constants]
out += [f'static_assert(o_{s}_{f} == offsetof({s}, {f}), "{s}.{f}");' for s, f in fields]
# The TAPI 2.0 fixed parts are shorter than the toolchain's TAPI 3.x layouts
# of LINEDEVCAPS, LINECALLINFO and LINEFORWARD; the others agree in size.
for s in structs:
    op = "<=" if s in ("LINEDEVCAPS", "LINECALLINFO", "LINEFORWARD") else "=="
    out.append(f'static_assert(sizeof(ours::{s}) {op} sizeof({s}), "sizeof {s}");')
open(output, "w", encoding="utf-8").write("\n".join(out) + "\n")
