#!/usr/bin/python3
"""Opens vantorel-web's page in a headless Chromium and reports what a viewer saw: whether the
picture played (the video's time advancing and its decoded frames growing), the states and
texts the page showed, how often it connected again, when the first frame came and which local
address ICE used. Prints one JSON line and exits 0 when every expectation was met, else 1.

  web_browser.py URL [--expect-play] [--expect-state STATE]... [--expect-text TEXT]...
                 [--expect-reconnects N] [--seconds N] [--timeout N] [--screenshot FILE]
                 [--phone] [--click ID]... [--janus]

The browser needs no network beyond the page's server: no outside host is contacted by the page,
and the background services of the browser are off. Run it inside the test's private network
namespace: there the page's WebRTC host candidate is the namespace's address (mDNS names for
local addresses are turned off so that the address itself is offered).

As a module: `with Page(url) as page: page.probe()`, `page.click(id)`, `page.screenshot(file)`,
`page.ice()`; `watch(page, expectations)` runs the checks of the command line.
"""
import argparse
import json
import signal
import sys
import tempfile
import time
import urllib.parse

from selenium import webdriver
from selenium.common.exceptions import WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
DESKTOP = (1280, 720)
PHONE = {"width": 390, "height": 844, "pixelRatio": 2.0, "touch": True}
PHONE_AGENT = ("Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) "
               "Chrome/120.0 Mobile Safari/537.36")
POLL_SECONDS = 0.25
# Play: the video's clock moved this far and this many more frames were decoded.
PLAY_SECONDS = 1.0
PLAY_FRAMES = 10

# Runs before the page's own scripts: keeps every peer connection the page makes, for ICE stats.
KEEP_PEERS = """
(() => {
  const Original = window.RTCPeerConnection;
  if (!Original) return;
  window.__peers = [];
  window.RTCPeerConnection = function (...args) {
    const peer = new Original(...args);
    window.__peers.push(peer);
    return peer;
  };
  window.RTCPeerConnection.prototype = Original.prototype;
  Object.setPrototypeOf(window.RTCPeerConnection, Original);
})();
"""

PROBE = """
const video = document.getElementById('video');
const v = window.vantorel || {};
const quality = video && video.getVideoPlaybackQuality ? video.getVideoPlaybackQuality() : null;
const status = document.getElementById('status');
return {
  currentTime: video ? video.currentTime : 0,
  readyState: video ? video.readyState : 0,
  paused: video ? video.paused : true,
  muted: video ? video.muted : true,
  width: video ? video.videoWidth : 0,
  height: video ? video.videoHeight : 0,
  totalFrames: quality ? quality.totalVideoFrames : 0,
  droppedFrames: quality ? quality.droppedVideoFrames : 0,
  state: v.state || '',
  text: status && !status.hidden ? status.textContent : '',
  connected: !!v.connected,
  reconnects: v.reconnects || 0,
  firstFrameAt: v.firstFrameAt === undefined ? null : v.firstFrameAt,
  frameLog: v.frames ? v.frames.length : 0,
  via: v.via || '',
};
"""

# The local and remote candidates of the pair ICE chose on the page's last peer connection.
ICE = """
const done = arguments[arguments.length - 1];
const peers = window.__peers || [];
const peer = peers[peers.length - 1];
if (!peer) { done(null); return; }
peer.getStats().then((report) => {
  let pair = null;
  const byId = new Map();
  report.forEach((s) => byId.set(s.id, s));
  report.forEach((s) => {
    if (s.type === 'transport' && s.selectedCandidatePairId) pair = byId.get(s.selectedCandidatePairId);
  });
  if (!pair) report.forEach((s) => { if (s.type === 'candidate-pair' && s.nominated) pair = s; });
  const side = (id) => {
    const c = id && byId.get(id);
    return c ? {address: c.address || c.ip, port: c.port, type: c.candidateType,
                protocol: c.protocol} : null;
  };
  done(pair ? {state: pair.state, local: side(pair.localCandidateId),
               remote: side(pair.remoteCandidateId)} : {state: 'none'});
}).catch((e) => done({error: String(e)}));
"""


