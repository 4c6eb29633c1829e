#!/usr/bin/python3
"""A stand-in for vantorel-web's HTTP side, for testing the viewer page in a browser: serves the
page files, /status with canned states, a QR-like picture, and /whep either refused (503 with a
sentence, or 500) or answered for real by a GStreamer webrtcbin sending a test picture and tone
(H.264 + Opus, every candidate in the answer). One line per request on stderr.

  web_stub_server.py [--port 8080] [--bind ADDR] [--page DIR]
                     [--states waiting,receiving,playing] [--state-seconds 2]
                     [--whep answer|503|500] [--refuse-first N]

A state "down" in the list makes /status answer 500 while it lasts. With --refuse-first N the
first N offers get 503 whatever --whep says. Prints "web_stub_server: listening on PORT" when
ready. Run it inside a private network namespace (scripts/in-private-netns.sh) or on 127.0.0.1.
"""
import argparse
import http.server
import json
import os
import re
import secrets
import sys
import threading
import time

TEXTS = {
    "waiting": "Waiting for a broadcast on UDP port 5937",
    "receiving": "Receiving from Podium",
    "no-signal": "No signal from the sender for 3 s",
    "paused": "Paused by Podium",
    "stopped": "Stopped by Podium",
    "ended": "The broadcast has ended. Waiting for the next one.",
    "audio-only": "Audio only",
    "playing": "",
}
PAGE_FILES = {
    "/": ("index.html", "text/html; charset=utf-8"),
    "/player.js": ("player.js", "text/javascript; charset=utf-8"),
    "/style.css": ("style.css", "text/css; charset=utf-8"),
    "/janus.js": ("janus.js", "text/javascript; charset=utf-8"),
}
REFUSAL = ("<!DOCTYPE html><html><body><p>All 20 places are taken: try again when a viewer "
           "leaves.</p></body></html>")
MAX_OFFER = 64 * 1024


class Answerer:
    """Answers one offer with a webrtcbin of its own fed by a test picture and tone."""

    def __init__(self):
        import gi
        gi.require_version("Gst", "1.0")
        gi.require_version("GstSdp", "1.0")
        gi.require_version("GstWebRTC", "1.0")
        from gi.repository import Gst, GstSdp, GstWebRTC
        Gst.init(None)
        self.Gst, self.GstSdp, self.GstWebRTC = Gst, GstSdp, GstWebRTC
        self.viewers = {}
        self.lock = threading.Lock()

    @staticmethod
    def payload(offer, pattern):
        match = re.search(pattern, offer, re.MULTILINE)
        return int(match.group(1)) if match else None

    def answer(self, offer):
        Gst, GstSdp, GstWebRTC = self.Gst, self.GstSdp, self.GstWebRTC
        h264 = None
        for pt in re.findall(r"^a=rtpmap:(\d+) H264/90000", offer, re.MULTILINE):
            fmtp = re.search(r"^a=fmtp:%s (.*)$" % pt, offer, re.MULTILINE)
            if fmtp and "packetization-mode=1" in fmtp.group(1) and \
                    "profile-level-id=42e01f" in fmtp.group(1):
                h264 = int(pt)
                break
        opus = self.payload(offer, r"^a=rtpmap:(\d+) opus/48000/2")
        if h264 is None or opus is None:
            return None, "no H.264 packetization-mode=1 or no Opus in the offer"
        pipeline = Gst.parse_launch(
            "webrtcbin name=webrtc bundle-policy=max-bundle "
            "videotestsrc is-live=true pattern=ball ! video/x-raw,width=640,height=360,framerate=30/1 "
            "! videoconvert ! x264enc tune=zerolatency speed-preset=ultrafast key-int-max=30 "
            "! video/x-h264,profile=constrained-baseline ! rtph264pay config-interval=-1 "
            "pt=%d ! application/x-rtp,media=video,encoding-name=H264,payload=%d ! webrtc. "
            "audiotestsrc is-live=true wave=sine volume=0.1 ! audioconvert ! audioresample "
            "! opusenc ! rtpopuspay pt=%d ! application/x-rtp,media=audio,encoding-name=OPUS,"
            "payload=%d ! webrtc." % (h264, h264, opus, opus))
        webrtc = pipeline.get_by_name("webrtc")
        gathered = threading.Event()

        def on_gathering(element, _spec):
            if element.get_property("ice-gathering-state") == GstWebRTC.WebRTCICEGatheringState.COMPLETE:
                gathered.set()
        webrtc.connect("notify::ice-gathering-state", on_gathering)
        pipeline.set_state(Gst.State.PLAYING)
        _, sdp = GstSdp.SDPMessage.new_from_text(offer)
        remote = GstWebRTC.WebRTCSessionDescription.new(GstWebRTC.WebRTCSDPType.OFFER, sdp)
        promise = Gst.Promise.new()
        webrtc.emit("set-remote-description", remote, promise)
        promise.wait()
        promise = Gst.Promise.new()
        webrtc.emit("create-answer", None, promise)
        promise.wait()
        reply = promise.get_reply()
        answer = reply.get_value("answer") if reply else None
        if answer is None:
            pipeline.set_state(Gst.State.NULL)
            return None, "webrtcbin made no answer"
        promise = Gst.Promise.new()
        webrtc.emit("set-local-description", answer, promise)
        promise.wait()
        gathered.wait(5)
        text = webrtc.get_property("local-description").sdp.as_text()
        viewer = secrets.token_hex(8)
        with self.lock:
            self.viewers[viewer] = pipeline
        return viewer, text

    def remove(self, viewer):
        with self.lock:
            pipeline = self.viewers.pop(viewer, None)
        if pipeline is None:
            return False
        pipeline.set_state(self.Gst.State.NULL)
        return True


