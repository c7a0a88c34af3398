#!/usr/bin/env python3
"""A small forwarding HTTP proxy on 127.0.0.1 for the proxy fall-back tests.

  test_proxy.py --dir WORKDIR [--lifetime SECONDS] [--route HOST:PORT=HOST:PORT ...]

Publishes {"proxy": P} in WORKDIR/ports.json and appends every request it
receives (method, absolute target, headers) to WORKDIR/requests.log. A route
sends requests for the first address (host:port, the port written out even
when it is the scheme's default) to the second one: it stands for a host that
only the proxy can reach. CONNECT tunnels (for HTTPS) follow the routes too.
"""
import argparse
import http.server
import os
import select
import socket
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serverlife  # noqa: E402

HOP_BY_HOP = {"connection", "proxy-connection", "keep-alive", "transfer-encoding", "te", "trailer",
              "upgrade", "proxy-authorization", "proxy-authenticate"}


class ProxyHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def _forward(self):
        length = int(self.headers.get("Content-Length", "0") or "0")
        body = self.rfile.read(length) if length > 0 else b""
        self.server.log.write({"method": self.command, "target": self.path,
                               "headers": [[k, v] for k, v in self.headers.items()]})
        url = urllib.parse.urlsplit(self.path)
        if url.scheme != "http" or not url.netloc:
            self._reply(400, b"absolute http URL expected")
            return
        host, _, port = self.server.route(url.netloc, 80).rpartition(":")
        path = url.path or "/"
        if url.query:
            path += "?" + url.query
        request = ["%s %s HTTP/1.1" % (self.command, path)]
        request += ["%s: %s" % (k, v) for k, v in self.headers.items() if k.lower() not in HOP_BY_HOP]
        request.append("Connection: close")
        try:
            upstream = socket.create_connection((host, int(port)), timeout=30)
        except OSError as e:
            self._reply(502, ("upstream failed: %s" % e).encode())
            return
        # The response goes back byte for byte (a missing Content-Length or a
        # connection dropped half-way stays as the server made it); only
        # "Connection: close" is added, as this connection ends with it.
        self.close_connection = True
        try:
            upstream.sendall(("\r\n".join(request) + "\r\n\r\n").encode("latin-1") + body)
            head = b""
            while b"\r\n\r\n" not in head:
                data = upstream.recv(65536)
                if not data:
                    break
                head += data
            status_end = head.find(b"\r\n")
            if status_end >= 0:
                head = head[:status_end] + b"\r\nConnection: close" + head[status_end:]
            self.wfile.write(head)
            while True:
                data = upstream.recv(1 << 20)
                if not data:
                    break
                self.wfile.write(data)
            self.wfile.flush()
        except OSError:
            pass
        finally:
            upstream.close()

    def _reply(self, code, body):
        self.send_response(code)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    do_GET = do_POST = do_HEAD = _forward

    def do_CONNECT(self):
        self.server.log.write({"method": "CONNECT", "target": self.path,
                               "headers": [[k, v] for k, v in self.headers.items()]})
        host, _, port = self.server.route(self.path, 443).rpartition(":")
        try:
            upstream = socket.create_connection((host, int(port)), timeout=30)
        except OSError:
            self.send_response(502)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        self.wfile.flush()
        # Relay both ways until either side closes.
        sockets = [self.connection, upstream]
        try:
            while True:
                readable, _, _ = select.select(sockets, [], [], 30)
                if not readable:
                    break
                for s in readable:
                    data = s.recv(65536)
                    if not data:
                        return
                    (upstream if s is self.connection else self.connection).sendall(data)
        except OSError:
            pass
        finally:
            upstream.close()
            self.close_connection = True


class ProxyServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def route(self, netloc, default_port):
        """Where to connect for host[:port]; the port defaults to the scheme's."""
        if ":" not in netloc:
            netloc = "%s:%d" % (netloc, default_port)
        return self.routes.get(netloc, netloc)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--lifetime", type=float, default=120)
    ap.add_argument("--route", action="append", default=[])
    args = ap.parse_args()
    serverlife.redirect_output(args.dir, "proxy")
    server = ProxyServer(("127.0.0.1", 0), ProxyHandler)
    server.log = serverlife.RequestLog(os.path.join(args.dir, "requests.log"))
    server.routes = dict(r.split("=", 1) for r in args.route)
    threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()
    serverlife.publish_ports(args.dir, {"proxy": server.server_address[1]})
    serverlife.run_until_stopped(args.dir, args.lifetime, [server])


if __name__ == "__main__":
    main()
