"""The stand-in backend's contract, served by uvicorn through the agent's own command line."""
import json
import re
import time
import unittest
from datetime import datetime, timedelta, timezone

from support import Backend

ISO = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")


def iso(when: datetime) -> str:
    return when.astimezone(timezone.utc).replace(microsecond=0).isoformat().replace("+00:00", "Z")


class Contract(unittest.TestCase):
    def setUp(self):
        self.b = Backend(control=True)
        self.addCleanup(self.b.close)

    def test_status_of_a_fresh_backend(self):
        status, body = self.b.call("GET", "/api/native/status")
        self.assertEqual(status, 200)
        self.assertEqual(body, {"recording": False, "browser_recording": False, "setup_done": False})
        self.assertTrue((self.b.data / "halcyra.db").exists())

    def test_setup_done_is_kept(self):
        self.assertEqual(self.b.call("POST", "/api/setup", {"done": True})[0], 200)
        self.assertTrue(self.b.call("GET", "/api/native/status")[1]["setup_done"])
        self.assertEqual(self.b.call("POST", "/api/setup", {"done": "yes"})[0], 400)

    def test_start_status_stop(self):
        status, body = self.b.call("POST", "/api/native/start", {"app": "Zoom"})
        self.assertEqual(status, 200)
        mid = body["meeting"]["id"]
        self.assertEqual(body["meeting"]["title"], "Zoom call")
        st = self.b.call("GET", "/api/native/status")[1]
        self.assertTrue(st["recording"])
        self.assertEqual(st["meeting_id"], mid)
        self.assertRegex(st["started_at"], ISO)

        status, body = self.b.call("POST", "/api/native/start", {})
        self.assertEqual(status, 409)
        self.assertIsInstance(body["error"], str)
        self.assertNotIn("needs_mode", body)

        status, body = self.b.call("POST", "/api/native/stop", {})
        self.assertEqual(status, 200)
        self.assertEqual(body["meeting_id"], mid)
        self.assertIsInstance(body["run_id"], str)
        self.assertFalse(self.b.call("GET", "/api/native/status")[1]["recording"])

        status, body = self.b.call("POST", "/api/native/stop", {})
        self.assertEqual(status, 409)
        self.assertIsInstance(body["error"], str)

    def test_without_automatic_minutes_stop_has_no_run(self):
        self.b.call("POST", "/api/settings", {"auto_minutes": False})
        self.b.call("POST", "/api/native/start", {})
        body = self.b.call("POST", "/api/native/stop", {})[1]
        self.assertIn("meeting_id", body)
        self.assertNotIn("run_id", body)

    def test_event_with_a_recording_needs_a_mode(self):
        event = {"id": "e1", "title": "Weekly sync", "start": "2030-01-01T10:00:00Z"}
        first = self.b.call("POST", "/api/native/start", {"event": event})[1]["meeting"]["id"]
        self.b.call("POST", "/api/native/stop", {})
        status, body = self.b.call("POST", "/api/native/start", {"event": event})
        self.assertEqual(status, 409)
        self.assertIs(body["needs_mode"], True)
        self.assertEqual(body["meeting"]["title"], "Weekly sync")
        self.assertFalse(self.b.call("GET", "/api/native/status")[1]["recording"])
        status, body = self.b.call("POST", "/api/native/start", {"event": event, "mode": "replace"})
        self.assertEqual(status, 200)
        self.assertEqual(body["meeting"]["id"], first)
        self.assertEqual(self.b.call("POST", "/api/calendar/open", event)[1], {"id": first})

    def test_a_recording_that_cannot_start_is_no_recording(self):
        (self.b.data / "meetings").write_text("in the way")
        status, body = self.b.call("POST", "/api/native/start", {})
        self.assertEqual(status, 500)
        self.assertTrue(body["error"].startswith("The recording could not be started: "), body)
        self.assertIs(self.b.call("GET", "/api/native/status")[1]["recording"], False)
        self.assertEqual(self.b.call("POST", "/api/native/stop", {})[0], 409)

    def test_bad_bodies_are_refused(self):
        self.assertEqual(self.b.call("POST", "/api/native/start", raw=b"[1]")[0], 400)
        self.assertEqual(self.b.call("POST", "/api/native/start", {"mode": "merge"})[0], 400)
        self.assertEqual(self.b.call("POST", "/api/calendar/open", raw=b"nonsense")[0], 400)

    def test_calendar_from_the_data_folder(self):
        now = datetime.now(timezone.utc)
        events = [
            {"id": "later", "title": "Planning", "start": iso(now + timedelta(days=1)),
             "end": iso(now + timedelta(days=1, hours=1))},
            {"id": "soon", "title": "Stand-up", "start": iso(now + timedelta(minutes=2)),
             "end": iso(now + timedelta(minutes=17)), "url": "https://us02web.zoom.us/j/1",
             "color": "#1E90FF", "brief": "**Budget**"},
            {"id": "over", "start": iso(now - timedelta(hours=2)), "end": iso(now - timedelta(hours=1))},
            {"id": "broken", "start": "tomorrow"},
        ]
        (self.b.data / "calendar.json").write_text(json.dumps({"events": events}))
        up = self.b.call("GET", "/api/calendar/upcoming")[1]["events"]
        self.assertEqual([e["title"] for e in up], ["Stand-up", "Planning"])
        first = up[0]
        self.assertEqual(first["service"], "zoom")
        self.assertEqual(first["event"], events[1])
        self.assertRegex(first["start"], ISO)
        self.assertEqual(first["color"], "#1E90FF")
        soon = self.b.call("GET", "/api/calendar/soon")[1]["events"]
        self.assertEqual([e["title"] for e in soon], ["Stand-up"])
        self.assertEqual(soon[0]["key"], first["key"])
        mid = self.b.call("POST", "/api/calendar/open", events[1])[1]["id"]
        self.assertEqual(self.b.call("GET", f"/api/meetings/{mid}")[1]["title"], "Stand-up")

    def test_unreadable_calendar_gives_no_events(self):
        (self.b.data / "calendar.json").write_text("{not json")
        self.assertEqual(self.b.call("GET", "/api/calendar/upcoming"), (200, {"events": []}))

    def test_pages(self):
        status, body = self.b.call("GET", "/")
        self.assertEqual(status, 200)
        for route in ("'/setup'", "'/settings'", "'/m/'"):
            self.assertIn(route, body)

    def test_control_scripts_replies_and_logs_requests(self):
        self.b.call("POST", "/_control/reset")
        self.b.call("POST", "/_control/script",
                    {"method": "POST", "path": "/api/native/start", "status": 409,
                     "body": {"needs_mode": True, "meeting": {"title": "T"}}, "delay": 0.3})
        started = time.monotonic()
        self.assertEqual(self.b.call("POST", "/api/native/start", {"app": "X"}),
                         (409, {"needs_mode": True, "meeting": {"title": "T"}}))
        self.assertGreaterEqual(time.monotonic() - started, 0.3)
        # The script was used up: the real handler answers the next one.
        self.assertEqual(self.b.call("POST", "/api/native/start", {})[0], 200)
        log = self.b.call("GET", "/_control/requests")[1]["requests"]
        self.assertEqual(log[0], {"method": "POST", "path": "/api/native/start",
                                  "content_type": "application/json", "body": '{"app": "X"}'})
        self.assertEqual(self.b.call("POST", "/_control/marker", {"name": "ask_calendar"})[0], 200)
        self.assertTrue((self.b.data / "ask_calendar").exists())
        self.assertEqual(self.b.call("POST", "/_control/marker", {"name": "../x"})[0], 400)


class WithoutControl(unittest.TestCase):
    def test_control_interface_is_absent(self):
        b = Backend(control=False)
        self.addCleanup(b.close)
        self.assertEqual(b.call("GET", "/_control/requests")[0], 404)
        self.assertEqual(b.call("POST", "/_control/marker", {"name": "remote_access"})[0], 404)
        self.assertFalse((b.data / "remote_access").exists())


if __name__ == "__main__":
    unittest.main()
