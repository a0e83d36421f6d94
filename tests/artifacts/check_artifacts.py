#!/usr/bin/env python3
"""Checks the shipped Windows binaries of one build tree without running them.

    check_artifacts.py --arch win32|win64 BIN_DIR

For the tree's arch: the PE machine of every artifact; TAVRIN.OCX's four exports, its
imports (Prynn.dll by ordinal 4, Wexlog.dll by ordinal 3, otherwise only Windows' own DLLs)
and its TYPELIB (made for the arch's platform) and version resources; Prynn.dll exporting
ordinal 4 and Wexlog.dll ordinal 3, by ordinal only. Prints one line per finding and exits 1
when any check fails. This is how a machine that cannot run 32-bit programs still checks the
32-bit product.
"""
import argparse
import struct
import sys

MACHINES = {"win32": 0x14C, "win64": 0x8664}
# SYSKIND of a type library: SYS_WIN32 = 1, SYS_WIN64 = 3.
SYSKINDS = {"win32": 1, "win64": 3}
RT_VERSION, RT_TYPELIB = 16, "TYPELIB"
# Windows' own DLLs the control may use; anything else (a compiler runtime DLL, say) would
# have to ship beside it.
SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "crypt32.dll", "gdi32.dll", "kernel32.dll",
               "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
               "user32.dll", "wininet.dll"}
OCX_EXPORTS = {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject",
               "DllCanUnloadNow"}


class PeError(Exception):
    pass


