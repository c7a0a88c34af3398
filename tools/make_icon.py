#!/usr/bin/env python3
"""Writes the game shortcut icon (.ico, 32 x 32, 32-bit colour) reproducibly.

    make_icon.py <icon file>
"""
import struct
import sys


def pixels(size: int) -> bytes:
    # A rounded blue tile with a white play triangle; rows bottom-up, BGRA.
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for x in range(size):
            corner = min(x, size - 1 - x) + min(y, size - 1 - y) < 4
            inside_triangle = 10 <= x <= 23 and abs(y - 15.5) <= (x - 10) * 0.6 and x <= 23
            if corner:
                row += bytes((0, 0, 0, 0))
            elif inside_triangle:
                row += bytes((255, 255, 255, 255))
            else:
                row += bytes((0xFF, 0x6E, 0x0E, 255))
        rows.append(bytes(row))
    return b"".join(rows)


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    size = 32
    colour = pixels(size)
    mask = bytes(size * 4)  # 1 bit per pixel, rows padded to 32 bits; alpha decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
