#!/usr/bin/env python3
"""Scripted HTTP and HTTPS server on 127.0.0.1 for the network tests.

  test_server.py --dir WORKDIR [--lifetime SECONDS] [--tls]

Binds ephemeral ports and publishes them in WORKDIR/ports.json:
  {"http": P, "https": P, "expired": P, "misnamed": P, "closed": P}
(the three HTTPS listeners only with --tls; their certificates are made here
with the openssl CLI: self-signed for 127.0.0.1, self-signed but expired, and
self-signed for another name; "closed" is a port nobody listens on). Every request is appended to
WORKDIR/requests.log as JSON: method, path (with query), headers, body size.

Paths (query parameters in brackets):
  /status[code, body, ctype]  that status, that body (may be empty)
  /html-open                  "<HTML>" without a closing tag
  /html-whole                 a whole page
  /gbk                        text in GBK, Content-Type names charset=GBK
  /nocharset                  UTF-8 text, Content-Type without charset
  /cookies[dup]               two Set-Cookie headers (dup: the first again, other case)
  /location                   Location: 12345
  /text[n]                    n letters a..z repeated, as text
  /pac[proxy]                 a proxy script sending everything to that proxy
  /files/NAME                  the file WORKDIR/files/NAME (404 when missing)
  any other path               the file WORKDIR/site/PATH when there is one
                              (e.g. site/downloads/xml/compoment.xml), else 404
  /report/clientreport        the report endpoint: answers --report-status with
                              --report-body (the request is in the log)
  /bytes[n, nolength, nohead, drop, piece, delay]
                              n bytes of the test pattern; nolength: no
                              Content-Length (connection closes at the end);
                              nohead: HEAD answered 405; drop: close the
                              connection after that many bytes; piece: write
                              in pieces of that size; delay: ms between pieces
"""
import argparse
import http.server
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serverlife  # noqa: E402

BLOCK = bytes(((j * 7) + (j >> 8)) & 0xFF for j in range(65536))


def pattern(offset, size):
    """Bytes [offset, offset + size) of the endless test pattern."""
    out = bytearray()
    while size > 0:
        start = offset % len(BLOCK)
        take = min(size, len(BLOCK) - start)
        out += BLOCK[start:start + take]
        offset += take
        size -= take
    return bytes(out)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvoTestServer/1.0"

    def log_message(self, fmt, *args):
        pass

    def _record(self, body_size):
        self.server.log.write({
            "listener": self.server.name,
            "method": self.command,
            "path": self.path,
            "headers": [[k, v] for k, v in self.headers.items()],
            "body_size": body_size,
        })

    def _read_body(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def do_GET(self):
        self._serve(send_body=True)

    def do_POST(self):
        self._serve(send_body=True)

    def do_HEAD(self):
        self._serve(send_body=False)

    def _simple(self, code, body, headers=(), send_body=True):
        self.send_response(code)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def _serve(self, send_body):
        body_in = self._read_body()
        self._record(len(body_in))
        url = urllib.parse.urlsplit(self.path)
        q = {k: v[-1] for k, v in urllib.parse.parse_qs(url.query, keep_blank_values=True).items()}
        path = url.path
        if path == "/status":
            ctype = q.get("ctype", "text/plain")
            self._simple(int(q.get("code", "200")), q.get("body", "").encode("utf-8"),
                         [("Content-Type", ctype)], send_body)
        elif path.startswith("/files/"):
            name = urllib.parse.unquote(path[len("/files/"):])
            full = os.path.join(self.server.files_dir, name)
            if "/" in name or "\\" in name or not os.path.isfile(full):
                self._simple(404, b"no such file", [("Content-Type", "text/plain")], send_body)
            else:
                # Streamed by the kernel (sendfile), so large bodies cost the
                # server next to no processor time.
                with open(full, "rb") as f:
                    self.send_response(200)
                    self.send_header("Content-Type", "application/octet-stream")
                    self.send_header("Content-Length", str(os.fstat(f.fileno()).st_size))
                    self.end_headers()
                    if send_body:
                        self.wfile.flush()
                        self.connection.sendfile(f)
        elif path == "/report/clientreport":
            self._simple(self.server.report_status, self.server.report_body.encode("utf-8"),
                         [("Content-Type", "application/json")], send_body)
        elif path == "/html-open":
            self._simple(200, b"<HTML><body>cut short", [("Content-Type", "text/html")], send_body)
        elif path == "/html-whole":
            self._simple(200, b"<html><body>whole</body></html>", [("Content-Type", "text/html")], send_body)
        elif path == "/gbk":
            self._simple(200, "\u4e2d\u6587".encode("gbk"), [("Content-Type", "text/plain; charset=GBK")], send_body)
        elif path == "/nocharset":
            self._simple(200, "\u4e2d\u6587".encode("utf-8"), [("Content-Type", "text/plain")], send_body)
        elif path == "/cookies":
            headers = [("Set-Cookie", "a=1; path=/"), ("Set-Cookie", "b=2")]
            if "dup" in q:
                headers.append(("Set-Cookie", "A=1; PATH=/"))
            self._simple(200, b"cookies", headers, send_body)
        elif path == "/location":
            self._simple(200, b"moved", [("Location", "12345")], send_body)
        elif path == "/pac":
            script = 'function FindProxyForURL(url, host) { return "PROXY %s"; }\n' % q.get("proxy", "")
            self._simple(200, script.encode("ascii"), [("Content-Type", "application/x-ns-proxy-autoconfig")],
                         send_body)
        elif path == "/text":
            n = int(q.get("n", "0"))
            self._simple(200, bytes(ord("a") + i % 26 for i in range(n)), [("Content-Type", "text/plain")],
                         send_body)
        elif path == "/bytes":
            self._bytes(q, send_body)
        elif self._site_file(path):
            with open(self._site_file(path), "rb") as f:
                self._simple(200, f.read(), [("Content-Type", "text/xml")], send_body)
        else:
            self._simple(404, b"no such path", [("Content-Type", "text/plain")], send_body)

    def _site_file(self, path):
        """WORKDIR/site + path when that names a file inside site/, else None."""
        site = os.path.realpath(self.server.site_dir)
        full = os.path.realpath(os.path.join(site, urllib.parse.unquote(path).lstrip("/")))
        if not full.startswith(site + os.sep) or not os.path.isfile(full):
            return None
        return full

    def _bytes(self, q, send_body):
        n = int(q.get("n", "0"))
        if not send_body and "nohead" in q:
            self._simple(405, b"", send_body=False)
            return
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if "nolength" in q:
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(n))
        self.end_headers()
        if not send_body:
            return
        limit = int(q["drop"]) if "drop" in q else n
        piece = int(q.get("piece", str(1 << 20)))
        delay = int(q.get("delay", "0")) / 1000.0
        self.wfile.flush()
        sent = 0
        while sent < limit:
            take = min(piece, limit - sent)
            self.wfile.write(pattern(sent, take))
            self.wfile.flush()
            sent += take
            if delay and sent < limit:
                time.sleep(delay)
        if "drop" in q:
            # An abrupt end: the announced length never arrives.
            self.close_connection = True
            self.connection.shutdown(2)


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, name, log, tls_context=None, port=0):
        super().__init__(("127.0.0.1", port), Handler)
        self.name = name
        self.log = log
        self.tls_context = tls_context
        self.report_status = 200
        self.report_body = '{"ret":0}'

    def finish_request(self, request, client_address):
        # The TLS handshake runs on the connection's own thread, so a client
        # that refuses our certificate never stalls the accept loop.
        if self.tls_context is not None:
            request.settimeout(30)
            request = self.tls_context.wrap_socket(request, server_side=True)
        super().finish_request(request, client_address)


