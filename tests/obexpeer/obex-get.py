#!/usr/bin/env python3
"""Fetches from an OBEX FTP server over TCP and writes the body to stdout.

Debian's obexftp client (linked with OpenOBEX 1.7) receives bodies but never
hands them out, so the peer check reads listings and files with this instead.

  obex-get.py PORT STEP... where STEP is
    cd:NAME   SETPATH into NAME          up   SETPATH with the parent flag
    ls        GET the current folder's listing
    get:NAME  GET the file NAME
Exits 1 with the failing step and response code when the server refuses one.
"""
import socket
import struct
import sys

FTP_TARGET = bytes.fromhex("F9EC7BC4953C11D2984E525400DC9E09")


def header_bytes(hi, data):
    return struct.pack(">BH", hi, len(data) + 3) + data


def name_header(name):
    return header_bytes(0x01, (name + "\0").encode("utf-16-be") if name else b"")


class Session:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        code, rest = self.request(0x80, b"\x10\x00\x04\x00" + header_bytes(0x46, FTP_TARGET))
        self.check("connect", code)
        self.cid = b""
        headers = self.parse(rest[4:])
        if 0xCB in headers:
            self.cid = bytes([0xCB]) + headers[0xCB]

    def receive(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            if not chunk:
                raise SystemExit("the server closed the connection")
            data += chunk
        return data

    def request(self, opcode, payload):
        self.sock.sendall(struct.pack(">BH", opcode, len(payload) + 3) + payload)
        code, length = struct.unpack(">BH", self.receive(3))
        if length < 3:
            raise SystemExit("packet length %d below its header" % length)
        return code, self.receive(length - 3)

    @staticmethod
    def parse(data):
        headers, i = {}, 0
        while i < len(data):
            hi = data[i]
            kind = hi >> 6
            if kind in (0, 1):
                (n,) = struct.unpack(">H", data[i + 1 : i + 3])
                if n < 3 or i + n > len(data):
                    raise SystemExit("header %02x with a bad length" % hi)
                value, i = data[i + 3 : i + n], i + n
            elif kind == 2:
                value, i = data[i + 1 : i + 2], i + 2
            else:
                value, i = data[i + 1 : i + 5], i + 5
            headers.setdefault(hi, b"")
            headers[hi] += value
        return headers

    @staticmethod
    def check(step, code):
        if code != 0xA0:
            raise SystemExit("%s: response %02x" % (step, code))

    def setpath(self, step, flags, name):
        code, _ = self.request(0x85, bytes([flags, 0]) + self.cid + (name_header(name) if flags != 3 else b""))
        self.check(step, code)

    def get(self, step, name, type_):
        payload = self.cid + name_header(name)
        if type_:
            payload += header_bytes(0x42, type_.encode() + b"\0")
        body = b""
        while True:
            code, rest = self.request(0x83, payload)
            headers = self.parse(rest)
            body += headers.get(0x48, b"") + headers.get(0x49, b"")
            if code != 0x90:
                self.check(step, code)
                return body
            payload = self.cid

    def close(self):
        self.request(0x81, self.cid)
        self.sock.close()


def main():
    session = Session(int(sys.argv[1]))
    out = sys.stdout.buffer
    for step in sys.argv[2:]:
        if step == "up":
            session.setpath(step, 3, "")
        elif step.startswith("cd:"):
            session.setpath(step, 2, step[3:])
        elif step == "ls":
            out.write(session.get(step, "", "x-obex/folder-listing"))
        elif step.startswith("get:"):
            out.write(session.get(step, step[4:], None))
        else:
            raise SystemExit("unknown step " + step)
    session.close()


if __name__ == "__main__":
    main()
