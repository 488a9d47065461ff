"""A meeting's stills and their text, the search over titles and that text, the meeting's files
served to the page, and deleting a meeting. The text is read by the real `hc-screen ocr`."""
import sqlite3
import unittest

from support import BIN_DIR, Backend, still

# hc-screen cannot record without a display; the stills are the test's own.
NO_DISPLAY = {"QV_BIN_DIR": BIN_DIR, "DISPLAY": None, "WAYLAND_DISPLAY": None}


class Meetings(unittest.TestCase):
    def setUp(self):
        self.b = Backend(env=NO_DISPLAY)
        self.addCleanup(self.b.close)

    def record(self, app: str, stills: dict[str, str]) -> str:
        """A recording with the screen whose frames folder holds `stills` (name -> text)."""
        status, reply = self.b.call("POST", "/api/native/start", {"app": app, "screen": True})
        self.assertEqual(status, 200, reply)
        mid = reply["meeting"]["id"]
        frames = self.b.data / "meetings" / mid / "frames"
        frames.mkdir(parents=True, exist_ok=True)
        for name, text in stills.items():
            still(frames / name, text)
        self.assertEqual(self.b.call("POST", "/api/native/stop", {})[0], 200)
        return mid

    def found(self, query: str) -> list[tuple[str, int | None]]:
        status, reply = self.b.call("GET", "/api/search?q=" + query.replace(" ", "+").replace("\"", "%22"))
        self.assertEqual(status, 200, reply)
        return [(m["id"], m["t"]) for m in reply["meetings"]]

    def test_the_text_on_the_stills_is_read_and_searchable(self):
        mid = self.record("Talkative", {"t00002.jpg": "Quarterly roadmap\nzebra budget",
                                        "t00007.jpg": "Hiring plan\nwombat", "t00011.jpg": ""})
        other = self.record("Quiet", {"t00000.jpg": "Travel policy"})
        part = self.b.processed(mid)["parts"][0]
        self.assertEqual([(s["t"], s["file"]) for s in part["stills"]],
                         [(2, "t00002.jpg"), (7, "t00007.jpg"), (11, "t00011.jpg")])
        texts = [s["text"] for s in part["stills"]]
        self.assertIn("zebra", texts[0].lower())
        self.assertIn("wombat", texts[1].lower())
        self.assertEqual(texts[2].strip(), "")
        self.assertTrue(any(n.startswith("The screen was not recorded: screen: ") for n in part["notes"]),
                        part["notes"])
        self.b.processed(other)

        cases = [
            ("zebra", [(mid, 2)]),
            ("WOMB", [(mid, 7)]),  # a word's beginning, in any case
            ("roadmap zebra", [(mid, 2)]),
            ("talkative", [(mid, None)]),  # the title
            ("travel", [(other, 0)]),
            ("zebra travel", []),
            ("giraffe", []),
            ("", []),
            ("\" * ( AND NEAR", []),  # the index's own syntax is taken as words
        ]
        for query, wanted in cases:
            with self.subTest(query):
                self.assertEqual(self.found(query), wanted)
        passage = self.b.call("GET", "/api/search?q=zebra")[1]["meetings"][0]["passage"]
        self.assertIn("\x02zebra\x03", passage.lower())

    def test_the_files_are_served_in_ranges_and_only_from_the_meeting(self):
        mid = self.record("Talkative", {"t00002.jpg": "Range"})
        file = self.b.data / "meetings" / mid / "frames" / "t00002.jpg"
        data = file.read_bytes()
        url = f"/media/{mid}/frames/t00002.jpg"
        cases = [
            (None, 200, data),
            ("bytes=0-9", 206, data[:10]),
            ("bytes=10-", 206, data[10:]),
            ("bytes=-4", 206, data[-4:]),
            (f"bytes=0-{len(data) + 100}", 206, data),
            (f"bytes={len(data)}-", 416, {"error": "The range lies outside the file."}),
            ("pages=1-2", 200, data),  # not a byte range: the whole file
        ]
        for wanted_range, status, body in cases:
            with self.subTest(wanted_range):
                self.assertEqual(self.b.call("GET", url, headers={"Range": wanted_range} if wanted_range else {}),
                                 (status, body))
        for path in (f"/media/{mid}/../../halcyra.db", f"/media/{mid}/%2e%2e/%2e%2e/halcyra.db",
                     f"/media/{mid}/frames", "/media/nosuchmeeting/frames/t00002.jpg"):
            with self.subTest(path):
                self.assertEqual(self.b.call("GET", path)[0], 404)

    def test_deleting_a_meeting_removes_its_folder_and_rows_and_nothing_else(self):
        gone = self.record("Talkative", {"t00002.jpg": "zebra"})
        kept = self.record("Quiet", {"t00001.jpg": "wombat"})
        self.b.processed(gone)
        self.b.processed(kept)
        self.assertEqual(self.b.call("DELETE", "/api/meetings/nosuchmeeting")[0], 404)

        status, reply = self.b.call("DELETE", f"/api/meetings/{gone}")
        self.assertEqual((status, reply), (200, {"deleted": gone}))
        self.assertFalse((self.b.data / "meetings" / gone).exists())
        self.assertEqual(self.b.call("GET", f"/api/meetings/{gone}")[0], 404)
        self.assertEqual(self.found("zebra"), [])
        self.assertEqual(self.found("talkative"), [])
        db = sqlite3.connect(self.b.data / "halcyra.db")
        self.addCleanup(db.close)
        for table, column in (("meetings", "id"), ("recordings", "meeting_id"), ("runs", "meeting_id"),
                              ("search", "meeting_id")):
            with self.subTest(table):
                self.assertEqual(db.execute(f"SELECT COUNT(*) FROM {table} WHERE {column} = ?", (gone,)).fetchone(),
                                 (0,))
        self.assertEqual(db.execute("SELECT COUNT(*) FROM stills WHERE recording_id NOT IN"
                                    " (SELECT id FROM recordings)").fetchone(), (0,))

        self.assertEqual([m["id"] for m in self.b.call("GET", "/api/meetings")[1]["meetings"]], [kept])
        self.assertTrue((self.b.data / "meetings" / kept / "frames" / "t00001.jpg").exists())
        self.assertEqual(self.found("wombat"), [(kept, 1)])

    def test_a_meeting_being_recorded_is_not_deleted(self):
        mid = self.b.call("POST", "/api/native/start", {"app": "Talkative"})[1]["meeting"]["id"]
        self.assertEqual(self.b.call("DELETE", f"/api/meetings/{mid}")[0], 409)
        self.assertTrue((self.b.data / "meetings" / mid).is_dir())
        self.assertIs(self.b.call("GET", "/api/native/status")[1]["recording"], True)
        self.assertEqual(self.b.call("POST", "/api/native/stop", {})[0], 200)
        self.assertEqual(self.b.call("DELETE", f"/api/meetings/{mid}")[0], 200)


if __name__ == "__main__":
    unittest.main()
