#!/usr/bin/env python3
"""Writes a small uncompressed 8-bit AVI clip that the common animation control
plays: a block moving across a strip, left to right or right to left."""
import struct
import sys

WIDTH, HEIGHT, FRAMES = 64, 16, 8
FRAME_USEC = 125000


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, payload):
    return kind + struct.pack("<I", len(payload) + 4) + fourcc + payload


def frame(index, right_to_left):
    stride = (WIDTH + 3) & ~3
    position = (FRAMES - 1 - index) if right_to_left else index
    block = WIDTH // FRAMES
    rows = bytearray()
    for _ in range(HEIGHT):
        row = bytearray(stride)
        for x in range(WIDTH):
            row[x] = 1 if position * block <= x < (position + 1) * block else 0
        rows += row
    return bytes(rows)


def avi(right_to_left):
    image_size = ((WIDTH + 3) & ~3) * HEIGHT
    palette = struct.pack("<4B", 255, 255, 255, 0) + struct.pack("<4B", 160, 64, 0, 0)
    avih = struct.pack("<IIIIIIIIIIIIII", FRAME_USEC, image_size * 8, 0, 0x10, FRAMES, 0, 1, image_size,
                       WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = b"vids" + b"DIB " + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, FRAME_USEC, 1000000, 0, FRAMES,
                                           image_size, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT)
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, image_size, 0, 0, 2, 2) + palette
    strl = riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf))
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) + strl)
    frames = b""
    index = b""
    offset = 4
    for i in range(FRAMES):
        data = frame(i, right_to_left)
        index += b"00db" + struct.pack("<III", 0x10, offset, len(data))
        piece = chunk(b"00db", data)
        frames += piece
        offset += len(piece)
    movi = riff_list(b"LIST", b"movi", frames)
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index))


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(avi(len(sys.argv) > 2 and sys.argv[2] == "rtl"))
