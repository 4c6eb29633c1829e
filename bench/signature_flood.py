#!/usr/bin/env python3
"""A hostile host's flood against a receiver that trusts a key: signature datagrams that name
the trusted key with rising counters and signatures that do not hold (each one the receiver
would have to check), signature datagrams of a key nobody trusts, malformed ones, and media
datagrams no signature covers, in turn, as fast as it can.

    bench/signature_flood.py SEED_HEX HOST PORT SECONDS

SEED_HEX is the trusted identity's seed (the identity file's key line): only its public key is
used. Sends to HOST only; the bench runs it inside a private network namespace against
127.0.0.1. Prints the datagrams sent.
"""
import hashlib
import os
import socket
import struct
import sys
import time

ROUTE_MEDIA, ROUTE_SIGNATURE = 6666, 8888

# Ed25519's public key from a seed (RFC 8032), enough to name the trusted key.
P = 2**255 - 19
D = -121665 * pow(121666, P - 2, P) % P


def add(a, b):
    x1, y1, z1, t1 = a
    x2, y2, z2, t2 = b
    aa, bb = (y1 - x1) * (y2 - x2) % P, (y1 + x1) * (y2 + x2) % P
    c, dd = 2 * t1 * t2 * D % P, 2 * z1 * z2 % P
    e, f, g, h = bb - aa, dd - c, dd + c, bb + aa
    return (e * f % P, g * h % P, f * g % P, e * h % P)


def public_key(seed):
    h = hashlib.sha512(seed).digest()
    s = int.from_bytes(h[:32], "little")
    s &= (1 << 254) - 8
    s |= 1 << 254
    gy = 4 * pow(5, P - 2, P) % P
    gx2 = (gy * gy - 1) * pow(D * gy * gy + 1, P - 2, P) % P
    gx = pow(gx2, (P + 3) // 8, P)
    if (gx * gx - gx2) % P:
        gx = gx * pow(2, (P - 1) // 4, P) % P
    if gx & 1:
        gx = P - gx
    q, r = (gx, gy, 1, gx * gy % P), (0, 1, 1, 0)
    while s:
        if s & 1:
            r = add(r, q)
        q, s = add(q, q), s >> 1
    zi = pow(r[2], P - 2, P)
    x, y = r[0] * zi % P, r[1] * zi % P
    return (y | ((x & 1) << 255)).to_bytes(32, "little")


def signature(key, counter, count=4):
    body = struct.pack("<BBHQ", 1, 0, count, counter) + key + os.urandom(16 * count)
    return struct.pack("<I", ROUTE_SIGNATURE) + body + os.urandom(64)


def main():
    seed, host, port, seconds = bytes.fromhex(sys.argv[1]), sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
    trusted, stranger = public_key(seed), os.urandom(32)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    media = struct.pack("<I", ROUTE_MEDIA) + os.urandom(1400)
    end = time.monotonic() + seconds
    sent, counter = 0, int(time.time() * 1e6) + 10**12
    while time.monotonic() < end:
        for _ in range(64):
            counter += 1
            kind = sent % 4
            if kind == 0:
                data = signature(trusted, counter)
            elif kind == 1:
                data = signature(stranger, counter)
            elif kind == 2:
                data = struct.pack("<I", ROUTE_SIGNATURE) + os.urandom(40)
            else:
                data = media[:4] + struct.pack("<II", counter & 0xFFFFFFFF, 0) + media[12:]
            try:
                sock.sendto(data, (host, port))
            except OSError:
                time.sleep(0.001)  # the loopback queue is full: let the receiver catch up
            sent += 1
    print(f"signature-flood datagrams={sent}")


if __name__ == "__main__":
    main()
