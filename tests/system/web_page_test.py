#!/usr/bin/python3
"""The viewer page in a headless Chromium against web_stub_server.py, inside a private network
namespace that the test makes itself (scripts/in-private-netns.sh):
  - refused offers (503): the page shows the server's sentence and tries again every 1-2 s;
    the states of the broadcast show as their texts, "playing" as nothing;
  - answered offers (a real webrtcbin): the picture plays over ICE on the namespace's address,
    a failing /status shows as "Connecting..." while the picture goes on,
    the buttons mute and unmute, go full screen and back, the code hides and stays hidden on
    the next visit, and leaving the page deletes the viewer on the server.
  web_page_test.py [SCREENSHOT_FOLDER]      (screenshots of the desktop and the phone layouts)
"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ADDRESS = "10.77.0.1"

# In the namespace the script runs as the process that in-private-netns.sh made (same pid).
if os.environ.get("VANTOREL_NETNS_INSIDE") != "%d-inside" % os.getpid():
    os.execv(os.path.join(ROOT, "scripts", "in-private-netns.sh"),
             ["in-private-netns.sh", sys.executable, os.path.abspath(__file__)] + sys.argv[1:])

sys.path.insert(0, HERE)
import web_browser  # noqa: E402

failures = []


def check(condition, what, report=None):
    if not condition:
        failures.append(what)
        print("FAIL: %s%s" % (what, "" if report is None else " %s" % report), file=sys.stderr)


class Stub:
    """web_stub_server.py on PORT with ARGS, its log in a file."""

    def __init__(self, work, port, *args):
        self.port = port
        self.log_path = os.path.join(work, "stub-%d.err" % port)
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "web_stub_server.py"), "--port", str(port)]
            + list(args), stderr=self.log)
        for _ in range(100):
            with open(self.log_path) as f:
                if "listening on" in f.read():
                    return
            time.sleep(0.1)
        raise RuntimeError("the stub server did not start")

    def url(self):
        return "http://%s:%d/" % (ADDRESS, self.port)

    def lines(self, text):
        with open(self.log_path) as f:
            return [line for line in f if text in line]

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.process.terminate()
        self.process.wait()
        self.log.close()


def refused(work, shots):
    with Stub(work, 8081, "--whep", "503", "--states", "waiting,down,playing,audio-only",
              "--state-seconds", "1.5") as stub:
        with web_browser.Page(stub.url()) as page:
            ok, report = web_browser.watch(
                page, states=("waiting", "playing", "audio-only"),
                texts=("All 20 places are taken",), reconnects=3, seconds=0.5,
                timeout=30)
            check(ok, "refused offers: states, texts and retries", report)
            # While refused the sentence stays over the state; "playing" never shows a text.
            check("Waiting for a broadcast" not in " ".join(report["texts"]),
                  "the state hid the refusal", report)
            if shots:
                page.screenshot(os.path.join(shots, "refused-desktop.png"))
        posts = stub.lines("POST /whep")
        check(len(posts) >= 3, "the page did not keep offering: %d offers" % len(posts))


def answered(work, shots):
    # While refused, the refusal's sentence stands over a failing /status; a connected page
    # shows the failure for as long as it lasts (3 s here, a dozen of the harness's looks).
    with Stub(work, 8082, "--whep", "answer", "--states", "receiving,down,playing",
              "--state-seconds", "3") as stub:
        with web_browser.Page(stub.url()) as page:
            ok, report = web_browser.watch(page, expect_play=True, states=("playing",),
                                           texts=("Connecting...",), seconds=2, timeout=30)
            check(ok, "no play", report)
            ice = report.get("ice") or {}
            check((ice.get("local") or {}).get("address") == ADDRESS,
                  "ICE did not use the namespace's address", ice)
            check(report["frameLog"] > 0 and report["firstFrameAt"] is not None,
                  "no frames logged", report)
            check(page.probe()["muted"], "the picture did not start muted")
            page.click("unmute")
            check(not page.probe()["muted"] and page.text_of("unmute") == "Mute", "unmute")
            page.click("unmute")
            check(page.probe()["muted"] and page.text_of("unmute") == "Unmute", "mute again")
            page.click("fullscreen")
            time.sleep(0.5)
            check(page.run("return document.fullscreenElement && document.fullscreenElement.id")
                  == "player", "the player is not in full screen")
            check(page.text_of("fullscreen") == "Exit full screen", "full screen label")
            if shots:
                page.screenshot(os.path.join(shots, "fullscreen.png"))
            page.click("fullscreen")
            time.sleep(0.5)
            check(page.run("return document.fullscreenElement") is None, "full screen stayed")
            page.click("share-toggle")
            check(page.run("return document.getElementById('share-body').hidden"),
                  "the code did not hide")
            page.driver.refresh()
            time.sleep(1)
            check(page.run("return document.getElementById('share-body').hidden"),
                  "the hidden code showed again on the next visit")
            check(page.text_of("share-toggle") == "Show code", "share toggle label")
            page.click("share-toggle")
            if shots:
                web_browser.watch(page, expect_play=True, seconds=1, timeout=20)
                page.screenshot(os.path.join(shots, "playing-desktop.png"))
        with web_browser.Page(stub.url(), phone=True) as page:
            ok, report = web_browser.watch(page, expect_play=True, seconds=1, timeout=30)
            check(ok, "no play on the phone", report)
            if shots:
                page.screenshot(os.path.join(shots, "playing-phone.png"))
        time.sleep(1)
        created = len(stub.lines('POST /whep HTTP/1.1" 201'))
        deleted = len(stub.lines('DELETE /whep/'))
        check(created >= 3 and deleted == created,
              "viewers not deleted on leaving: %d created, %d deleted" % (created, deleted))


def main():
    shots = sys.argv[1] if len(sys.argv) > 1 else None
    if shots:
        os.makedirs(shots, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        refused(work, shots)
        answered(work, shots)
    print("FAIL" if failures else "PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
