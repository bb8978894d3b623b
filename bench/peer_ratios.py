#!/usr/bin/env python3
"""Reads the JSON output of bench_peers and prints libcrypt.dll's figures as
ratios to the peers of the same run (Markdown tables), from CPU time. With
repetitions, the median of each row is used.
Usage: peer_ratios.py bench_peers.json"""
import sys

from benchmark_json import load

MIB = 1 << 20

# (what, library row, peer row, peer's name, target ratio or None for a
# comparison given for information)
TARGETS = [
    ("GOST R 34.10-2001 sign vs P-256", "BM_Lib_Sign2001", "BM_Ossl_SignP256", "OpenSSL P-256 ECDSA", 1.0),
    ("GOST R 34.10-2001 verify vs P-256", "BM_Lib_Verify2001", "BM_Ossl_VerifyP256", "OpenSSL P-256 ECDSA", 1.0),
    ("GOST R 34.10-2001 sign", "BM_Lib_Sign2001", "BM_Ossl_Sign2001", "OpenSSL gost engine", 0.8),
    ("GOST R 34.10-2001 verify", "BM_Lib_Verify2001", "BM_Ossl_Verify2001", "OpenSSL gost engine", 0.8),
    ("GOST R 34.10-94 sign", "BM_Lib_Sign94", "BM_Ossl_Sign94", "OpenSSL BN", 0.8),
    ("GOST R 34.10-94 verify", "BM_Lib_Verify94", "BM_Ossl_Verify94", "OpenSSL BN, two exponentiations", 0.8),
    ("GOST R 34.10-94 verify (stricter)", "BM_Lib_Verify94", "BM_Ossl_Verify94Exp2",
     "OpenSSL BN, BN_mod_exp2_mont", 0.8),
    ("Diffie-Hellman agreement", "BM_Lib_DH", "BM_Ossl_ModExp94", "OpenSSL BN, one exponentiation", 0.8),
    ("GOST R 34.10-94 verify, same work", "BM_Lib_Verify94", "BM_Ossl_CheckedVerify94Exp2",
     "OpenSSL BN, key check + BN_mod_exp2_mont", None),
    ("Diffie-Hellman agreement, same work", "BM_Lib_DH", "BM_Ossl_CheckedModExp94",
     "OpenSSL BN, key check + one exponentiation", None),
    ("GOST R 34.11-94 hash, 1 MiB", f"BM_Lib_Hash/{MIB}", f"BM_Nettle_Hash/{MIB}", "nettle", 1.0),
    ("counter mode, 1 MiB", f"BM_Lib_Gamma/{MIB}", f"BM_Gcry_Ecb/{MIB}", "libgcrypt ECB", 1.25),
]

ALL_ROWS = [
    ("GOST R 34.10-2001 sign",
     ["BM_Lib_Sign2001", "BM_Ossl_SignP256", "BM_Ossl_Sign2001", "BM_Nettle_Sign2001", "BM_Gcry_Sign2001"]),
    ("GOST R 34.10-2001 verify",
     ["BM_Lib_Verify2001", "BM_Ossl_VerifyP256", "BM_Ossl_Verify2001", "BM_Nettle_Verify2001",
      "BM_Gcry_Verify2001"]),
    ("GOST R 34.10-94 sign", ["BM_Lib_Sign94", "BM_Ossl_Sign94", "BM_Ossl_ModExp94"]),
    ("GOST R 34.10-94 verify",
     ["BM_Lib_Verify94", "BM_Ossl_Verify94", "BM_Ossl_Verify94Exp2", "BM_Ossl_CheckedVerify94Exp2"]),
    ("Diffie-Hellman agreement", ["BM_Lib_DH", "BM_Ossl_ModExp94", "BM_Ossl_CheckedModExp94"]),
    ("GOST R 34.11-94 hash, 1 MiB", [f"BM_Lib_Hash/{MIB}", f"BM_Nettle_Hash/{MIB}"]),
    ("counter mode vs ECB, 1 MiB", [f"BM_Lib_Gamma/{MIB}", f"BM_Gcry_Ecb/{MIB}"]),
]


def seconds(run):
    return run["cpu_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]


def rate(run, name):
    """Operations per second, or MiB/s for rows over a byte size."""
    size = int(name.split("/")[1]) if "/" in name else 0
    return (size / MIB if size else 1.0) / seconds(run)


def figure(rows, name):
    run = rows.get(name)
    if run is None:
        return None, "not run"
    if isinstance(run, str):
        return None, run
    return rate(run, name), ""


def unit(name):
    return "MiB/s" if "/" in name else "ops/s"


def targets_table(rows):
    out = ["| target | libcrypt.dll | peer | ratio | target | |", "|---|---|---|---|---|---|"]
    for what, lib, peer, peer_name, target in TARGETS:
        mine, mine_err = figure(rows, lib)
        theirs, their_err = figure(rows, peer)
        wanted = "information" if target is None else f"≥ {target}"
        if mine is None or theirs is None:
            out.append(f"| {what} | {mine_err or f'{mine:,.0f}'} | {peer_name}: {their_err or f'{theirs:,.0f}'} "
                       f"| – | {wanted} | no figure |")
            continue
        ratio = mine / theirs
        verdict = "" if target is None else ("met" if ratio >= target else "missed")
        out.append(f"| {what} | {mine:,.1f} {unit(lib)} | {peer_name} {theirs:,.1f} | {ratio:.3f} | {wanted} "
                   f"| {verdict} |")
    return out


def all_rows_table(rows):
    out = ["| operation | row | figure |", "|---|---|---|"]
    for what, names in ALL_ROWS:
        for name in names:
            value, err = figure(rows, name)
            shown = err if value is None else f"{value:,.1f} {unit(name)}"
            out.append(f"| {what} | {name} | {shown} |")
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rows = load(sys.argv[1])
    print("\n".join(targets_table(rows)))
    print()
    print("\n".join(all_rows_table(rows)))


if __name__ == "__main__":
    main()
