#!/usr/bin/env python3
"""A hostile sender's parity flood: parity datagrams for groups whose every media datagram is
missing, walking through every (K, P) pair a group may have, each with just enough parity to
rebuild it, so that the receiver decodes with one erasure code after another.

    bench/parity_flood.py HOST PORT SECONDS

Sends to HOST only; the bench runs it inside a private network namespace against 127.0.0.1.
Prints the datagrams and pairs sent.
"""
import socket
import struct
import sys
import time

ROUTE_KEY_PARITY = 7777
SYMBOL = 4  # the smallest symbol that holds an 8-byte datagram


def group_datagrams(k, p, number, first_message):
    lengths = struct.pack("<%dH" % k, *([8 | 0x8000] * k))  # each a whole message of 8 bytes
    for j in range(2 * k):  # 2K parity symbols rebuild 2K missing data symbols
        header = struct.pack("<IBBBBHHII", ROUTE_KEY_PARITY, 1, k, p, j, SYMBOL, number,
                             first_message, 0)
        yield header + lengths + bytes((j + i) & 0xFF for i in range(SYMBOL))


def main():
    host, port, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    end = time.monotonic() + seconds
    sent = pairs = number = 0
    message = 1000
    while time.monotonic() < end:
        for k in range(1, 64):
            for p in range(2 * k, 256 - 2 * k):
                for datagram in group_datagrams(k, p, number & 0xFFFF, message):
                    sock.sendto(datagram, (host, port))
                    sent += 1
                number += 1
                message += k
                pairs += 1
                if time.monotonic() >= end:
                    break
            if time.monotonic() >= end:
                break
    print("parity-flood datagrams=%d groups=%d" % (sent, pairs))


if __name__ == "__main__":
    main()
