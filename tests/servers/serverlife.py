"""Life cycle shared by the loopback test servers.

A server is started by a test (a Windows program under Wine, which cannot
wait for a Unix child), so everything goes through its work folder:
  ports.json  written once every listener is bound (atomically renamed)
  stop        created by the test when it is done
  stopped     written by the server just before it exits
The server also ends when the folder disappears or its lifetime runs out, so
a crashed test never leaves it behind.
"""
import json
import os
import sys
import threading
import time


class RequestLog:
    """One JSON object per line, flushed at once so tests can read it live."""

    def __init__(self, path):
        self._path = path
        self._lock = threading.Lock()

    def write(self, entry):
        line = json.dumps(entry, sort_keys=True) + "\n"
        with self._lock:
            with open(self._path, "a", encoding="utf-8") as f:
                f.write(line)


def publish_ports(workdir, ports):
    tmp = os.path.join(workdir, "ports.json.tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump(ports, f)
    os.replace(tmp, os.path.join(workdir, "ports.json"))


def redirect_output(workdir, name):
    # Nobody reads our standard streams once Wine has started us.
    out = open(os.path.join(workdir, name + ".err"), "a", buffering=1, encoding="utf-8")
    sys.stdout = out
    sys.stderr = out


def run_until_stopped(workdir, lifetime, servers):
    deadline = time.monotonic() + lifetime
    stop_file = os.path.join(workdir, "stop")
    try:
        while time.monotonic() < deadline:
            if os.path.exists(stop_file) or not os.path.isdir(workdir):
                break
            time.sleep(0.05)
    finally:
        for s in servers:
            threading.Thread(target=s.shutdown, daemon=True).start()
        if os.path.isdir(workdir):
            try:
                with open(os.path.join(workdir, "stopped"), "w") as f:
                    f.write("stopped\n")
            except OSError:
                pass
        os._exit(0)