class Page:
    """A headless Chromium showing one page, in a profile folder of its own removed at exit."""

    def __init__(self, url, phone=False):
        self.url = url
        self.profile = tempfile.TemporaryDirectory(prefix="vantorel-browser-")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless=new", "--no-sandbox", "--autoplay-policy=no-user-gesture-required",
                     "--disable-features=WebRtcHideLocalIpsWithMdns",
                     "--use-fake-ui-for-media-stream", "--user-data-dir=" + self.profile.name,
                     "--window-size=%d,%d" % DESKTOP, "--disable-dev-shm-usage",
                     "--no-first-run", "--no-default-browser-check",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--disable-default-apps", "--mute-audio"):
            options.add_argument(flag)
        if phone:
            options.add_experimental_option("mobileEmulation",
                                            {"deviceMetrics": PHONE, "userAgent": PHONE_AGENT})
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except Exception:
            self.profile.cleanup()
            raise
        self.driver.set_script_timeout(10)
        if not phone:
            # The window's size includes the browser's own bars: make the page's area the size.
            self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": DESKTOP[0], "height": DESKTOP[1], "deviceScaleFactor": 1,
                "mobile": False})
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": KEEP_PEERS})
        self.driver.get(url)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def close(self):
        try:
            self.leave()
            self.driver.quit()
        finally:
            self.profile.cleanup()

    def leave(self):
        """Goes away from the page as a viewer closing it would (the page lets its viewer go)."""
        try:
            self.driver.get("about:blank")
        except WebDriverException:
            pass

    def probe(self):
        return self.driver.execute_script(PROBE)

    def ice(self):
        return self.driver.execute_async_script(ICE)

    def click(self, element_id):
        self.driver.find_element(By.ID, element_id).click()

    def text_of(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def run(self, script, *args):
        return self.driver.execute_script(script, *args)

    def screenshot(self, path):
        self.driver.save_screenshot(path)

    def console(self):
        try:
            return [entry["message"] for entry in self.driver.get_log("browser")]
        except WebDriverException:
            return []


def add_seen(seen, value):
    if value and (not seen or seen[-1] != value) and value not in seen:
        seen.append(value)


def watch(page, expect_play=False, states=(), texts=(), reconnects=0, seconds=3.0, timeout=30.0):
    """Waits up to `timeout` s for every expectation, then watches `seconds` s more (the picture
    must keep playing through them). Returns (ok, report)."""
    report = {"url": page.url, "played": False, "states": [], "texts": [], "reconnects": 0}
    base = None  # the first sample with a picture
    played_at = None
    met_at = None
    deadline = time.monotonic() + timeout
    sample = {}

    def missing():
        lacks = []
        if expect_play and played_at is None:
            lacks.append("play")
        lacks += ["state " + s for s in states if s not in report["states"]]
        lacks += ["text " + repr(t) for t in texts if not any(t in s for s in report["texts"])]
        if report["reconnects"] < reconnects:
            lacks.append("%d reconnects" % reconnects)
        return lacks

    previous = None
    advanced = [0.0, 0]  # the video's time and frames since the expectations were met
    while True:
        now = time.monotonic()
        sample = page.probe()
        add_seen(report["states"], sample["state"])
        add_seen(report["texts"], sample["text"])
        if sample["reconnects"] > report["reconnects"]:
            # A fresh connection: play counts again from its own picture on.
            report["reconnects"] = sample["reconnects"]
            base = played_at = None
        if previous is not None and sample["currentTime"] < previous["currentTime"]:
            base = None  # a new stream in the video: its time and frames start again
        elif previous is not None and met_at is not None:
            advanced[0] += sample["currentTime"] - previous["currentTime"]
            advanced[1] += max(0, sample["totalFrames"] - previous["totalFrames"])
        previous = sample
        if base is None and sample["readyState"] >= 2:
            base = sample
        if (played_at is None and base is not None
                and sample["currentTime"] - base["currentTime"] >= PLAY_SECONDS
                and sample["totalFrames"] - base["totalFrames"] >= PLAY_FRAMES):
            played_at = sample
        if met_at is None and not missing():
            met_at = (now, sample)
        if met_at is not None and now - met_at[0] >= seconds:
            break
        if met_at is None and now >= deadline:
            break
        time.sleep(POLL_SECONDS)

    report["played"] = played_at is not None
    report.update({
        "frames": sample.get("totalFrames", 0),
        "droppedFrames": sample.get("droppedFrames", 0),
        "currentTime": round(sample.get("currentTime", 0), 3),
        "videoSize": [sample.get("width", 0), sample.get("height", 0)],
        "connected": sample.get("connected", False),
        "firstFrameAt": (None if sample.get("firstFrameAt") is None
                         else round(sample["firstFrameAt"], 1)),
        "frameLog": sample.get("frameLog", 0),
        "via": sample.get("via", ""),
        "ice": page.ice(),
    })
    lacks = missing()
    if not lacks and expect_play and (advanced[1] == 0 or advanced[0] < seconds / 2):
        lacks.append("the picture stopped after it played")
    report["ok"] = not lacks
    if lacks:
        report["missing"] = lacks
        report["console"] = page.console()[-10:]
    return report["ok"], report


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("url")
    parser.add_argument("--expect-play", action="store_true",
                        help="the picture must play (its time advancing, frames decoded)")
    parser.add_argument("--expect-state", action="append", default=[], metavar="STATE",
                        help="the page must show this state of the broadcast (repeatable)")
    parser.add_argument("--expect-text", action="append", default=[], metavar="TEXT",
                        help="the status line must show a text containing TEXT (repeatable)")
    parser.add_argument("--expect-reconnects", type=int, default=0, metavar="N",
                        help="the page must have connected again at least N times")
    parser.add_argument("--seconds", type=float, default=3.0, metavar="N",
                        help="how long to watch once the expectations are met (default 3)")
    parser.add_argument("--timeout", type=float, default=30.0, metavar="N",
                        help="how long to wait for the expectations (default 30)")
    parser.add_argument("--screenshot", metavar="FILE", help="a PNG of the page at the end")
    parser.add_argument("--phone", action="store_true", help="a 390x844 phone screen")
    parser.add_argument("--click", action="append", default=[], metavar="ID",
                        help="click the element with this id once the page is open (repeatable)")
    parser.add_argument("--janus", action="store_true",
                        help="receive through the Janus server (adds via=janus to the address)")
    args = parser.parse_args()
    # Stopped by a test's clean-up: close the browser and its driver on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    url = args.url
    if args.janus:
        parts = urllib.parse.urlsplit(url)
        query = urllib.parse.parse_qsl(parts.query) + [("via", "janus")]
        url = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
    try:
        with Page(url, phone=args.phone) as page:
            for element_id in args.click:
                page.click(element_id)
            ok, report = watch(page, args.expect_play, args.expect_state, args.expect_text,
                               args.expect_reconnects, args.seconds, args.timeout)
            if args.screenshot:
                page.screenshot(args.screenshot)
    except WebDriverException as error:
        print(json.dumps({"ok": False, "url": url, "error": error.msg or str(error)}))
        return 1
    print(json.dumps(report))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
