"""iCalendar sources on the settings page: files and addresses read into the calendar the agent
asks for, recurring events expanded, call links found, and a source that fails keeping its last
good list."""
import http.server
import threading
import unittest
from datetime import datetime, timedelta, timezone
from pathlib import Path
from zoneinfo import ZoneInfo

from support import Backend

BERLIN = ZoneInfo("Europe/Berlin")


def utc(when: datetime) -> str:
    return when.astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def ics(now: datetime) -> tuple[str, dict]:
    """A calendar around `now`, and what the backend should make of it."""
    tomorrow = (now.astimezone(BERLIN) + timedelta(days=1)).date()
    standup = datetime(tomorrow.year, tomorrow.month, tomorrow.day, 9, 30, tzinfo=BERLIN)
    review = now.replace(microsecond=0) + timedelta(minutes=2)
    stamp = lambda when: when.astimezone(timezone.utc).strftime("%Y%m%dT%H%M%SZ")  # noqa: E731
    text = f"""BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//Quorvia tests//EN
BEGIN:VEVENT
UID:standup
SUMMARY:Stand-up
DTSTART;TZID=Europe/Berlin:{standup.strftime("%Y%m%dT%H%M%S")}
DURATION:PT15M
RRULE:FREQ=DAILY;COUNT=3
LOCATION:https://example.zoom.us/j/123
END:VEVENT
BEGIN:VEVENT
UID:review
SUMMARY:Design review
DTSTART:{stamp(review)}
DTEND:{stamp(review + timedelta(minutes=30))}
DESCRIPTION:Agenda: https://docs.example.com/agenda\\nJoin: https://meet.google.com/abc-defg-hij.
END:VEVENT
BEGIN:VEVENT
UID:partners
SUMMARY:Partners
DTSTART:{stamp(review + timedelta(hours=3))}
DTEND:{stamp(review + timedelta(hours=4))}
CONFERENCE;VALUE=URI;FEATURE=VIDEO:https://teams.microsoft.com/l/meetup-join/xyz
LOCATION:Room 4
END:VEVENT
BEGIN:VEVENT
UID:offsite
SUMMARY:Offsite
DTSTART:{stamp(review + timedelta(hours=5))}
DTEND:{stamp(review + timedelta(hours=6))}
LOCATION:https://video.example.org/offsite
END:VEVENT
BEGIN:VEVENT
UID:holiday
SUMMARY:Holiday
DTSTART;VALUE=DATE:{tomorrow.strftime("%Y%m%d")}
END:VEVENT
BEGIN:VEVENT
UID:cancelled
SUMMARY:Cancelled sync
STATUS:CANCELLED
DTSTART:{stamp(review + timedelta(hours=1))}
DTEND:{stamp(review + timedelta(hours=2))}
END:VEVENT
END:VCALENDAR
""".replace("\n", "\r\n")
    expected = {
        ("Design review", utc(review)): ("https://meet.google.com/abc-defg-hij", "meet"),
        ("Partners", utc(review + timedelta(hours=3))): ("https://teams.microsoft.com/l/meetup-join/xyz", "teams"),
        ("Offsite", utc(review + timedelta(hours=5))): ("https://video.example.org/offsite", None),
    }
    for day in range(3):
        expected[("Stand-up", utc(standup + timedelta(days=day)))] = ("https://example.zoom.us/j/123", "zoom")
    return text, expected


class Server(http.server.ThreadingHTTPServer):
    """Serves one calendar at /cal.ics, or fails with `status` when it is set."""

    def __init__(self):
        self.body, self.status = b"", None

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(handler):
                if self.status:
                    handler.send_error(self.status)
                    return
                handler.send_response(200)
                handler.send_header("Content-Type", "text/calendar")
                handler.send_header("Content-Length", str(len(self.body)))
                handler.end_headers()
                handler.wfile.write(self.body)

            def log_message(handler, *args):
                pass

        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.server_address[1]}/cal.ics"


