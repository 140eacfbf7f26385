#!/usr/bin/env python3
"""Runs a command with its output dropped and prints "CPU-MS PEAK-KB EXIT-CODE": the user plus
system time the command took in milliseconds, to the microsecond the kernel counts (/usr/bin/time
prints hundredths of a second, too coarse for runs of a few tens of milliseconds), its peak
resident size and its exit code (minus the signal's number when a signal ended it). The command
runs on one processor, the last, so that moving between processors does not add to its time.
    bench/cpu_time.py COMMAND [ARG...]"""
import os
import sys

os.sched_setaffinity(0, {max(os.sched_getaffinity(0))})
null = os.open(os.devnull, os.O_RDWR)
pid = os.posix_spawnp(sys.argv[1], sys.argv[1:], os.environ,
                      file_actions=[(os.POSIX_SPAWN_DUP2, null, fd) for fd in (0, 1, 2)])
_, status, usage = os.wait4(pid, 0)
print(f"{(usage.ru_utime + usage.ru_stime) * 1000:.1f} {usage.ru_maxrss} {os.waitstatus_to_exitcode(status)}")
