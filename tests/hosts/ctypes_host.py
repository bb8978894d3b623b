#!/usr/bin/env python3
"""A host of the engine library written the way a bank's script would be:
Python's ctypes loads libdizora.so, the script uses it and simply ends.

    ctypes_host.py LIBRARY WORKDIR session   key pair, sign, verify, encrypt, decrypt
    ctypes_host.py LIBRARY WORKDIR planted   a libcrypt.dll in the current directory is never loaded

Prints "ctypes host MODE: ok" when every check passed; the exit status is 0
only then (and only if the process also ends cleanly).
"""
import ctypes
import os
import shutil
import subprocess
import sys

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what, flush=True)


def load(path):
    lib = ctypes.CDLL(path)
    P, I32, TEXT = ctypes.c_void_p, ctypes.c_int32, ctypes.c_char_p
    SIZE = ctypes.POINTER(ctypes.c_int32)
    signatures = {
        "GetCryptObj": (P, [ctypes.c_ssize_t]),
        "DoneEngine": (None, [P]),
        "SetRootPath": (None, [P, TEXT]),
        "SetCryptoParamValue": (I32, [P, I32, TEXT]),
        "GetCryptoErrorString": (None, [P, I32, P]),
        "GenerateNewSEK": (I32, [P]),
        "GetCurrentUserUID": (I32, [P, P]),
        "SignData": (I32, [P, P, I32, P, SIZE, ctypes.c_ssize_t]),
        "VerifyData": (I32, [P, P, I32, P, I32, P]),
        "GetMaxAdditionEx": (I32, [P, TEXT]),
        "EncodeData": (I32, [P, P, SIZE, TEXT]),
        "DecodeData": (I32, [P, P, SIZE, ctypes.c_ssize_t]),
        "HashData": (I32, [P, P, I32, I32, P, SIZE]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype = result
        function.argtypes = arguments
    return lib


def session(lib, workdir):
    for sub in ("ABONENTS", "CA"):
        os.makedirs(os.path.join(workdir, sub))
    e = lib.GetCryptObj(0)
    check(e is not None, "GetCryptObj")
    lib.SetRootPath(e, workdir.encode())
    for index, value in ((7, "86400"), (8, "86400"), (10, "Host"), (11, "%ZRNRoot%self.pub"),
                         (12, "%ZRNRoot%self.sec"), (13, "GOST")):
        check(lib.SetCryptoParamValue(e, index, value.encode()) == 0, "setting %d" % index)

    def result(what, code):
        if code != 0:
            text = ctypes.create_string_buffer(256)
            lib.GetCryptoErrorString(e, code, text)
            print(what, "result", code, text.value.decode("cp1251"), flush=True)
        return code

    check(result("GenerateNewSEK", lib.GenerateNewSEK(e)) == 0, "GenerateNewSEK")
    uid = ctypes.create_string_buffer(255)
    check(lib.GetCurrentUserUID(e, uid) == 0 and uid.value == b"Host", "GetCurrentUserUID")

    order = b"Payment order 42: 925 000,00 RUB to account 40702810100000000007"
    signature = ctypes.create_string_buffer(319)
    size = ctypes.c_int32(0)
    check(result("SignData", lib.SignData(e, order, len(order), signature, ctypes.byref(size), 0)) == 0,
          "SignData")
    signer = ctypes.create_string_buffer(255)
    check(lib.VerifyData(e, order, len(order), signature, size, signer) == 0 and signer.value == b"Host",
          "VerifyData of the signed order names its signer")
    changed = order.replace(b"925", b"125")
    check(lib.VerifyData(e, changed, len(changed), signature, size, signer) == 5, "VerifyData refuses another order")

    room = len(order) + lib.GetMaxAdditionEx(e, b"Host")
    block = ctypes.create_string_buffer(order, room)
    size = ctypes.c_int32(len(order))
    check(result("EncodeData", lib.EncodeData(e, block, ctypes.byref(size), b"Host")) == 0
          and len(order) < size.value <= room, "EncodeData for the own UID")
    check(lib.DecodeData(e, block, ctypes.byref(size), 0) == 0 and block.raw[:size.value] == order,
          "DecodeData gives the order back")
    lib.DoneEngine(e)


def hash_result(lib):
    """HashData needs libcrypt.dll: 0 when the engine found it, -29 when not."""
    e = lib.GetCryptObj(0)
    digest = ctypes.create_string_buffer(32)
    size = ctypes.c_int32(32)
    r = lib.HashData(e, b"abc", 3, 0, digest, ctypes.byref(size))
    lib.DoneEngine(e)
    return r


def mapped(file_name):
    with open("/proc/self/maps") as maps:
        return any(line.rstrip().endswith("/" + file_name) for line in maps)


def planted(library, workdir):
    """The engine beside no libcrypt.dll, one planted in the current directory:
    an empty or relative entry of LD_LIBRARY_PATH must not lead the loader
    there; an absolute entry naming that directory does."""
    app, documents = os.path.join(workdir, "app"), os.path.join(workdir, "documents")
    os.makedirs(app)
    os.makedirs(documents)
    engine = os.path.join(app, os.path.basename(library))
    shutil.copy(library, engine)
    shutil.copy(os.path.join(os.path.dirname(library), "libcrypt.dll"), documents)
    for library_path, expected in ((":", -29), (".:../documents:", -29), (documents, 0)):
        environment = dict(os.environ, LD_LIBRARY_PATH=library_path)
        child = subprocess.run([sys.executable, __file__, engine, workdir, "planted-child", str(expected)],
                               cwd=documents, env=environment, capture_output=True, text=True)
        check(child.returncode == 0 and "planted-child: ok" in child.stdout,
              "LD_LIBRARY_PATH=%r: %s%s" % (library_path, child.stdout, child.stderr))


def planted_child(library, expected):
    lib = load(library)
    check(hash_result(lib) == expected, "HashData with the library path of this child")
    check(mapped("libcrypt.dll") == (expected == 0), "libcrypt.dll mapped only when found by a full path")
    print("planted-child:", "ok" if not failures else "FAILED", flush=True)


def main():
    library, workdir, mode = sys.argv[1:4]
    if mode == "planted-child":
        planted_child(library, int(sys.argv[4]))
        return 0 if not failures else 1
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    if mode == "session":
        session(load(library), workdir)
    elif mode == "planted":
        planted(library, workdir)
    else:
        print("unknown mode", mode)
        return 2
    print("ctypes host %s: %s" % (mode, "ok" if not failures else "FAILED"), flush=True)
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
