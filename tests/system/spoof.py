#!/usr/bin/env python3
"""An attacker on the namespace's link: records broadcasts to UDP port 5937 with their source,
and sends datagrams under any source address and port through a raw socket.

    spoof.py capture FILE SECONDS
        Records every datagram to the port for SECONDS, then prints one line per source:
        "source=IP:PORT datagrams=N media=N parity=N signature=N end=N other=N".
    spoof.py send FILE --as IP:PORT [--keys K,...] [--corrupt]
        Sends the recorded datagrams (only those under the route keys given), spaced as they
        were recorded, as if IP:PORT sent them. --corrupt inverts the bytes after each header
        (a media datagram's body, a parity datagram's symbol).
    spoof.py end --as IP:PORT COUNT
        Sends COUNT end-of-broadcast datagrams as if IP:PORT sent them.

Sending refuses to run outside a private network namespace made by scripts/in-private-netns.sh:
the raw socket is bound to vt0, whose veth peer must be vt1 in the same namespace and neither
of them in a bridge, so nothing it sends can leave the namespace.
"""
import argparse
import json
import os
import socket
import struct
import subprocess
import sys
import time

PORT = 5937
BROADCAST = "255.255.255.255"
DEVICE, PEER = "vt0", "vt1"
KEY_MEDIA, KEY_PARITY, KEY_END, KEY_SIGNATURE = 6666, 7777, 5555, 8888
FRAGMENT_HEADER = 8  # message number, fragment word
PARITY_HEADER = 16  # then 2 bytes per media datagram of the group, then the symbol
RECORD = struct.Struct("<d4sHH")  # seconds since the first, source address and port, length
# Paced sends catch up in bursts of at most this many datagrams, well below the 1000 that the
# kernel's loopback backlog holds.
BURST = 64


def route_key(datagram):
    return struct.unpack_from("<I", datagram)[0] if len(datagram) >= 4 else None


def links():
    # /sys may show another namespace's devices: ask the kernel through this one's netlink.
    shown = subprocess.run(["ip", "-j", "-d", "link", "show"], capture_output=True, text=True,
                           check=True).stdout
    return {link["ifname"]: link for link in json.loads(shown)}


def ensure_private_namespace():
    try:
        if os.readlink("/proc/1/ns/net") == os.readlink("/proc/self/ns/net"):
            sys.exit("spoof: this is the machine's own network namespace, refusing to send")
    except PermissionError:
        pass  # the first process's is hidden here: the veth check stands alone
    here = links()

    def alone(device, peer):
        link = here.get(device, {})
        return (link.get("link") == peer and link.get("linkinfo", {}).get("info_kind") == "veth"
                and "link_netnsid" not in link and "master" not in link)

    if not (alone(DEVICE, PEER) and alone(PEER, DEVICE)):
        sys.exit("spoof: no %s paired with %s alone here, refusing to send" % (DEVICE, PEER))


def endpoint(text):
    address, _, port = text.rpartition(":")
    return socket.inet_aton(address), int(port)


def checksum(data):
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def ip_packet(source, source_port, payload):
    destination = socket.inet_aton(BROADCAST)
    length = 8 + len(payload)
    pseudo = source + destination + struct.pack("!BBH", 0, socket.IPPROTO_UDP, length)
    udp = struct.pack("!HHHH", source_port, PORT, length, 0) + payload
    udp_sum = checksum(pseudo + udp) or 0xFFFF
    udp = udp[:6] + struct.pack("!H", udp_sum) + udp[8:]
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + length, 0, 0, 64, socket.IPPROTO_UDP, 0,
                         source, destination)
    header = header[:10] + struct.pack("!H", checksum(header)) + header[12:]
    return header + udp


class RawSender:
    def __init__(self, source):
        ensure_private_namespace()
        self.address, self.port = endpoint(source)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_RAW)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, DEVICE.encode())
        self.sent = 0

    def send(self, datagram):
        self.sock.sendto(ip_packet(self.address, self.port, datagram), (BROADCAST, 0))
        self.sent += 1


