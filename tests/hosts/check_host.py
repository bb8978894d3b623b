#!/usr/bin/env python3
"""Runs a host program several times and checks how each run ended.

    check_host.py TIMES EXPECTED COMMAND...

Every run must exit with status 0, print the line EXPECTED, and print none of
what a sanitizer, valgrind or the C++ runtime prints when a process goes wrong
(at exit included). Prints the output of a failed run and exits 1.
"""
import re
import subprocess
import sys

TROUBLE = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|WARNING: ThreadSanitizer|terminate called|"
                     r"Invalid argument|ERROR SUMMARY: [1-9]")


def main():
    times, expected, command = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    for run in range(1, times + 1):
        child = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               errors="replace")
        trouble = TROUBLE.findall(child.stdout)
        lines = child.stdout.splitlines()
        if child.returncode != 0 or expected not in lines or trouble:
            print(child.stdout)
            print("run %d of %d: exit status %d, %s" % (run, times, child.returncode,
                  "trouble: " + ", ".join(trouble) if trouble else "expected line %s" %
                  ("present" if expected in lines else "missing")))
            return 1
    print("%d of %d runs ended with status 0 and printed %r" % (times, times, expected))
    return 0


if __name__ == "__main__":
    sys.exit(main())