def make_handler(options, answerer):
    started = time.monotonic()
    counts = {"offers": 0}

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *args):
            sys.stderr.write("web_stub_server: %s\n" % (fmt % args))

        def reply(self, status, body=b"", content_type="text/plain; charset=utf-8", headers=()):
            self.send_response(status)
            if body or status not in (204,):
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body)))
            for name, value in headers:
                self.send_header(name, value)
            self.end_headers()
            if body:
                self.wfile.write(body)

        def state(self):
            index = int((time.monotonic() - started) / options.state_seconds)
            return options.states[index % len(options.states)]

        def do_GET(self):
            path = self.path.split("?", 1)[0]
            if path in PAGE_FILES:
                name, kind = PAGE_FILES[path]
                with open(os.path.join(options.page, name), "rb") as f:
                    self.reply(200, f.read(), kind)
            elif path == "/status":
                state = self.state()
                if state == "down":
                    self.reply(500, b"down")
                    return
                body = json.dumps({"state": state, "text": TEXTS[state], "sender": "Podium",
                                   "viewers": len(answerer.viewers) if answerer else 0,
                                   "maxViewers": 20, "janus": "", "mountpoint": 5937})
                self.reply(200, body.encode(), "application/json",
                           [("Cache-Control", "no-store")])
            elif path == "/qr.svg":
                self.reply(200, qr_like_svg().encode(), "image/svg+xml")
            else:
                self.reply(404, b"not found")

        def do_POST(self):
            if self.path != "/whep":
                self.reply(404 if not self.path.startswith("/whep/") else 405)
                return
            length = int(self.headers.get("Content-Length", "0"))
            if length > MAX_OFFER:
                self.reply(413, headers=[("Connection", "close")])
                self.close_connection = True
                return
            offer = self.rfile.read(length).decode("utf-8", "replace")
            if self.headers.get("Content-Type", "").split(";")[0].strip() != "application/sdp":
                self.reply(415)
                return
            counts["offers"] += 1
            mode = "503" if counts["offers"] <= options.refuse_first else options.whep
            if mode == "503":
                self.reply(503, REFUSAL.encode(), "text/html; charset=utf-8")
            elif mode == "500" or answerer is None:
                self.reply(500, b"the media side failed")
            else:
                viewer, text = answerer.answer(offer)
                if viewer is None:
                    self.log_message("refused an offer: %s", text)
                    self.reply(400, text.encode())
                    return
                self.reply(201, text.encode(), "application/sdp",
                           [("Location", "/whep/" + viewer)])

        def do_DELETE(self):
            match = re.fullmatch(r"/whep/([0-9a-f]+)", self.path)
            if match and answerer and answerer.remove(match.group(1)):
                self.reply(200)
            else:
                self.reply(404)

        def do_OPTIONS(self):
            if self.path == "/whep":
                self.reply(204, headers=[("Accept-Post", "application/sdp")])
            else:
                self.reply(405)

        def do_PATCH(self):
            self.reply(405)

    return Handler


def qr_like_svg():
    """A 29-module picture with the three finder squares: it looks like the real code."""
    size, cells = 29, []
    for y in range(size):
        for x in range(size):
            finder = any(0 <= x - fx < 7 and 0 <= y - fy < 7 for fx, fy in ((0, 0), (22, 0), (0, 22)))
            if finder:
                dx, dy = (x % 22 if x >= 22 else x), (y % 22 if y >= 22 else y)
                on = dx in (0, 6) or dy in (0, 6) or (2 <= dx <= 4 and 2 <= dy <= 4)
            else:
                on = (x * 7 + y * 13 + x * y) % 5 < 2
            if on:
                cells.append('<rect x="%d" y="%d" width="1" height="1"/>' % (x + 4, y + 4))
    return ('<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 37 37" '
            'shape-rendering="crispEdges"><rect width="37" height="37" fill="#fff"/>%s</svg>'
            % "".join(cells))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--bind", default="")
    parser.add_argument("--page", default=os.path.join(here, "..", "..", "resources", "web"))
    parser.add_argument("--states", default="waiting,receiving,playing")
    parser.add_argument("--state-seconds", type=float, default=2.0)
    parser.add_argument("--whep", choices=("answer", "503", "500"), default="answer")
    parser.add_argument("--refuse-first", type=int, default=0)
    options = parser.parse_args()
    options.states = options.states.split(",")
    for state in options.states:
        if state != "down" and state not in TEXTS:
            parser.error("unknown state " + state)
    answerer = Answerer() if options.whep == "answer" else None
    server = http.server.ThreadingHTTPServer((options.bind, options.port),
                                             make_handler(options, answerer))
    server.daemon_threads = True
    print("web_stub_server: listening on %d" % server.server_address[1], file=sys.stderr,
          flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
