"""Trovemark bridge (stand-in).

Started by the companion under Resolve's scripting runtime with one argument
(this file's path) and ZELVAN_TOKEN_FILE in its environment. On start it
writes a fresh random pairing token to that file and a 64-character
hexadecimal fingerprint to "bridge-fingerprint" in the same folder, then runs
until it receives SIGTERM. Both files are private to the user and replaced
atomically, so a reader never sees half of one.
"""

import os
import secrets
import signal
import sys
import tempfile


def write_private(path, text):
    folder = os.path.dirname(path)
    fd, temp = tempfile.mkstemp(prefix=".zelvan-", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as handle:
            handle.write(text + "\n")
            handle.flush()
            os.fsync(handle.fileno())
        os.replace(temp, path)
    except BaseException:
        try:
            os.unlink(temp)
        except OSError:
            pass
        raise


def main():
    token_file = os.environ.get("ZELVAN_TOKEN_FILE", "")
    if not os.path.isabs(token_file):
        sys.stderr.write("ZELVAN_TOKEN_FILE must name an absolute path\n")
        return 2

    os.umask(0o077)
    stopping = []
    signal.signal(signal.SIGTERM, lambda signum, frame: stopping.append(signum))

    folder = os.path.dirname(token_file)
    os.makedirs(folder, mode=0o700, exist_ok=True)
    write_private(token_file, secrets.token_urlsafe(32))
    write_private(os.path.join(folder, "bridge-fingerprint"), secrets.token_hex(32))

    while not stopping:
        signal.pause()
    return 0


if __name__ == "__main__":
    sys.exit(main())
