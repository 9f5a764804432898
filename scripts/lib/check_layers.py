#!/usr/bin/env python3
"""Checks that the include graph of src/ and tools/ runs one way only.

setup.exe's areas form a stack, each using only the ones below it:
    util < config < payload < run < install < uninstall < ui < app
Inside install, the steps (files/, destination/, ...) never include the run
that calls them (install/install_run.h). The builder (tools/builder) uses only
portable headers of src/ (none that includes <windows.h>), and within the
builder, product/ never includes pe/ and neither includes the top-level front
end. Prints every arrow that runs back up and exits 1 when there is one.
"""
import os
import re
import sys

AREAS = ["util", "config", "payload", "run", "install", "uninstall", "ui", "app"]
RANK = {area: i for i, area in enumerate(AREAS)}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
WINDOWS = re.compile(r'^\s*#\s*include\s+<windows\.h>', re.M)


def includes(path):
    with open(path, encoding="utf-8") as f:
        return INCLUDE.findall(f.read())


def has_windows_h(path, seen=None):
    """The header includes <windows.h> itself or through a project header."""
    seen = seen if seen is not None else set()
    if path in seen or not os.path.exists(path):
        return False
    seen.add(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if WINDOWS.search(text):
        return True
    return any(has_windows_h(os.path.join("src", inc), seen) for inc in INCLUDE.findall(text)
               if inc.split("/")[0] in RANK)


def source_files(root):
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            if name.endswith((".h", ".cpp", ".inc")):
                yield os.path.join(folder, name)


def main():
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    problems = []
    for path in source_files("src"):
        area = path.split(os.sep)[1]
        for inc in includes(path):
            target = inc.split("/")[0]
            if target not in RANK:
                continue
            if RANK[target] > RANK[area]:
                problems.append(f"{path}: {area} includes {inc} from {target}, above it")
            if area == "install" and inc == "install/install_run.h" and not path.endswith(
                    os.path.join("install", "install_run_win.cpp")):
                problems.append(f"{path}: an install step includes the run that calls it")
    for path in source_files(os.path.join("tools", "builder")):
        part = path.split(os.sep)[2] if len(path.split(os.sep)) > 3 else ""
        for inc in includes(path):
            target = inc.split("/")[0]
            if target in RANK and has_windows_h(os.path.join("src", inc)):
                problems.append(f"{path}: the builder includes {inc}, which needs <windows.h>")
            if target == "builder":
                parts = inc.split("/")
                inc_part = parts[1] if len(parts) > 2 else ""
                if part in ("pe", "product") and inc_part == "":
                    problems.append(f"{path}: builder/{part} includes the front end's {inc}")
                if part == "product" and inc_part == "pe":
                    problems.append(f"{path}: builder/product includes {inc}")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) run back up", file=sys.stderr)
        return 1
    print("include graph: every arrow runs down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
