#!/usr/bin/env python3
# Stands in for Resolve's scripting runtime in tests. It records what it was
# started with under $TEST_REPORT_DIR/<pid>/, then runs until SIGTERM. Each
# SIGTERM is recorded; the process ends half a second after the first one, so
# a second request in that time would be seen, or never when
# $TEST_IGNORE_TERM is 1. Whatever happens, it ends after a minute, so no
# test leaves it behind.
import json
import os
import signal
import sys
import time

report = os.environ["TEST_REPORT_DIR"]
folder = os.path.join(report, str(os.getpid()))
os.makedirs(folder)

term_at = []


def on_term(signum, frame):
    with open(os.path.join(folder, "signals"), "a") as handle:
        handle.write("TERM\n")
    if not term_at:
        term_at.append(time.monotonic())


signal.signal(signal.SIGTERM, on_term)

descriptors = {}
for name in os.listdir("/proc/self/fd"):
    try:
        descriptors[name] = os.readlink("/proc/self/fd/" + name)
    except OSError:
        pass

with open(os.path.join(folder, "start.json"), "w") as handle:
    json.dump({"argv": sys.argv[1:], "env": dict(os.environ), "fds": descriptors}, handle)
os.rename(os.path.join(folder, "start.json"), os.path.join(folder, "started.json"))

stubborn = os.environ.get("TEST_IGNORE_TERM") == "1"
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    if term_at and not stubborn and time.monotonic() >= term_at[0] + 0.5:
        break
    time.sleep(0.02)