class Calendars(unittest.TestCase):
    def setUp(self):
        self.b = Backend()
        self.addCleanup(self.b.close)

    def upcoming(self, b=None) -> dict:
        events = (b or self.b).call("GET", "/api/calendar/upcoming")[1]["events"]
        return {(e["title"], e["start"]): (e.get("url"), e.get("service")) for e in events}

    def use(self, sources: list[str], b=None) -> list[dict]:
        status, reply = (b or self.b).call("POST", "/api/settings", {"calendars": sources})
        self.assertEqual(status, 200, reply)
        return reply["calendars"]

    def test_a_file_gives_expanded_events_with_their_call_links(self):
        text, expected = ics(datetime.now(timezone.utc))
        path = self.b.data / "work.ics"
        path.write_text(text)
        status = self.use([str(path)])
        self.assertEqual([(s["source"], s["error"], s["events"]) for s in status], [(str(path), None, 6)])
        self.assertEqual(self.upcoming(), expected)
        starts = [e["start"] for e in self.b.call("GET", "/api/calendar/upcoming")[1]["events"]]
        self.assertEqual(starts, sorted(starts))

        soon = self.b.call("GET", "/api/calendar/soon")[1]["events"]
        self.assertEqual([e["title"] for e in soon], ["Design review"])
        entry = soon[0]
        self.assertEqual(entry["key"], f"review@{entry['start']}")
        mid = self.b.call("POST", "/api/calendar/open", entry["event"])[1]["id"]
        self.assertEqual(self.b.call("POST", "/api/native/start", {"event": entry["event"]})[1]["meeting"]["id"], mid)
        self.assertEqual(self.b.call("POST", "/api/native/stop", {})[0], 200)

        # Each occurrence of a recurring meeting is a meeting of its own.
        standups = [e for e in self.b.call("GET", "/api/calendar/upcoming")[1]["events"] if e["title"] == "Stand-up"]
        ids = {self.b.call("POST", "/api/calendar/open", e["event"])[1]["id"] for e in standups}
        self.assertEqual(len(ids), 3)

        self.use([])
        self.assertEqual(self.upcoming(), {})

    def test_a_source_that_fails_keeps_its_last_good_list_and_says_why(self):
        server = Server()
        self.addCleanup(server.shutdown)
        text, expected = ics(datetime.now(timezone.utc))
        server.body = text.encode()
        self.assertEqual(self.use([server.url])[0]["error"], None)
        self.assertEqual(self.upcoming(), expected)

        failures = [
            ("an error status", 500, None, "The address answered 500 Internal Server Error."),
            ("a page that is no calendar", None, b"<html>Sign in</html>", "This is not an iCalendar file."),
        ]
        for what, status, body, error in failures:
            with self.subTest(what):
                server.status, server.body = status, body or server.body
                self.assertEqual(self.use([server.url])[0]["error"], error)
                self.assertEqual(self.upcoming(), expected)
                self.assertEqual(self.b.call("GET", "/api/settings")[1]["calendars"][0]["error"], error)

        # Across a restart too: the last good copy stands in while the source fails.
        self.b.stop()
        again = Backend(data=str(self.b.data))
        self.addCleanup(again.close)
        server.status = 500
        self.assertTrue(self.use([server.url], again)[0]["error"].startswith("The address answered 500"))
        self.assertEqual(self.upcoming(again), expected)

    def test_sources_that_cannot_be_read_say_why(self):
        (self.b.data / "broken.ics").write_text("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nDTSTART:tomorrow\r\n")
        cases = [
            ("relative.ics", "Name a file by its full path, or give an https address."),
            ("/nonexistent/work.ics", "The file could not be read: No such file or directory."),
            (str(self.b.data / "broken.ics"), "This is not an iCalendar file."),
            ("http://127.0.0.1:1/cal.ics", "The address could not be reached: [Errno 111] Connection refused."),
        ]
        status = self.use([source for source, _ in cases])
        self.assertEqual([(s["source"], s["error"], s["events"]) for s in status],
                         [(source, error, 0) for source, error in cases])
        self.assertEqual(self.upcoming(), {})
        for body in ({"calendars": "work.ics"}, {"calendars": [1]}, {}, {"auto_minutes": "yes"}):
            with self.subTest(body):
                self.assertEqual(self.b.call("POST", "/api/settings", body)[0], 400)
        self.assertEqual(len(self.b.call("GET", "/api/settings")[1]["calendars"]), len(cases))


if __name__ == "__main__":
    unittest.main()
