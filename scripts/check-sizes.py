#!/usr/bin/env python3
"""Checks that the sources stay readable in pieces: no source file over 800
lines, and no function of the program (tests and benchmarks aside) over 80
lines, tables aside (TABLES below names them).

Usage: check-sizes.py [SOURCE_DIR]; prints what is too long and exits 1.
With --self-test, checks itself on sources of its own.
"""
import os
import re
import subprocess
import sys

MAX_FILE_LINES = 800
MAX_FUNCTION_LINES = 80
# Functions that are one table each: a row a line, or a case a row.
TABLES = {
    ("control/PrintBarCodeTable.cpp", "Rows"),  # the automation members
    ("lang/zpl/Symbols.cpp", "LinearBarcode"),  # a case per ^B command
    ("lang/zpl/Symbols.cpp", "MatrixBarcode"),
}
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
CONTROL = re.compile(r"\b(if|for|while|switch|catch|do|else)\s*(\(|$)")


def blank(text):
    return re.sub(r"[^\n]", " ", text)


def code_of(source):
    """The source with comments, strings, characters and preprocessor lines
    blanked, its line breaks kept."""
    out, i, n = [], 0, len(source)
    while i < n:
        directive = source[i] == "#" and source[source.rfind("\n", 0, i) + 1:i].strip() == ""
        if source.startswith("//", i) or directive:
            end = i
            while True:  # a preprocessor line goes on after a backslash
                end = source.find("\n", end)
                if end < 0 or source[i] == "/" or source[end - 1] != "\\":
                    break
                end += 1
            end = n if end < 0 else end
            out.append(blank(source[i:end]))
            i = end
            continue
        if source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(blank(source[i:end]))
            i = end
            continue
        raw = re.match(r'R"([^(\s]*)\(', source[i:i + 24])
        if raw:
            close = ")" + raw.group(1) + '"'
            end = source.find(close, i)
            end = n if end < 0 else end + len(close)
            out.append(blank(source[i:end]))
            i = end
            continue
        if source[i] in "\"'" and not (source[i] == "'" and i > 0 and source[i - 1].isalnum()):
            quote, end = source[i], i + 1
            while end < n and source[end] != quote and source[end] != "\n":
                end += 2 if source[end] == "\\" else 1
            out.append(quote + blank(source[i + 1:end]) + quote)
            i = end + 1
            continue
        out.append(source[i])
        i += 1
    return "".join(out)


def functions(source):
    """(name, first line, lines) of each outermost function body."""
    code = code_of(source)
    found, stack, start = [], [], 0
    for i, c in enumerate(code):
        if c == "{":
            head = code[start:i]
            last = head.strip().split("\n")[-1] if head.strip() else ""
            is_function = (")" in head and not CONTROL.search(last) and not head.rstrip().endswith(("=", "]", ","))
                           and not re.search(r"\]\s*(\([^()]*\))?[^;{}()]*$", head)
                           and not any(outer for _, outer, _ in stack))
            stack.append((i, is_function, head))
            start = i + 1
        elif c == "}":
            if stack:
                opened, is_function, head = stack.pop()
                if is_function:
                    name = re.findall(r"([~\w:]+)\s*\(", head)
                    found.append((name[0].split("::")[-1] if name else "?", code.count("\n", 0, opened) + 1,
                                  max(0, code.count("\n", opened, i) - 1)))
            start = i + 1
        elif c == ";":
            start = i + 1
    return found


def faults_in(root, files):
    faults = []
    for path in files:
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
            source = text.read()
        lines = source.count("\n")
        if lines > MAX_FILE_LINES:
            faults.append(f"{path}: {lines} lines, more than {MAX_FILE_LINES}")
        if path.startswith(("tests/", "bench/")):
            continue
        for name, line, length in functions(source):
            if length > MAX_FUNCTION_LINES and (path, name) not in TABLES:
                faults.append(f"{path}:{line}: {name} has {length} lines, more than {MAX_FUNCTION_LINES}")
    return faults


def self_test():
    body = "".join(f"  x += {k};\n" for k in range(81))
    source = ("// a comment { with a brace\n#define M(a) { a }\nint Short(int x) {\n  if (x) {\n    return 1;\n  }\n"
              "  return 0;\n}\nint Long(int x) {\n  auto f = [&](int y) {\n    return y;\n  };\n" + body + "  return x;\n}\n"
              'const char* s = "{";\nstruct S {\n  int Member() const { return 1; }\n};\n')
    found = {name: length for name, _, length in functions(source)}
    expected = {"Short": 4, "Long": 85, "Member": 0}
    if found != expected:
        print(f"self-test: measured {found}, expected {expected}")
        return 1
    print("self-test: the check measures functions as written")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    listed = subprocess.run(["git", "-C", root, "ls-files"], capture_output=True, text=True)
    if listed.returncode == 0:
        files = [f for f in listed.stdout.split("\n") if SOURCE.search(f)]
    else:  # a tree without git: every source beneath the root but the builds
        files = []
        for folder, dirs, names in os.walk(root):
            dirs[:] = [d for d in dirs if not d.startswith(("build", "."))]
            files += [os.path.relpath(os.path.join(folder, n), root) for n in names if SOURCE.search(n)]
    faults = faults_in(root, sorted(files))
    for fault in faults:
        print(fault)
    if faults:
        return 1
    print(f"{len(files)} sources: none over {MAX_FILE_LINES} lines, no function over {MAX_FUNCTION_LINES}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