def capture(path, seconds):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    # Shares the port as the receivers do.
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4 << 20)
    sock.bind(("", PORT))
    print("spoof: capturing on UDP port %d" % PORT, file=sys.stderr, flush=True)
    sources = {}
    names = {KEY_MEDIA: "media", KEY_PARITY: "parity", KEY_SIGNATURE: "signature", KEY_END: "end"}
    start = None
    end = time.monotonic() + seconds
    with open(path, "wb") as out:
        while True:
            left = end - time.monotonic()
            if left <= 0:
                break
            sock.settimeout(left)
            try:
                datagram, (address, port) = sock.recvfrom(65536)
            except socket.timeout:
                break
            now = time.monotonic()
            start = now if start is None else start
            out.write(RECORD.pack(now - start, socket.inet_aton(address), port, len(datagram)))
            out.write(datagram)
            counts = sources.setdefault("%s:%d" % (address, port), dict.fromkeys(
                ("datagrams", "media", "parity", "signature", "end", "other"), 0))
            counts["datagrams"] += 1
            counts[names.get(route_key(datagram), "other")] += 1
    for source, counts in sources.items():
        print("source=%s %s" % (source, " ".join("%s=%d" % c for c in counts.items())))


def recorded(path):
    with open(path, "rb") as f:
        data = f.read()
    offset = 0
    while offset + RECORD.size <= len(data):
        at, _, _, length = RECORD.unpack_from(data, offset)
        offset += RECORD.size
        yield at, data[offset:offset + length]
        offset += length


def corrupted(datagram):
    key = route_key(datagram)
    if key == KEY_PARITY and len(datagram) > 4 + PARITY_HEADER:
        start = 4 + PARITY_HEADER + 2 * datagram[5]  # K media datagrams' lengths, then the symbol
    elif key == KEY_MEDIA:
        start = 4 + FRAGMENT_HEADER
    else:
        return datagram
    return datagram[:start] + bytes(b ^ 0xFF for b in datagram[start:])


def send(path, source, keys, corrupt):
    sender = RawSender(source)
    begin = time.monotonic()
    first = None
    burst = 0
    for at, datagram in recorded(path):
        if keys and route_key(datagram) not in keys:
            continue
        first = at if first is None else first
        wait = begin + (at - first) - time.monotonic()
        burst += 1
        if wait > 0 or burst >= BURST:
            time.sleep(max(wait, 0.001))
            burst = 0
        sender.send(corrupted(datagram) if corrupt else datagram)
    print("spoof: sent datagrams=%d as %s" % (sender.sent, source))


def send_ends(source, count):
    sender = RawSender(source)
    for _ in range(count):
        sender.send(struct.pack("<II", KEY_END, 0))
        time.sleep(0.001)
    print("spoof: sent datagrams=%d as %s" % (sender.sent, source))


def main():
    parser = argparse.ArgumentParser(description="Records and forges broadcasts to UDP 5937.")
    commands = parser.add_subparsers(dest="command", required=True)
    c = commands.add_parser("capture")
    c.add_argument("file")
    c.add_argument("seconds", type=float)
    s = commands.add_parser("send")
    s.add_argument("file")
    s.add_argument("--as", dest="source", required=True)
    s.add_argument("--keys", type=lambda t: {int(k) for k in t.split(",")}, default=set())
    s.add_argument("--corrupt", action="store_true")
    e = commands.add_parser("end")
    e.add_argument("--as", dest="source", required=True)
    e.add_argument("count", type=int)
    args = parser.parse_args()
    if args.command == "capture":
        capture(args.file, args.seconds)
    elif args.command == "send":
        send(args.file, args.source, args.keys, args.corrupt)
    else:
        send_ends(args.source, args.count)


if __name__ == "__main__":
    main()
