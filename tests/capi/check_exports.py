#!/usr/bin/python3
"""Fails when a shipped library exports a symbol that its public interface
does not name.

libmorvel2.so may export: the functions that <morvel/morvel_c.h> declares,
and the members (with vtables and type information) of the classes and the
free functions that the C++ headers of include/morvel/ define, each in its
own namespace. libmorvel_platform.so may export the same public names
(AutomationError, ByteArray, Picture, the UTF conversions live there) and
the platform layer's and the core's namespaces, which the companion
libraries share.

    check_exports.py INCLUDE_DIR LIBRARY [--platform]
"""
import os
import re
import subprocess
import sys


def strip_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def public_names(include_dir):
    """(C functions, {namespace: classes}, {namespace: functions}) the headers declare."""
    c_functions, classes, functions = set(), {}, {}
    for name in sorted(os.listdir(include_dir)):
        path = os.path.join(include_dir, name)
        text = strip_comments(open(path, encoding="utf-8").read())
        if name.endswith("_c.h"):
            c_functions |= set(re.findall(r"MORVEL_C_API\s[^;(]*?\b(morvel_\w+)\s*\(", text))
            continue
        text = re.sub(r"^\s*#[^\n]*", " ", text, flags=re.M)
        # Walk the braces, knowing which namespace each declaration is in.
        stack, chunk = [], ""
        for token in re.split(r"([{};])", text):
            if token not in ("{", "}", ";"):
                chunk += token
                continue
            piece, chunk = chunk.strip(), ""
            at_namespace = all(kind == "ns" for kind, _ in stack)
            ns = "::".join(value for kind, value in stack if kind == "ns")
            if token == "}":
                if stack:
                    stack.pop()
                continue
            opened = re.search(r"namespace\s+([\w:]+)$", piece) if token == "{" else None
            if opened:
                stack.append(("ns", opened.group(1)))
                continue
            if token == "{":
                stack.append(("block", None))
            if not at_namespace or not ns.startswith("morvel"):
                continue
            declared = re.match(r"(?:template\s*<[^>]*>\s*)?(?:class|struct)\s+(\w+)\s*(?:final\s*)?(?::[^{]*)?$",
                                piece)
            if declared and token == "{":
                classes.setdefault(ns, set()).add(declared.group(1))
                continue
            function = re.search(r"(\w+)\s*\((?:[^()]|\([^()]*\))*\)\s*(?:const\s*)?(?:noexcept\s*)?$", piece)
            if function and not piece.startswith(("using", "typedef", "return")) and "=" not in piece.split("(")[0]:
                functions.setdefault(ns, set()).add(function.group(1))
    return c_functions, classes, functions


def exports(library):
    out = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True, text=True).stdout
    raw = [line.split()[-1] for line in out.splitlines() if line.strip()]
    demangled = subprocess.run(["c++filt"], input="\n".join(raw), check=True, capture_output=True,
                               text=True).stdout.splitlines()
    return list(zip(raw, demangled))


def allowed(raw, name, c_functions, classes, functions, platform):
    if raw in c_functions:
        return True
    if platform and re.match(r"(?:(?:vtable|typeinfo|typeinfo name) for )?morvel::(?:platform|text|core)::", name):
        return True
    for prefix in ("vtable for ", "typeinfo name for ", "typeinfo for ", "VTT for "):
        if name.startswith(prefix):
            name = name[len(prefix):]
            break
    for ns, names in classes.items():
        for cls in names:
            if name == ns + "::" + cls or name.startswith(ns + "::" + cls + "::"):
                return True
    for ns, names in functions.items():
        for function in names:
            if re.match(re.escape(ns + "::" + function) + r"(?:\[abi:\w+\])*\(", name):
                return True
    return False


def main():
    include_dir, library = sys.argv[1], sys.argv[2]
    platform = "--platform" in sys.argv[3:]
    c_functions, classes, functions = public_names(include_dir)
    if not platform and not c_functions:
        sys.exit("no C functions found in %s: the header rule is broken" % include_dir)
    symbols = exports(library)
    foreign = [name for raw, name in symbols if not allowed(raw, name, c_functions, classes, functions, platform)]
    exported_c = {raw for raw, _ in symbols if raw.startswith("morvel_")}
    missing = sorted(c_functions - exported_c) if not platform else []
    for name in foreign:
        print("not public: %s" % name)
    for name in missing:
        print("declared but not exported: %s" % name)
    print("%s: %d exported symbols, %d not public, %d C functions missing"
          % (os.path.basename(library), len(symbols), len(foreign), len(missing)))
    return 1 if foreign or missing else 0


if __name__ == "__main__":
    sys.exit(main())
