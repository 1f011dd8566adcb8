#!/usr/bin/env python3
"""Runs one command as a child and prints its processor seconds (user +
system, from wait4) and peak resident memory in MB, as
"rc=N cpu=S maxrss_mb=M wall=S". The command's output goes to /dev/null
unless RUSAGE_KEEP_OUTPUT=1."""
import os
import subprocess
import sys
import time

def main():
    if len(sys.argv) < 2:
        sys.stderr.write("usage: rusage.py COMMAND [ARG...]\n")
        return 2
    out = None if os.environ.get("RUSAGE_KEEP_OUTPUT") == "1" else subprocess.DEVNULL
    start = time.monotonic()
    child = subprocess.Popen(sys.argv[1:], stdout=out)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    rc = os.waitstatus_to_exitcode(status)
    print("rc=%d cpu=%.3f maxrss_mb=%.1f wall=%.3f" %
          (rc, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0, wall))
    return 0

if __name__ == "__main__":
    sys.exit(main())
