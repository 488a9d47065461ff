"""The meeting's sound, recorded for real from a private audio server: the microphone and what the
speakers play, each in its own Opus track, and what happens when a device, the encoder or the
backend itself goes away."""
import json
import os
import signal
import time
import unittest
from pathlib import Path

from support import AudioServer, Backend, alive, decode, streams, tone_level, wait_for

SPEAKERS_TONE, MICROPHONE_TONE = 440, 660
LOUD = 200  # a played tone's level is about 2000; silence and leaks stay far below this
# A recording's sound starts a moment after the recording (the audio server delivers the first
# samples a little after a recorder connects), and never runs longer.
EARLY, LATE = 1.5, 0.5


class Sound(unittest.TestCase):
    def setUp(self):
        self.audio = AudioServer().start()
        self.addCleanup(self.audio.stop)
        self.audio.play("speakers", SPEAKERS_TONE)
        self.audio.play("mic_feed", MICROPHONE_TONE)

    def backend(self, **options) -> Backend:
        env = options.pop("env", self.audio.client_env())
        b = Backend(env=env, **options)
        self.addCleanup(b.close)
        return b

    def start(self, b: Backend, body=None, capturing: int = 2) -> tuple[str, float]:
        """Starts a recording; its meeting id, and since when the audio server has had the
        `capturing` readers of the recording. On a busy machine that is well after the answer,
        and a track can only hold what was captured."""
        status, reply = b.call("POST", "/api/native/start", body or {"app": "Talkative"})
        self.assertEqual(status, 200, reply)
        since = time.monotonic()

        def captured():
            asked = time.monotonic()
            outputs = json.loads(self.audio.pactl("-f", "json", "list", "source-outputs"))
            names = [o.get("properties", {}).get("media.name", "") for o in outputs]
            return asked if sum(n.startswith("Quorvia ") for n in names) >= capturing else None

        if capturing:
            since = wait_for(captured, 10) or since
        return reply["meeting"]["id"], since

    def stop(self, b: Backend, since: float, after: float) -> float:
        """Stops once `after` seconds have passed since `since`; the recording's length."""
        time.sleep(max(0.0, since + after - time.monotonic()))
        elapsed = time.monotonic() - since
        status, reply = b.call("POST", "/api/native/stop", {})
        self.assertEqual(status, 200, reply)
        return elapsed

    def assertLength(self, seconds: float, wanted: float, what: str = "track", early: float = EARLY):
        self.assertTrue(wanted - early <= seconds <= wanted + LATE, f"{what}: {seconds} s, not about {wanted} s")

    def assertTone(self, samples, wanted: int, other: int, what: str):
        level, leak = tone_level(samples, wanted), tone_level(samples, other)
        self.assertGreater(level, LOUD, f"{what}: the {wanted} Hz tone is missing")
        self.assertLess(leak, level / 10, f"{what}: the {other} Hz tone does not belong here")

    def test_each_device_gets_its_own_opus_track(self):
        b = self.backend()
        mid, since = self.start(b)
        elapsed = self.stop(b, since, 5)
        file = b.data / "meetings" / mid / "audio.ogg"
        found = streams(file)
        self.assertEqual([(s["codec_type"], s["codec_name"]) for s in found], [("audio", "opus")] * 2)
        self.assertEqual([s["tags"]["title"] for s in found], ["Microphone", "Speakers"])
        for s in found:
            self.assertLength(float(s["duration"]), elapsed)
        self.assertTone(decode(file, 0), MICROPHONE_TONE, SPEAKERS_TONE, "microphone track")
        self.assertTone(decode(file, 1), SPEAKERS_TONE, MICROPHONE_TONE, "speakers track")

        part = b.processed(mid)["parts"][0]
        self.assertEqual((part["tracks"], part["notes"]), (["microphone", "speakers"], []))
        self.assertEqual(part["audio"], f"/media/{mid}/mix.ogg")
        mixed = decode(b.data / "meetings" / mid / "mix.ogg", 0)
        for tone in (SPEAKERS_TONE, MICROPHONE_TONE):
            self.assertGreater(tone_level(mixed, tone), LOUD / 2, f"the mix lacks {tone} Hz")
        status, served = b.call("GET", part["audio"], headers={"Range": "bytes=0-3"})
        self.assertEqual((status, served), (206, b"OggS"))

    def test_a_microphone_that_goes_away_ends_its_track_only(self):
        b = self.backend()
        mid, since = self.start(b)
        time.sleep(3)
        self.audio.remove_microphone()
        gone = time.monotonic() - since
        time.sleep(1.5)
        self.assertIs(b.call("GET", "/api/native/status")[1]["recording"], True)
        elapsed = self.stop(b, since, 7)
        file = b.data / "meetings" / mid / "audio.ogg"
        microphone, speakers = (float(s["duration"]) for s in streams(file))
        self.assertLength(microphone, gone, "microphone")
        self.assertLength(speakers, elapsed, "speakers")
        self.assertGreater(speakers - microphone, 2.0)
        # The audio server moves a stream whose device went away; it must not go on recording
        # the speakers in the microphone's track.
        self.assertTone(decode(file, 0), MICROPHONE_TONE, SPEAKERS_TONE, "microphone track")
        notes = b.processed(mid)["parts"][0]["notes"]
        self.assertEqual(len(notes), 1, notes)
        self.assertRegex(notes[0], r"^The microphone went away at 0:0[2-5]; its track ends there\.$")

    def test_a_killed_encoder_leaves_a_playable_file_and_the_recording_goes_on(self):
        b = self.backend()
        mid, since = self.start(b)
        encoder = wait_for(lambda: [pid for pid, name in b.helpers().items() if name == "ffmpeg"], 10)
        self.assertEqual(len(encoder), 1)
        time.sleep(3)
        os.kill(encoder[0], signal.SIGKILL)
        killed = time.monotonic() - since
        time.sleep(1.5)
        self.assertIs(b.call("GET", "/api/native/status")[1]["recording"], True)
        file = b.data / "meetings" / mid / "audio.ogg"
        for track, (wanted, other) in enumerate([(MICROPHONE_TONE, SPEAKERS_TONE), (SPEAKERS_TONE, MICROPHONE_TONE)]):
            samples = decode(file, track, finished=False)
            # What the encoder had not written out yet is lost: at most about a second.
            self.assertLength(len(samples) / 8000, killed, f"track {track}", early=EARLY + 1)
            self.assertTone(samples, wanted, other, f"track {track}")
        self.stop(b, since, 5)
        self.assertEqual(wait_for(lambda: not b.helpers(), 10), True, b.helpers())
        notes = b.processed(mid)["parts"][0]["notes"]
        self.assertTrue(any(n.startswith("The sound stops at 0:0") and "encoder ended early" in n for n in notes),
                        notes)

    def test_a_backend_that_ends_leaves_finished_files_and_no_recorder(self):
        cases = [
            # how it ends, and the notes the next start leaves on the recording
            ("killed", Backend.kill, ["The recording ended when the backend stopped unexpectedly."]),
            ("stopped as the agent stops it", Backend.stop, []),
        ]
        for what, end, notes in cases:
            with self.subTest(what):
                first = self.backend()
                mid, since = self.start(first)
                helpers = wait_for(
                    lambda: (h := first.helpers()) and sorted(h.values()).count("parec") == 2 and h, 10)
                self.assertTrue(helpers)
                time.sleep(3)
                end(first)
                ended = time.monotonic() - since
                self.assertTrue(wait_for(lambda: not any(alive(pid) for pid in helpers), 15),
                                "the recorders outlived the backend")
                file = first.data / "meetings" / mid / "audio.ogg"
                for track in (0, 1):  # finished by the encoder itself
                    self.assertLength(len(decode(file, track)) / 8000, ended, f"track {track}")

                second = self.backend(data=str(first.data))
                self.assertIs(second.call("GET", "/api/native/status")[1]["recording"], False)
                part = second.processed(mid)["parts"][0]
                self.assertEqual(part["tracks"], ["microphone", "speakers"])
                self.assertEqual(part["audio"], f"/media/{mid}/mix.ogg")
                self.assertEqual(part["notes"], notes)
                second.stop()

    def test_what_is_missing_is_noted_and_the_recording_still_runs(self):
        cases = [
            ("no audio server", {"PULSE_SERVER": "unix:/nonexistent/native"}, False, [],
             "No sound was recorded: no audio server answered."),
            ("no microphone", None, True, ["speakers"],
             "No microphone was found: only what the speakers played was recorded."),
        ]
        for what, env, remove_microphone, tracks, note in cases:
            with self.subTest(what):
                if remove_microphone:
                    self.audio.remove_microphone()
                b = self.backend(env=env or self.audio.client_env())
                mid, since = self.start(b, capturing=len(tracks))
                self.assertIs(b.call("GET", "/api/native/status")[1]["recording"], True)
                self.stop(b, since, 2)
                part = b.processed(mid)["parts"][0]
                self.assertEqual((part["tracks"], part["notes"]), (tracks, [note]))
                file = b.data / "meetings" / mid / "audio.ogg"
                self.assertEqual(file.exists(), bool(tracks))
                if tracks:
                    self.assertEqual([s["tags"]["title"] for s in streams(file)], ["Speakers"])
                    self.assertEqual(part["audio"], f"/media/{mid}/audio.ogg")

    def test_an_added_recording_keeps_the_earlier_ones(self):
        b = self.backend()
        event = {"id": "sync", "title": "Weekly sync", "start": "2030-01-01T10:00:00Z"}
        mid, since = self.start(b, {"event": event})
        self.stop(b, since, 2)
        first = b.data / "meetings" / mid / "audio.ogg"
        before = first.stat()
        self.assertEqual(b.call("POST", "/api/native/start", {"event": event})[0], 409)
        for mode, folder in (("append", "2"), ("replace", "3")):
            again, since = self.start(b, {"event": event, "mode": mode})
            self.assertEqual(again, mid)
            self.stop(b, since, 2)
            self.assertEqual(len(streams(b.data / "meetings" / mid / folder / "audio.ogg")), 2)
        after = first.stat()
        self.assertEqual((after.st_size, after.st_mtime_ns), (before.st_size, before.st_mtime_ns))
        parts = b.processed(mid)["parts"]
        self.assertEqual([p["audio"] for p in parts], [f"/media/{mid}/3/mix.ogg"], "a replaced recording leaves the page")
        self.assertTrue((b.data / "meetings" / mid / "2" / "audio.ogg").exists())


if __name__ == "__main__":
    unittest.main()
