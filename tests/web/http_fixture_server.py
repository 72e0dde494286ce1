#!/usr/bin/env python3
"""A small HTTP server for the web tests, on 127.0.0.1 only.

Prints its port on the first line of standard output, then serves:
  /status/NNN          "HTTP/1.0 NNN ..." with a short body
  /big/N               a 200 reply whose body is N bytes
  /silent              accepts, reads the request, never answers
  /stall               a 200 header promising 1000 bytes, then 7 bytes and nothing more
  /endless             a 200 reply without length whose body never ends
  /echo                a 200 reply whose body is the request received
  /noblank             a status line and body without an empty line
  /slow/NAME?rate=R&after=A  file NAME from the root, the first A bytes at once, then R bytes a second
  anything else        the file in the root named by the quoted path with its query,
                       else by the quoted path alone
A request without a protocol version is answered with the bare body.
"""
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

root = sys.argv[1]


def file_for(target):
    return os.path.join(root, urllib.parse.quote(target, safe=""))


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = b""
        self.request.settimeout(10)
        while b"\r\n\r\n" not in data and b"\n\n" not in data:
            chunk = self.request.recv(4096)
            if not chunk:
                break
            data += chunk
        return data

    def send(self, simple, status, body, extra=b""):
        if simple:
            self.request.sendall(body)
            return
        head = b"HTTP/1.0 " + status + b"\r\nServer: fixture\r\nContent-Length: " + str(len(body)).encode() + b"\r\n" + extra + b"\r\n"
        self.request.sendall(head + body)

    def handle(self):
        raw = self.read_request()
        line = raw.split(b"\r\n", 1)[0].split(b"\n", 1)[0].decode("latin-1")
        words = line.split(" ")
        if len(words) < 2:
            return
        target = words[1]
        simple = len(words) == 2
        if target.startswith("http://"):
            target = "/" + target.split("/", 3)[3] if target.count("/") >= 3 else "/"
        path = target.split("?", 1)[0]
        query = urllib.parse.parse_qs(target.split("?", 1)[1]) if "?" in target else {}
        try:
            if path.startswith("/status/"):
                code = path[8:].encode()
                self.send(simple, code + b" Whatever", b"body of " + code + b"\n")
            elif path.startswith("/big/"):
                n = int(path[5:])
                self.send(simple, b"200 OK", bytes((i % 251 for i in range(n))))
            elif path == "/silent":
                time.sleep(60)
            elif path == "/stall":
                self.request.sendall(b"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\npartial")
                time.sleep(60)
            elif path == "/endless":
                self.request.sendall(b"HTTP/1.0 200 OK\r\n\r\n")
                while True:
                    self.request.sendall(b"x" * 4096)
                    time.sleep(0.01)
            elif path == "/echo":
                self.send(simple, b"200 OK", raw)
            elif path == "/noblank":
                self.request.sendall(b"HTTP/1.0 200 OK\r\nbody without header end")
            elif path.startswith("/slow/"):
                with open(os.path.join(root, path[6:]), "rb") as f:
                    data = f.read()
                rate = int(query.get("rate", ["16000"])[0])
                after = int(query.get("after", ["0"])[0])
                self.request.sendall(data[:after])
                pos = after
                while pos < len(data):
                    step = max(1, rate // 10)
                    self.request.sendall(data[pos:pos + step])
                    pos += step
                    time.sleep(0.1)
            else:
                name = file_for(target)
                if not os.path.isfile(name):
                    name = file_for(path)
                if not os.path.isfile(name):
                    self.send(simple, b"404 Not Found", b"not here\n")
                    return
                with open(name, "rb") as f:
                    self.send(simple, b"200 OK", f.read())
        except (BrokenPipeError, ConnectionResetError, socket.timeout):
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
# End with the test: standard input closes when the test process goes away.
sys.stdin.read()
