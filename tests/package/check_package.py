#!/usr/bin/env python3
# Checks the Debian package as a user would meet it:
#   tests/package/check_package.py BUILD_DIR PACKAGE.deb
# lintian reports no error; desktop-file-validate has nothing at all to say
# about its desktop entry (it exits 0 on warnings and hints); unpacked into a
# temporary root, it holds a companion that starts on a private desktop (where
# no panel runs, so it shows its window), finds its bridge script there and
# supervises it, a Color helper that answers the stand-in, and a
# trovemark-inspect that finds it and says what the helper sees. The stand-in
# (BUILD_DIR/bin/resolve-standin) runs as /opt/resolve/bin/resolve would, in a
# folder of its own, so the companion finds Resolve running.

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
PATIENCE = 30  # seconds; a limit on a busy machine, not a speed goal


def wait_for(what, done):
    deadline = time.monotonic() + PATIENCE
    while time.monotonic() < deadline:
        result = done()
        if result:
            return result
        time.sleep(0.1)
    sys.exit(f"check-package: {what}")


def children(pid):
    found = []
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/children") as f:
            found += [int(p) for p in f.read().split()]
    return found


def command_line(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode() for a in f.read().split(b"\0") if a]
    except OSError:
        return []


# Runs inside scripts/with-desktop.
def on_desktop(build, root):
    work = tempfile.mkdtemp(prefix="trovemark-package-")
    # Resolve 21.1's layout: the runtime in its own folder at the install's root.
    resolve = os.path.join(work, "opt/resolve")
    os.makedirs(os.path.join(resolve, "bin"))
    os.makedirs(os.path.join(resolve, "ResolvePython/lib/modules"))
    shutil.copy(os.path.join(build, "bin/resolve-standin"), os.path.join(resolve, "bin/resolve"))
    runtime = os.path.join(resolve, "ResolvePython/ResolvePython")
    with open(runtime, "w") as f:
        # Debian's interpreter, not a version manager's shim in PATH.
        f.write('#!/bin/sh\nexec /usr/bin/python3 "$@"\n')
    os.chmod(runtime, 0o755)
    standin = subprocess.Popen(
        [os.path.join(resolve, "bin/resolve"), os.path.join(SOURCE, "scenes/color-page.json")],
        stdout=subprocess.DEVNULL)

    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("XDG_DATA", "XDG_CONFIG"))}
    env["HOME"] = os.path.join(work, "home")
    env["TROVEMARK_TRAY_WAIT_MS"] = "500"
    companion = subprocess.Popen([os.path.join(root, "usr/bin/ZelvanMac")], env=env)
    try:
        script = os.path.join(root, "usr/share/trovemark/zelvan_bridge.py")
        zelvan = os.path.join(env["HOME"], ".local/share/Zelvan")

        def bridge():
            kids = children(companion.pid)
            return len(kids) == 1 and script in command_line(kids[0]) and kids[0]

        first = wait_for("the companion started no bridge", bridge)
        wait_for("the bridge wrote no pairing files", lambda: all(
            os.path.exists(os.path.join(zelvan, n)) for n in (".pairing-token", "bridge-fingerprint")))
        # No panel here: the menu shows as a window.
        wait_for("the companion showed no window", lambda: "IsViewable" in subprocess.run(
            ["xwininfo", "-name", "Trovemark"], capture_output=True, text=True).stdout)
        # Supervised: a bridge that ends is started again.
        os.kill(first, signal.SIGTERM)
        wait_for("the bridge was not started again", lambda: bridge() not in (False, first))
        companion.send_signal(signal.SIGTERM)
        if companion.wait(PATIENCE) != 0:
            sys.exit("check-package: the companion did not end cleanly")

        def status():
            run = subprocess.run([os.path.join(root, "usr/bin/TrovemarkColorAX"),
                                  '{"action":"status","section":"primaries"}'],
                                 capture_output=True, text=True)
            return run.returncode == 0 and json.loads(run.stdout)

        # The stand-in may still be starting: the helper then finds no Resolve.
        answer = wait_for("the Color helper did not answer the stand-in", status)
        if answer["section"] != "primaries" or len(answer["values"]) != 15:
            sys.exit(f"check-package: the Color helper answered {answer}")

        # trovemark-inspect finds the stand-in where the installer puts Resolve,
        # and sees the Primaries palette that the status made show.
        inspected = subprocess.run([os.path.join(root, "usr/bin/trovemark-inspect")],
                                   capture_output=True, text=True)
        said = inspected.stdout
        if (inspected.returncode != 1 or f"({resolve}/bin/resolve): reachable" not in said
                or "Verdict: the helper can work primaries now, not blur." not in said):
            sys.exit(f"check-package: trovemark-inspect said (status {inspected.returncode}):\n"
                     f"{said}{inspected.stderr}")
    finally:
        for process in (companion, standin):
            if process.poll() is None:
                process.kill()
                process.wait()
        shutil.rmtree(work, ignore_errors=True)
    print("check-package: the unpacked companion, Color helper and trovemark-inspect work")


def main():
    if sys.argv[1] == "--on-desktop":
        return on_desktop(sys.argv[2], sys.argv[3])
    if len(sys.argv) != 3 or not os.path.isfile(sys.argv[2]):
        sys.exit("check-package: usage: check_package.py BUILD_DIR trovemark_VERSION_ARCH.deb "
                 "(build the package first with `make package`)")
    build, package = sys.argv[1], sys.argv[2]
    lint = subprocess.run(["lintian", "--fail-on", "error", package], text=True,
                          capture_output=True)
    print(lint.stdout, end="")
    if lint.returncode != 0:
        sys.exit(f"check-package: lintian found errors in {package}\n{lint.stderr}")
    with tempfile.TemporaryDirectory(prefix="trovemark-root-") as root:
        subprocess.run(["dpkg-deb", "-x", package, root], check=True)
        entry = os.path.join(root, "usr/share/applications/trovemark-companion.desktop")
        validate = subprocess.run(["desktop-file-validate", entry], text=True,
                                  capture_output=True)
        if validate.returncode != 0 or validate.stdout or validate.stderr:
            sys.exit(f"check-package: desktop-file-validate: {validate.stdout}{validate.stderr}")
        subprocess.run([os.path.join(SOURCE, "scripts/with-desktop"), sys.executable,
                        os.path.abspath(__file__), "--on-desktop", os.path.abspath(build), root],
                       check=True)


if __name__ == "__main__":
    main()
