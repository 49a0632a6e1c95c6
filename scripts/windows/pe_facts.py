#!/usr/bin/python3
"""What a Windows module says about itself without being run, one fact a line:

    machine i386|amd64
    export NAME            (each exported name, in the table's order)
    import DLL             (each imported module, lower case)
    typelib SYSKIND NAME...  (the embedded TYPELIB resource: its system kind and
                              the names of its name table)
    fileversion A,B,C,D    (the version resource's fixed file and product
    productversion A,B,C,D  versions, and each text of its string tables)
    string NAME TEXT

Read with pefile from Debian (python3-pefile): the harness checks the 32-bit
build this way where no 32-bit program can run.
Usage: pe_facts.py FILE
"""
import struct
import sys

import pefile

MACHINES = {0x14C: "i386", 0x8664: "amd64"}
SYSKINDS = {0: "win16", 1: "win32", 2: "mac", 3: "win64"}


def typelib_resource(pe):
    """The bytes of the first TYPELIB resource, or None."""
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        return None
    for kind in root.entries:
        if kind.name is None or str(kind.name) != "TYPELIB":
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                return pe.get_data(data.OffsetToData, data.Size)
    return None


def typelib_facts(blob):
    """The system kind of an MSFT type library and the names in its name
    table (types, members, parameters), or None when it is not one."""
    if blob is None or len(blob) < 0x54 or blob[:4] != b"MSFT":
        return None
    varflags = struct.unpack_from("<I", blob, 0x14)[0]
    nrtypeinfos = struct.unpack_from("<I", blob, 0x20)[0]
    syskind = SYSKINDS.get(varflags & 0x0F, "unknown")
    # The 0x54-byte header, one offset per type info, a help string offset
    # when the library names a help DLL, then the directory of 15 segments
    # (offset, length, two reserved words); the eighth is the name table,
    # whose entries are a reference, a hash link, a length word (its low
    # byte the length) and the name, padded to four bytes.
    directory = 0x54 + 4 * nrtypeinfos + (4 if varflags & 0x100 else 0)
    offset, length = struct.unpack_from("<ii", blob, directory + 16 * 7)
    names, at = [], offset
    while at + 12 <= offset + length:
        size = blob[at + 8]
        names.append(blob[at + 12:at + 12 + size].decode("latin-1"))
        at += 12 + (size + 3) // 4 * 4
    return syskind, names


def version_facts(pe):
    """The version resource's fixed versions and texts, as fact lines."""
    facts = []
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if fixed:
        info = fixed[0] if isinstance(fixed, list) else fixed
        for kind, high, low in (("fileversion", info.FileVersionMS, info.FileVersionLS),
                                ("productversion", info.ProductVersionMS, info.ProductVersionLS)):
            facts.append("%s %d,%d,%d,%d" % (kind, high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF))
    for info in getattr(pe, "FileInfo", []):
        for entry in info if isinstance(info, list) else [info]:
            for table in getattr(entry, "StringTable", []):
                for name, text in table.entries.items():
                    facts.append("string %s %s" % (name.decode(), text.decode()))
    return facts


def main(path):
    pe = pefile.PE(path)
    print("machine", MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine)))
    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    for symbol in exports.symbols if exports else []:
        if symbol.name:
            print("export", symbol.name.decode())
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        print("import", entry.dll.decode().lower())
    facts = typelib_facts(typelib_resource(pe))
    if facts:
        print("typelib", facts[0], *facts[1])
    for line in version_facts(pe):
        print(line)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
