#!/usr/bin/env python3
"""The documents, checked as they stand.

  documentation_test.py digests SOURCE_DIR
      The digests that README.md prints are those of tests/KnownDigests.cmake.
  documentation_test.py examples SOURCE_DIR BUILD_DIR
      Every C++ and CMake example in README.md and docs/*.md builds against Morvane installed
      from BUILD_DIR, and every program runs and succeeds. An example's first line names its
      file (`// tool.cpp`, `# CMakeLists.txt`); a CMake example builds tool.cpp, and one that
      fetches Morvane from /path/to/morvane gets this checkout's last commit.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile


def documents(source):
    return [os.path.join(source, "README.md")] + sorted(glob.glob(os.path.join(source, "docs", "*.md")))


def examples(source):
    """(document, language, file name, text) of every cpp and cmake block."""
    found = []
    for document in documents(source):
        text = open(document, encoding="utf-8").read()
        for language, block in re.findall(r"^```(cpp|cmake)\n(.*?)^```", text, re.M | re.S):
            name = re.match(r"(?://|#) (\S+)", block)
            if not name:
                sys.exit(f"FAIL: {document}: an example does not name its file: {block[:60]!r}")
            found.append((os.path.relpath(document, source), language, name.group(1), block))
    return found


def run(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        sys.exit(f"FAIL: {' '.join(command)}\n{result.stdout}{result.stderr}")
    return result.stdout


def check_digests(source):
    known = dict(re.findall(r'set\(MORVANE_DIGEST_(\w+) "([0-9a-f]{64})"\)',
                            open(os.path.join(source, "tests", "KnownDigests.cmake")).read()))
    shown = dict((name, digest) for digest, name in re.findall(
        r"^([0-9a-f]{64})  maps/set_(\w+)\.ppm$", open(os.path.join(source, "README.md")).read(),
        re.M))
    expected = {name: known[name] for name in ("ao", "normal", "curvature", "id")}
    if shown != expected:
        sys.exit(f"FAIL: README.md shows {shown}, the tests know {expected}")
    print("README.md shows the four known digests")


def check_examples(source, build):
    scratch = tempfile.mkdtemp()
    try:
        prefix = os.path.join(scratch, "prefix")
        run(["cmake", "--install", build, "--prefix", prefix])
        pc = glob.glob(os.path.join(prefix, "**", "morvane.pc"), recursive=True)[0]
        environment = dict(os.environ, PKG_CONFIG_PATH=os.path.dirname(pc))
        flags = run(["pkg-config", "--cflags", "--libs", "morvane"], env=environment).split()
        blocks = examples(source)
        sources = {name: text for _, language, name, text in blocks if language == "cpp"}
        for number, (document, language, name, text) in enumerate(blocks):
            where = os.path.join(scratch, f"{number}-{name}")
            os.mkdir(where)
            if language == "cpp":
                open(os.path.join(where, name), "w").write(text)
                program = os.path.join(where, "program")
                run(["c++", "-std=c++17", "-Wall", "-Wextra", "-Wpedantic", "-Werror",
                     os.path.join(where, name), "-o", program] + flags)
                run([program], cwd=where)
            else:
                if "/path/to/morvane" in text:
                    if not os.path.isdir(os.path.join(source, ".git")) or not shutil.which("git"):
                        print(f"SKIPPED {document} {name}: no git checkout to fetch Morvane from")
                        continue
                    fetched = os.path.join(scratch, "morvane.git")
                    if not os.path.isdir(fetched):
                        run(["git", "clone", "-q", "--bare", source, fetched])
                        head = run(["git", "-C", source, "rev-parse", "HEAD"]).strip()
                        run(["git", "-C", fetched, "update-ref", "refs/heads/main", head])
                    text = text.replace("/path/to/morvane", fetched)
                open(os.path.join(where, name), "w").write(text)
                open(os.path.join(where, "tool.cpp"), "w").write(sources["tool.cpp"])
                run(["cmake", "-S", where, "-B", os.path.join(where, "build"),
                     f"-DCMAKE_PREFIX_PATH={prefix}"])
                run(["cmake", "--build", os.path.join(where, "build"), "--parallel"])
                run([os.path.join(where, "build", "tool")], cwd=where)
            print(f"{document}: {name} builds and runs")
    finally:
        shutil.rmtree(scratch)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "digests":
        check_digests(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "examples":
        check_examples(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