class Pe:
    """The parts of a PE image these checks read: machine, exports, imports, resources."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if self.data[:2] != b"MZ":
            raise PeError("no MZ header")
        pe = self.u32(0x3C)
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", self.data, pe + 4)
        opt = pe + 24
        magic = self.u16(opt)
        dirs = opt + (96 if magic == 0x10B else 112)
        self.directories = [struct.unpack_from("<II", self.data, dirs + 8 * i) for i in range(16)]
        table = opt + opt_size
        self.sections = [struct.unpack_from("<IIII", self.data, table + 40 * i + 8)
                         for i in range(sections)]  # virtual size, address, raw size, raw offset
        self.ordinal_flag = 1 << 63 if magic == 0x20B else 1 << 31
        self.thunk_size = 8 if magic == 0x20B else 4

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for vsize, addr, rsize, raw in self.sections:
            if addr <= rva < addr + max(vsize, rsize):
                return raw + rva - addr
        raise PeError("address 0x%x is in no section" % rva)

    def cstring(self, rva):
        off = self.offset(rva)
        return self.data[off:self.data.index(b"\0", off)].decode("latin-1")

    def exports(self):
        """(set of exported ordinals, set of exported names)."""
        rva, size = self.directories[0]
        if not size:
            return set(), set()
        d = self.offset(rva)
        base, count, names, _, name_table = struct.unpack_from("<IIIII", self.data, d + 16)[:5]
        functions = self.u32(d + 28)
        ordinals = {base + i for i in range(count) if self.u32(self.offset(functions) + 4 * i)}
        names_set = {self.cstring(self.u32(self.offset(name_table) + 4 * i)) for i in range(names)}
        return ordinals, names_set

    def imports(self):
        """{dll name: [ordinal or name, ...]}."""
        rva, size = self.directories[1]
        result = {}
        d = self.offset(rva) if size else None
        while d is not None:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, d)
            if not name:
                break
            entries = []
            t = self.offset(lookup or first)
            fmt = "<Q" if self.thunk_size == 8 else "<I"
            while True:
                thunk = struct.unpack_from(fmt, self.data, t)[0]
                if not thunk:
                    break
                if thunk & self.ordinal_flag:
                    entries.append(thunk & 0xFFFF)
                else:
                    entries.append(self.cstring((thunk & 0x7FFFFFFF) + 2))
                t += self.thunk_size
            result[self.cstring(name)] = entries
            d += 20
        return result

    def resources(self):
        """{type: {name: data bytes of the first language}}; ids as ints, names as str."""
        rva, size = self.directories[2]
        if not size:
            return {}
        root = self.offset(rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + ids):
                key, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if key & 0x80000000:
                    at = root + (key & 0x7FFFFFFF)
                    length = self.u16(at)
                    key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, target

        def first_leaf(target):
            while target & 0x80000000:
                target = next(entries(root + (target & 0x7FFFFFFF)))[1]
            data_rva, data_size = struct.unpack_from("<II", self.data, root + target)
            off = self.offset(data_rva)
            return self.data[off:off + data_size]

        result = {}
        for kind, by_name in entries(root):
            result[kind] = {name: first_leaf(leaf) for name, leaf in entries(root + (by_name & 0x7FFFFFFF))}
        return result


class Report:
    def __init__(self):
        self.failures = 0

    def check(self, ok, what):
        print(("ok    " if ok else "FAIL  ") + what)
        if not ok:
            self.failures += 1


def check_ordinal_dll(report, pe, name, ordinal):
    ordinals, names = pe.exports()
    report.check(ordinals == {ordinal} and not names,
                 "%s exports ordinal %d only, with no names (ordinals %s, names %s)"
                 % (name, ordinal, sorted(ordinals), sorted(names)))
    foreign = sorted(d for d in pe.imports() if d.lower() not in SYSTEM_DLLS)
    report.check(not foreign, "%s imports only Windows' own DLLs %s" % (name, foreign or ""))


def check_control(report, pe, arch):
    _, names = pe.exports()
    report.check(names == OCX_EXPORTS, "TAVRIN.OCX exports %s" % ", ".join(sorted(names)))
    imports = {dll.lower(): entries for dll, entries in pe.imports().items()}
    report.check(imports.get("prynn.dll") == [4],
                 "TAVRIN.OCX imports Prynn.dll by ordinal 4 (%s)" % imports.get("prynn.dll"))
    report.check(imports.get("wexlog.dll") == [3],
                 "TAVRIN.OCX imports Wexlog.dll by ordinal 3 (%s)" % imports.get("wexlog.dll"))
    foreign = sorted(set(imports) - SYSTEM_DLLS - {"prynn.dll", "wexlog.dll"})
    report.check(not foreign, "TAVRIN.OCX imports no other DLL %s" % (foreign or ""))
    resources = pe.resources()
    typelib = resources.get(RT_TYPELIB, {}).get(1, b"")
    report.check(typelib[:4] == b"MSFT", "TAVRIN.OCX holds TYPELIB 1")
    if typelib[:4] == b"MSFT":
        syskind = struct.unpack_from("<I", typelib, 20)[0] & 0xF
        report.check(syskind == SYSKINDS[arch],
                     "its type library is made for %s (SYSKIND %d)" % (arch, syskind))
    version = resources.get(RT_VERSION, {}).get(1, b"")
    report.check("VS_VERSION_INFO".encode("utf-16-le") in version and b"\xbd\x04\xef\xfe" in version,
                 "TAVRIN.OCX holds version resource 1")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--arch", choices=sorted(MACHINES), required=True)
    parser.add_argument("bin_dir")
    args = parser.parse_args()
    report = Report()
    files = {"TAVRIN.OCX": None, "Prynn.dll": None, "Wexlog.dll": None, "tavrin-host.exe": None,
             "lzfpack.exe": None, "testclient/Orbisan.exe": None}
    for name in files:
        try:
            files[name] = Pe("%s/%s" % (args.bin_dir, name))
        except (OSError, PeError, struct.error, ValueError) as e:
            report.check(False, "%s is a readable PE image (%s)" % (name, e))
            continue
        report.check(files[name].machine == MACHINES[args.arch],
                     "%s is made for %s (machine 0x%x)" % (name, args.arch, files[name].machine))
    try:
        if files["TAVRIN.OCX"]:
            check_control(report, files["TAVRIN.OCX"], args.arch)
        if files["Prynn.dll"]:
            check_ordinal_dll(report, files["Prynn.dll"], "Prynn.dll", 4)
        if files["Wexlog.dll"]:
            check_ordinal_dll(report, files["Wexlog.dll"], "Wexlog.dll", 3)
    except (PeError, struct.error, ValueError) as e:
        report.check(False, "the images can be read through (%s)" % e)
    print("%s artifacts: %s" % (args.arch, "all checks passed" if not report.failures
                                else "%d checks failed" % report.failures))
    return 1 if report.failures else 0


if __name__ == "__main__":
    sys.exit(main())
