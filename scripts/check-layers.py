#!/usr/bin/env python3
"""Checks that every #include of the sources runs down the layers, never up.

From the bottom: the neutral core; the platform (its ports, the Linux and
Windows adapters, the fakes); the renderer every picture is drawn with and
the Base64 codec; the printer languages (their commands, status answers
and readers) and the previews; the drivers (behind the driver interface
drivers/IPrn.h, with the brands' rows) with orxlib and the Dothan drawing
library; the printing of documents handed over whole (PDFs, pictures,
other languages' jobs); the control; the services (the bridge and the
virtual printer); the hosts. A file may include its own layer and those
below it, and of those only the folders its own folder's list names
(FOLDER_INCLUDES). Within the platform, only the adapters of one system
include that system's files; only the platform (and the Windows COM
server) includes the system's own headers.

Usage: check-layers.py [SOURCE_DIR]. Prints each include that runs up and
exits 1, or prints the count of includes checked. With --self-test, checks
itself on a small tree of its own.
"""
import os
import re
import sys

# Layers from the bottom; each path prefix is a layer's, the longest prefix
# that fits a file decides. The public headers under include/morvel/ belong
# to the part they publish.
LAYERS = [
    ("core", ["core/", "include/morvel/types.h", "include/morvel/picture.h", "include/morvel/tag_result.h"]),
    ("platform", ["platform/"]),
    ("renderer and codec", ["render/", "codec/", "include/morvel/clsBase64.h"]),
    ("languages", ["lang/", "preview/"]),
    ("drivers", ["drivers/", "orxlib/", "lpa/", "include/orxlib/"]),
    ("documents", ["print/"]),
    ("control", ["control/", "include/morvel/"]),
    ("services", ["hosts/serve/", "hosts/emulate/", "hosts/batch/"]),
    ("hosts", ["hosts/", "examples/", "python/"]),
]
# What each folder's files may include besides their own folder: the folders
# below it that it uses, named; a new edge is a decision, made here.
FOLDER_INCLUDES = {
    "core/": {"include/morvel/"},
    "platform/": {"core/", "include/morvel/"},
    "render/": {"core/"},
    "codec/": {"platform/", "include/morvel/"},
    "lang/": {"core/", "platform/"},
    "preview/": {"lang/", "platform/", "render/"},
    "drivers/": {"lang/", "lpa/", "platform/", "include/morvel/", "include/orxlib/"},
    "orxlib/": {"lang/", "platform/", "include/morvel/", "include/orxlib/"},
    "lpa/": {"platform/", "render/", "include/morvel/"},
    "print/": {"core/", "drivers/", "lang/", "platform/", "preview/", "render/"},
    "control/": {"codec/", "drivers/", "lang/", "platform/", "print/", "include/morvel/"},
    "hosts/serve/": {"codec/", "drivers/", "lang/", "platform/", "preview/", "print/", "render/", "include/morvel/"},
    "hosts/emulate/": {"core/", "hosts/serve/", "lang/", "platform/", "preview/", "render/"},
    "hosts/batch/": {"codec/", "core/", "drivers/", "lang/", "platform/", "include/morvel/"},
    "hosts/cli/": {"codec/", "control/", "core/", "hosts/batch/", "hosts/emulate/", "hosts/serve/", "lang/", "platform/", "preview/", "print/",
                   "render/", "include/morvel/"},
    "hosts/com/": {"platform/", "include/morvel/"},
}


def folder_of(path):
    """The folder of FOLDER_INCLUDES (or include/'s) a file is in, the longest that fits."""
    best = None
    for folder in list(FOLDER_INCLUDES) + ["include/morvel/", "include/orxlib/"]:
        if path.startswith(folder) and (best is None or len(folder) > len(best)):
            best = folder
    return best


# Folders whose files nobody else includes: each system's adapters.
PRIVATE = {"platform/linux/": "platform/linux/", "platform/windows/": "platform/windows/"}
CHECKED = ("core", "platform", "render", "lang", "preview", "codec", "drivers", "orxlib", "lpa", "print", "control",
           "include", "hosts", "examples")
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SYSTEM_INCLUDE = re.compile(r'^\s*#\s*include\s+<([^>]+)>')
# The operating systems' own headers: only the platform layer includes them,
# and the COM server of the Windows control, Windows by nature.
OS_HEADERS = re.compile(r"^(unistd|fcntl|dlfcn|iconv|poll|spawn|pwd|grp|signal|netdb|termios|dirent|pthread|"
                        r"windows|winsock2|ws2tcpip|winspool|setupapi|shellapi|objbase|ole2|oleauto|io|"
                        r"sys/.*|netinet/.*|arpa/.*|linux/.*)\.h$", re.IGNORECASE)