CA_CONFIG = """[ ca ]
default_ca = c
[ c ]
dir = .
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = p
copy_extensions = copy
unique_subject = no
[ p ]
commonName = supplied
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = {cn}
"""


def make_certificate(folder, name, cn, san, start, end):
    """Self-signed EC certificate valid from start to end (openssl ca dates)."""
    d = os.path.join(folder, name)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "ca.cnf"), "w") as f:
        f.write(CA_CONFIG.format(cn=cn))
    open(os.path.join(d, "index.txt"), "w").close()
    with open(os.path.join(d, "serial"), "w") as f:
        f.write("01\n")
    run = lambda *args: subprocess.run(args, cwd=d, check=True, stdout=subprocess.DEVNULL,  # noqa: E731
                                       stderr=subprocess.DEVNULL, timeout=30)
    run("openssl", "req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-keyout", "key.pem", "-out", "req.csr", "-config", "ca.cnf", "-addext", "subjectAltName=" + san)
    run("openssl", "ca", "-batch", "-selfsign", "-config", "ca.cnf", "-keyfile", "key.pem", "-in", "req.csr",
        "-out", "cert.pem", "-startdate", start, "-enddate", end)
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(os.path.join(d, "cert.pem"), os.path.join(d, "key.pem"))
    return ctx


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--lifetime", type=float, default=120)
    ap.add_argument("--tls", action="store_true")
    ap.add_argument("--http-port", type=int, default=0, help="fixed port for the http listener (benchmarks)")
    ap.add_argument("--quiet-log", action="store_true", help="keep no request log (benchmarks)")
    ap.add_argument("--https-port", type=int, default=0, help="fixed port for the https listener (report host)")
    ap.add_argument("--report-status", type=int, default=200)
    ap.add_argument("--report-body", default='{"ret":0}')
    args = ap.parse_args()
    serverlife.redirect_output(args.dir, "server")
    log = serverlife.RequestLog(os.path.join(args.dir, "requests.log"))

    if args.quiet_log:
        log.write = lambda entry: None
    servers = {"http": Server("http", log, port=args.http_port)}
    if args.tls:
        certs = os.path.join(args.dir, "certs")
        start = time.strftime("%Y%m%d%H%M%SZ", time.gmtime(time.time() - 86400))
        end = time.strftime("%Y%m%d%H%M%SZ", time.gmtime(time.time() + 30 * 86400))
        servers["https"] = Server("https", log, make_certificate(
            certs, "selfsigned", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", start, end), port=args.https_port)
        servers["expired"] = Server("expired", log, make_certificate(
            certs, "expired", "127.0.0.1", "IP:127.0.0.1,DNS:localhost", "20200101000000Z", "20210101000000Z"))
        servers["misnamed"] = Server("misnamed", log, make_certificate(
            certs, "misnamed", "wrong.orvo.invalid", "DNS:wrong.orvo.invalid", start, end))
    for s in servers.values():
        s.report_status, s.report_body = args.report_status, args.report_body
        s.files_dir = os.path.join(args.dir, "files")
        s.site_dir = os.path.join(args.dir, "site")
    for s in servers.values():
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    ports = {name: s.server_address[1] for name, s in servers.items()}
    # A port nobody listens on (bound once, then released), for failed sends.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        ports["closed"] = probe.getsockname()[1]
    serverlife.publish_ports(args.dir, ports)
    serverlife.run_until_stopped(args.dir, args.lifetime, list(servers.values()))


if __name__ == "__main__":
    main()
