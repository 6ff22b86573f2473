#!/usr/bin/env python3
"""Writes the README's C++ examples as one source file, so that the tests compile them as they
stand: each ```cpp block becomes a function, its #include and using lines going to the top.
Usage: readme_examples.py README.md OUTPUT.cpp"""
import re
import sys

readme, output = sys.argv[1], sys.argv[2]
blocks = re.findall(r"^```cpp\n(.*?)^```", open(readme, encoding="utf-8").read(), re.M | re.S)
top, functions = [], []
for number, block in enumerate(blocks):
    body = []
    for line in block.splitlines():
        (top if line.startswith(("#include", "using namespace")) else body).append(line)
    functions.append(f"[[maybe_unused]] void ReadmeExample{number}() {{\n" + "\n".join(body) + "\n}\n")
with open(output, "w", encoding="utf-8") as out:
    out.write("// Generated from README.md by tests/support/readme_examples.py.\n")
    out.write("#include <cstddef>\n#include <string>\n#include <vector>\n")
    out.write("\n".join(dict.fromkeys(top)) + "\n\nnamespace {\n\n" + "\n".join(functions))
    out.write("\n}  // namespace\n")
