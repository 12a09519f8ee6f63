"""Starts a private Xvfb screen: used by the tests, the benchmarks and the
screenshot tool on machines without a display."""

import os
import subprocess


def start_xvfb():
    """Start Xvfb on a free display; return (process, display name)."""
    read_end, write_end = os.pipe()
    process = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp",
         "-screen", "0", "1280x1024x24"],
        pass_fds=(write_end,),
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip():
        process.kill()
        raise RuntimeError("Xvfb did not report a display")
    return process, ":" + number.decode().strip()
