"""Processes the runner starts, each ended by its own PID."""

import os
import signal
import subprocess
import time

from .expect import Failure

def kill_pid(pid, sig=signal.SIGKILL):
    try:
        os.kill(pid, sig)
    except ProcessLookupError:
        pass


def end_process(proc, grace):
    """Ends one process we started, by its PID: politely, then firmly."""
    if proc is None or proc.poll() is not None:
        return
    kill_pid(proc.pid, signal.SIGTERM)
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        kill_pid(proc.pid)
        proc.wait(5)


class Xvfb:
    def __init__(self, workdir, size="1024x768x24"):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", size, "-nolisten", "tcp",
             "-noreset"], pass_fds=[write], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(workdir, "xvfb.log"), "wb"))
        os.close(write)
        number = b""
        deadline = time.time() + 15
        while not number.endswith(b"\n") and time.time() < deadline:
            chunk = os.read(read, 16)
            if not chunk:
                break
            number += chunk
        os.close(read)
        if not number.strip():
            end_process(self.proc, 2)
            raise Failure("Xvfb did not start")
        self.display = ":" + number.decode().strip()

    def stop(self):
        end_process(self.proc, 5)
