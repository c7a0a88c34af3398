#!/usr/bin/env python3
"""Report collector on 127.0.0.1 for the reporting tests (HTTPS only).

  report_collector.py --dir WORKDIR [--lifetime SECONDS]

Accepts
  POST /collect                   the report library's framed report
                                  (reportlib/README.md): header, environment
                                  and event blocks, decoded into fields
  GET|POST /report/clientreport   the HTTP channel's signed query: checks
                                  sign = md5(salt|nonce|guid of data), decodes data
and answers 200 "ok" (400 for a request it can't decode).

Work folder protocol (a Windows test under Wine can't wait for a Unix child):
  ports.json   {"https": PORT}, written once the listener is bound
  requests.log one JSON object per request, flushed at once
  stop         created by the test when it is done
  stopped      written by the collector just before it exits
The collector also ends when the folder disappears or its lifetime runs out.
The certificate is self-signed, made here with the openssl CLI.
"""
import argparse
import hashlib
import http.server
import json
import os
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

SALT = "kwz#serverDigest_482&!~"

ENV_FIELDS = [("guid", "s"), ("client_version", "Q"), ("supply_id", "I"), ("reserved_value", "Q"),
              ("os_major", "H"), ("os_minor", "H"), ("os_build", "H"), ("os_build_flags", "H"),
              ("processor_architecture", "H"), ("system_language", "H"), ("browser_version", "Q"),
              ("reserved1", "Q"), ("reserved2", "Q"), ("reserved_text", "s")]
EVENT_FIELDS = ([(n, "i") for n in ("type", "result", "error", "error_ex", "step", "result_ex")] +
                [("result_info", "s"), ("error_info", "s")] +
                [("ireserve%d" % i, "q") for i in range(10)] +
                [("strreserve%d" % i, "s") for i in range(10)])


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        if self.at + n > len(self.data):
            raise ValueError("short block")
        piece = self.data[self.at:self.at + n]
        self.at += n
        return piece

    def value(self, kind):
        if kind == "s":
            (length,) = struct.unpack(">H", self.take(2))
            raw = self.take(length)
            if length == 0 or raw[-1] != 0:
                raise ValueError("string without its zero")
            return raw[:-1].decode("utf-8", "replace")
        return struct.unpack(">" + kind, self.take(struct.calcsize(kind)))[0]


def decode_block(data, fields):
    r = Reader(data)
    out = {name: r.value(kind) for name, kind in fields}
    if r.at != len(data):
        raise ValueError("trailing bytes in block")
    return out


def decode_framed(body):
    r = Reader(body)
    if r.take(4) != b"ORVR":
        raise ValueError("not a framed report")
    (version,) = struct.unpack(">H", r.take(2))
    (header_size,) = struct.unpack(">H", r.take(2))
    header = r.take(header_size)
    (head_size,) = struct.unpack(">I", r.take(4))
    head = r.take(head_size)
    (count,) = struct.unpack(">H", r.take(2))
    events = []
    for _ in range(count):
        (size,) = struct.unpack(">I", r.take(4))
        events.append(decode_block(r.take(size), EVENT_FIELDS))
    if r.at != len(body):
        raise ValueError("trailing bytes")
    entry = {"kind": "library", "framing": version, "header_hex": header.hex()}
    if header_size == 18:
        names = ("magic", "reserved0", "version", "application", "reserved1", "reserved2", "reserved3")
        entry["header"] = dict(zip(names, struct.unpack("<HHHHIIH", header)))
    entry["environment"] = decode_block(head, ENV_FIELDS)
    entry["events"] = events
    return entry


def decode_signed(query):
    # data comes last and raw: its text may hold "&", "=" or "+" of its own.
    before, found, raw_data = query.partition("&data=")
    if not found:
        raise ValueError("no data in the query")
    params = urllib.parse.parse_qs(before, keep_blank_values=True)
    entry = {"kind": "http", "retflag": params.get("retflag", [""])[0]}
    sign = params.get("sign", [""])[0]
    nonce = params.get("nonce", [""])[0]
    data = json.loads(urllib.parse.unquote(raw_data))
    guid = data.get("guid", "") if isinstance(data, dict) else ""
    expected = hashlib.md5((SALT + "|" + nonce + "|" + guid).encode("ascii", "replace")).hexdigest()
    entry.update({"sign": sign, "nonce": nonce, "data": data, "sign_ok": sign == expected})
    return entry


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvoReportCollector/1.0"

    def log_message(self, fmt, *args):
        pass

    def _answer(self, status, body=b"ok"):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _handle(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length > 0 else b""
        path, _, query = self.path.partition("?")
        try:
            if path == "/collect" and self.command == "POST":
                entry = decode_framed(body)
            elif path == "/report/clientreport":
                entry = decode_signed(query)
            else:
                entry = None
        except (ValueError, KeyError, struct.error) as e:
            entry = {"kind": "bad", "error": str(e)}
        if entry is None:
            self._answer(404, b"")
            return
        entry.update({"method": self.command, "path": path, "user_agent": self.headers.get("User-Agent", ""),
                      "body_size": len(body)})
        self.server.log(entry)
        self._answer(400 if entry["kind"] == "bad" else 200)

    do_GET = _handle
    do_POST = _handle


def make_context(workdir):
    cert = os.path.join(workdir, "collector-cert.pem")
    key = os.path.join(workdir, "collector-key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                    "-keyout", key, "-out", cert], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    return ctx


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--lifetime", type=float, default=110)
    args = ap.parse_args()
    workdir = args.dir
    err = open(os.path.join(workdir, "collector.err"), "a", buffering=1, encoding="utf-8")
    sys.stdout = err
    sys.stderr = err

    lock = threading.Lock()
    log_path = os.path.join(workdir, "requests.log")

    def log(entry):
        line = json.dumps(entry, sort_keys=True) + "\n"
        with lock:
            with open(log_path, "a", encoding="utf-8") as f:
                f.write(line)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.log = log
    server.socket = make_context(workdir).wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    tmp = os.path.join(workdir, "ports.json.tmp")
    with open(tmp, "w", encoding="utf-8") as f:
        json.dump({"https": server.server_address[1]}, f)
    os.replace(tmp, os.path.join(workdir, "ports.json"))

    deadline = time.monotonic() + args.lifetime
    stop = os.path.join(workdir, "stop")
    try:
        while time.monotonic() < deadline and os.path.isdir(workdir) and not os.path.exists(stop):
            time.sleep(0.05)
    finally:
        threading.Thread(target=server.shutdown, daemon=True).start()
        if os.path.isdir(workdir):
            try:
                with open(os.path.join(workdir, "stopped"), "w") as f:
                    f.write("stopped\n")
            except OSError:
                pass
        os._exit(0)


if __name__ == "__main__":
    main()