OS_ALLOWED = ("platform/", "hosts/com/")


def layer_of(path):
    best, rank = None, None
    for index, (_, prefixes) in enumerate(LAYERS):
        for prefix in prefixes:
            if path.startswith(prefix) and (best is None or len(prefix) > len(best)):
                best, rank = prefix, index
    return rank


def resolve(root, including, name):
    """The included file's path from the root: beside the including file,
    else from the root, else from include/."""
    here = os.path.dirname(including)
    for candidate in (os.path.join(here, name), name, os.path.join("include", name)):
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def faults_in(root):
    faults, checked = [], 0
    for top in CHECKED:
        for folder, _, files in os.walk(os.path.join(root, top)):
            for file in sorted(files):
                if not SOURCE.search(file):
                    continue
                path = os.path.relpath(os.path.join(folder, file), root)
                rank = layer_of(path)
                if rank is None:
                    faults.append(f"{path}: in no layer (add its folder to scripts/check-layers.py)")
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        system = SYSTEM_INCLUDE.match(line)
                        if system and OS_HEADERS.match(system.group(1)) and not path.startswith(OS_ALLOWED):
                            faults.append(f"{path}:{number}: <{system.group(1)}>: only platform/ includes the "
                                          "system's own headers")
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = resolve(root, path, match.group(1))
                        if target is None:
                            continue  # generated at build time (morvel_tlb.h, version.h)
                        checked += 1
                        where = f"{path}:{number}: {match.group(1)}"
                        target_rank = layer_of(target)
                        if target_rank is not None and target_rank > rank:
                            faults.append(f"{where}: {LAYERS[rank][0]} includes {LAYERS[target_rank][0]}, a higher layer")
                        mine, theirs = folder_of(path), folder_of(target)
                        if (mine in FOLDER_INCLUDES and theirs is not None and theirs != mine
                                and theirs not in FOLDER_INCLUDES[mine]):
                            faults.append(f"{where}: {mine} does not include {theirs} (its list is in FOLDER_INCLUDES)")
                        for private in PRIVATE:
                            if target.startswith(private) and not path.startswith(private):
                                faults.append(f"{where}: only {private} includes its own adapters")
    return faults, checked


def self_test():
    """A tree with one include of each kind that must be refused, and one
    that must pass: the check finds exactly the refused ones."""
    import tempfile
    files = {
        "control/Up.h": "",
        "drivers/Driver.cpp": '#include "control/Up.h"\n#include "drivers/Driver.h"\n',
        "drivers/Driver.h": '#include "morvel/types.h"\n',
        "include/morvel/types.h": "",
        "platform/linux/adapters.h": "",
        "platform/fakes/fakes.cpp": '#include "platform/linux/adapters.h"\n',
        "platform/linux/files.cpp": '#include "platform/linux/adapters.h"\n',
        "lang/zpl/Reader.cpp": '  #  include "hosts/cli/Shell.h"\n',
        "lang/Parsing.cpp": "#include <iconv.h>\n#include <string>\n",
        "platform/linux/code_page.cpp": "#include <iconv.h>\n",
        "hosts/cli/Shell.h": '#include "control/Up.h"\n',
        "lpa/Library.cpp": '#include "lang/zpl/Reader.cpp"\n',
    }
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(root, name), "w") as out:
                out.write(text)
        faults, checked = faults_in(root)
    expected = ["drivers/Driver.cpp:1", "platform/fakes/fakes.cpp:1", "lang/zpl/Reader.cpp:1", "lang/Parsing.cpp:1",
                "lpa/Library.cpp:1"]
    found = sorted({f.split(": ")[0] for f in faults})
    if found != sorted(expected) or checked != 8:
        print(f"self-test: found {found} of {checked} includes, expected {expected} of 8")
        return 1
    print("self-test: the check refuses what runs up and passes the rest")
    return 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    faults, checked = faults_in(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} includes run against the layers")
        return 1
    print(f"{checked} includes run down the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
