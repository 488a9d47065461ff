"""The meeting page and the search box in a real headless browser (Debian's chromium through
chromium-driver), over a real recording: sound from a private audio server, the screen of a
virtual display recorded by hc-screen, and a still with words on it read by hc-screen ocr."""
import itertools
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from support import BIN_DIR, AudioServer, Backend, Xvfb, still, wait_for

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    webdriver = None

BROWSER, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
PLAYER = "document.querySelector('audio.sound')"
VIDEO = "document.querySelector('video.video')"


@unittest.skipUnless(BROWSER and DRIVER and webdriver, "chromium, chromium-driver or python3-selenium is missing")
class MeetingPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cleanups = []
        try:
            cls.record()
            cls.open_browser()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for cleanup in reversed(cls.cleanups):
            cleanup()

    @classmethod
    def record(cls):
        """A recording of about 7 s with the screen, with a still that carries words at 3 s."""
        display = Xvfb()
        cls.cleanups.append(display.close)
        cls.audio = AudioServer().start()
        cls.cleanups.append(cls.audio.stop)
        cls.audio.play("speakers", 440)
        cls.b = Backend(env={**cls.audio.client_env(), "QV_BIN_DIR": BIN_DIR, "DISPLAY": display.display,
                             "WAYLAND_DISPLAY": None})
        cls.cleanups.append(cls.b.close)
        status, reply = cls.b.call("POST", "/api/native/start", {"app": "Talkative", "screen": True})
        assert status == 200, reply
        cls.mid = reply["meeting"]["id"]
        started = time.monotonic()
        frames = cls.b.data / "meetings" / cls.mid / "frames"
        assert wait_for(lambda: (frames / "t00000.jpg").exists(), 30), "hc-screen took no still"
        still(frames / "t00003.jpg", "Quarterly roadmap\nzebra crossing")
        # Something moves on the screen, so that the video runs as long as the recording.
        window = None
        for step in itertools.count():
            if time.monotonic() > started + 7:
                break
            previous, window = window, subprocess.Popen(
                ["xmessage", "-geometry", f"+{40 * (step % 20)}+{30 * (step % 15)}", f"Slide {step}"],
                env={**os.environ, "DISPLAY": display.display}, stderr=subprocess.DEVNULL)
            if previous:
                previous.kill()
                previous.wait()
            time.sleep(0.4)
        window.kill()
        window.wait()
        assert cls.b.call("POST", "/api/native/stop", {})[0] == 200
        cls.meeting = cls.b.processed(cls.mid)

    @classmethod
    def open_browser(cls):
        profile = tempfile.mkdtemp(prefix="qv-chromium-")
        cls.cleanups.append(lambda: shutil.rmtree(profile, ignore_errors=True))
        options = webdriver.ChromeOptions()
        options.binary_location = BROWSER
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run", f"--user-data-dir={profile}",
                     "--autoplay-policy=no-user-gesture-required", "--window-size=1280,900"):
            options.add_argument(flag)
        # The browser plays into the test's own audio server, never the desktop's.
        service = Service(DRIVER, env={"PULSE_SERVER": cls.audio.server, "PATH": "/usr/bin:/bin"})
        cls.driver = webdriver.Chrome(service=service, options=options)
        cls.cleanups.append(cls.driver.quit)
        cls.base = f"http://127.0.0.1:{cls.b.port}/"

    def js(self, script: str):
        return self.driver.execute_script("return " + script)

    def open(self, fragment: str):
        self.driver.get(self.base + "#" + fragment)

    def test_the_sound_plays_with_the_video_in_step_and_a_still_seeks_there(self):
        part = self.meeting["parts"][0]
        self.assertEqual(part["tracks"], ["microphone", "speakers"])
        self.assertIsNotNone(part["video"])
        self.open(f"/m/{self.mid}")
        self.assertTrue(wait_for(lambda: self.js(f"{PLAYER} && {PLAYER}.readyState >= 1 && {VIDEO}.readyState >= 1"),
                                 20), "the page's sound or video did not load")
        self.assertEqual(self.driver.find_element(By.TAG_NAME, "h2").text, "Talkative call")
        offset = part["offset"]
        self.assertTrue(-2 < offset < 3, offset)

        self.driver.execute_script(f"{PLAYER}.play()")
        self.assertTrue(wait_for(lambda: self.js(f"{PLAYER}.currentTime") > max(1.0, offset + 0.5), 20),
                        "the player's time does not advance")
        audio_time, video_time, video_paused = self.js(
            f"[{PLAYER}.currentTime, {VIDEO}.currentTime, {VIDEO}.paused]")
        self.assertFalse(video_paused, "the video does not play along: " + repr(self.js(
            f"[{PLAYER}.currentTime, {VIDEO}.currentTime, {VIDEO}.duration, {VIDEO}.readyState, {VIDEO}.error && {VIDEO}.error.message, {offset}]")))
        self.assertAlmostEqual(video_time, audio_time - offset, delta=0.6)

        self.driver.find_element(By.CSS_SELECTOR, 'li[data-file="t00003.jpg"] button').click()
        self.assertTrue(wait_for(lambda: abs(self.js(f"{VIDEO}.currentTime") - 3) < 0.8, 10),
                        f"the video is at {self.js(VIDEO + '.currentTime')}, not at the still's 3 s")
        self.assertAlmostEqual(self.js(f"{PLAYER}.currentTime") - offset, 3, delta=0.8)
        self.assertFalse(self.js(f"{PLAYER}.paused"))

        text = self.driver.find_element(By.CSS_SELECTOR, 'li[data-file="t00003.jpg"] .text').text
        self.assertIn("zebra", text.lower())
        self.driver.execute_script(f"{PLAYER}.pause()")

    def test_the_search_box_finds_a_word_on_a_still(self):
        self.open("")
        box = wait_for(lambda: self.driver.find_elements(By.ID, "q"), 10)
        self.assertTrue(box)
        box[0].send_keys("zebr")
        link = f'#list a[href="#/m/{self.mid}"]'
        self.assertTrue(wait_for(lambda: self.js("document.getElementById('heading').textContent") == "Found"
                                 and self.driver.find_elements(By.CSS_SELECTOR, link), 10), "no result")
        self.assertIn("zebra", self.driver.find_element(By.CSS_SELECTOR, "#list mark").text.lower())
        box[0].send_keys("aardvark")  # "zebraardvark": nothing
        self.assertTrue(wait_for(lambda: "Nothing found." in self.driver.find_element(By.ID, "list").text, 10))


if __name__ == "__main__":
    unittest.main()
