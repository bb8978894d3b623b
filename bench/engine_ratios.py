#!/usr/bin/env python3
"""Reads the JSON output of bench_engine and prints the engine's figures as
ratios to the raw primitives of the same run (a Markdown table)."""
import sys

from benchmark_json import load

SIZES = {64: "64 B", 1024: "1 KiB", 1 << 20: "1 MiB", 16 << 20: "16 MiB"}
ALGORITHMS = {0: "94", 1: "2001"}


def us(run, key="cpu_time"):
    if isinstance(run, str):  # a row that failed: its error text
        return float("nan")
    factor = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[run["time_unit"]]
    return run[key] * factor


def row(out, what, engine, raw, target=""):
    ratio = engine / raw if raw else float("nan")
    out.append(f"| {what} | {engine:,.1f} | {raw:,.1f} | {ratio:.3f} | {target} |")


def main():
    runs = load(sys.argv[1])
    get = lambda name: us(runs[name]) if name in runs else float("nan")
    out = ["| engine call | engine µs | raw µs | ratio | target |", "|---|---|---|---|---|"]
    for op, raw_name, raw_one in (("SignData", "BM_Raw_HashSign", "BM_Raw_Sign"),
                                  ("VerifyData", "BM_Raw_HashVerify", "BM_Raw_Verify")):
        for a, an in ALGORITHMS.items():
            for size, sn in SIZES.items():
                for g, gn in ((1, "GOST"), (0, "legacy")):
                    engine = get(f"BM_{op}/{a}/{g}/{size}")
                    target = "≤ 1.05 (raw: hash + one op)" if size == 1 << 20 else ""
                    if op == "VerifyData" and g == 0 and size > 65535:
                        # A legacy signature fails the ordinary hash first: two hashes, two checks.
                        target = "two hashes by design" if target else ""
                    row(out, f"{op} {an} {sn} {gn}", engine, get(f"{raw_name}/{a}/{size}"), target)
                    if size == 64:
                        row(out, f"{op} {an} {sn} {gn} vs the op alone", engine, get(f"{raw_one}/{a}"),
                            "≤ 1.2")
    for op, decrypt in (("EncodeData", 0), ("DecodeData", 1)):
        for n in (1, 10):
            for size in (1024, 1 << 20):
                for m in (0, 1):
                    target = "≤ 1.1" if (n == 1 and size == 1 << 20) else ""
                    row(out, f"{op} {n} recipient(s) {SIZES[size]} method {m}",
                        get(f"BM_{op}/{n}/{size}/{m}"), get(f"BM_Raw_CryptWithMac/{size}/{m}/{decrypt}"),
                        target + (" (raw: cipher + MAC)" if target else ""))
    for a, an in ALGORITHMS.items():
        # The key read from the files and its pair checked for every signature.
        row(out, f"SignData {an} 64 B, key loaded for each vs kept loaded", get(f"BM_SignDataLoadingTheKey/{a}"),
            get(f"BM_SignData/{a}/1/64"))
    for g, gn in ((1, "GOST"), (0, "legacy")):
        row(out, f"HashData 1 MiB {gn}", get(f"BM_HashData/{1 << 20}/{g}"), get(f"BM_Raw_Hash/{1 << 20}"))
    row(out, "Bank: verification, 20,000 keys cached vs 1", get("BM_Bank_Verify/20000"),
        get("BM_Bank_Verify/1"), "≤ 1.05")
    row(out, "Bank: decryption 1 KiB, 20,000 keys cached vs 1", get("BM_Bank_Decrypt/20000"),
        get("BM_Bank_Decrypt/1"))
    print("\n".join(out))

    print("\n| other | figure |\n|---|---|")
    for files in (1000, 20000):
        name = f"BM_Bank_FirstVerify/{files}/iterations:5"
        if name in runs:
            print(f"| first verification, cache filled from {files:,} files | {us(runs[name], 'real_time') / 1e3:,.1f} ms |")
    for a, an in ALGORITHMS.items():
        name = f"BM_GenerateNewSEK/{a}"
        if name in runs:
            print(f"| GenerateNewSEK {an} | {us(runs[name]) / 1e3:,.2f} ms |")
    for a, an in ALGORITHMS.items():
        if f"BM_Raw_DerivePublicKeys/{a}" in runs:
            print(f"| key-pair check of a load {an} (raw: both public keys derived) | "
                  f"{us(runs[f'BM_Raw_DerivePublicKeys/{a}']):,.1f} µs |")
    for n in (8, 32):
        if f"BM_Raw_Random/{n}" in runs:
            print(f"| raw random generator, {n} bytes | {us(runs[f'BM_Raw_Random/{n}']):,.1f} µs |")
    if "BM_Transfer" in runs:
        print(f"| transfer made and opened | {us(runs['BM_Transfer']):,.1f} µs |")
    for path in ("SharedEngine", "SharedBinding", "Raw"):
        one = runs.get(f"BM_Threads_{path}/real_time/threads:1")
        two = runs.get(f"BM_Threads_{path}/real_time/threads:2")
        if one and two:
            print(f"| two threads / one, {path} (sign + verify 1 KiB) | "
                  f"{two['items_per_second'] / one['items_per_second']:.2f} (target ≥ 1.8) |")


if __name__ == "__main__":
    main()
