#pragma once

// A bridge runtime that ignores the terminate request, for checks that the
// companion neither waits for such a child nor asks it twice.

namespace trovemark::companion::testing {

// Records its start and every SIGTERM under $STUBBORN_REPORT_DIR (<pid>.start,
// one "TERM" line per request in <pid>.term) and runs on regardless; it gives
// up by itself after two minutes so that a failed test leaves nothing behind
// for long.
inline constexpr const char* kStubbornRuntime = R"(#!/usr/bin/env python3
import os, signal, time
me = os.path.join(os.environ["STUBBORN_REPORT_DIR"], str(os.getpid()))
def on_term(signum, frame):
    with open(me + ".term", "a") as log:
        log.write("TERM\n")
signal.signal(signal.SIGTERM, on_term)
open(me + ".start", "w").close()
end = time.monotonic() + 120
while time.monotonic() < end:
    time.sleep(0.05)
)";

}  // namespace trovemark::companion::testing
