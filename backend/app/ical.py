"""Reads one iCalendar source (a local .ics file, or an http(s)/webcal address such as the private
address a calendar service publishes) into timed events, recurring ones expanded, each with its
call link found in its conference properties, location or description.

Plain functions, called in worker threads."""
import re
import urllib.error
import urllib.request
from datetime import datetime, timedelta, timezone
from pathlib import Path
from urllib.parse import unquote, urlparse

import icalendar
import recurring_ical_events

MAX_BYTES = 20 << 20
SERVICES = {
    "zoom.us": "zoom",
    "teams.microsoft.com": "teams",
    "teams.live.com": "teams",
    "meet.google.com": "meet",
    "webex.com": "webex",
    "whereby.com": "whereby",
    "slack.com": "slack",
}
# Properties that name the call itself, most specific first.
CONFERENCE = ("CONFERENCE", "X-GOOGLE-CONFERENCE", "X-MICROSOFT-SKYPETEAMSMEETINGURL",
              "X-MICROSOFT-ONLINEMEETINGCONFLINK")
LINK = re.compile(r"https://[^\s<>\"'\\]+")


class Unreadable(Exception):
    """A source that cannot be read or parsed; the text says why, for the settings page."""


def iso(when: datetime) -> str:
    return when.astimezone(timezone.utc).replace(microsecond=0).strftime("%Y-%m-%dT%H:%M:%SZ")


def service_of(url: str) -> str | None:
    host = (urlparse(url).hostname or "").lower()
    for domain, key in SERVICES.items():
        if host == domain or host.endswith("." + domain):
            return key
    return None


def fetch(source: str) -> bytes:
    """The source's text: a file (a path or a file: address) or an http(s) or webcal address."""
    scheme = urlparse(source).scheme.lower()
    if scheme in ("webcal", "webcals"):
        source, scheme = "https" + source[len(scheme):], "https"
    if scheme in ("http", "https"):
        request = urllib.request.Request(source, headers={"User-Agent": "Quorvia", "Accept": "text/calendar"})
        try:
            with urllib.request.urlopen(request, timeout=30) as reply:
                data = reply.read(MAX_BYTES + 1)
        except urllib.error.HTTPError as e:
            raise Unreadable(f"The address answered {e.code} {e.reason}.") from e
        except (urllib.error.URLError, OSError, ValueError) as e:
            reason = getattr(e, "reason", e)
            raise Unreadable(f"The address could not be reached: {reason}.") from e
    else:
        path = Path(unquote(urlparse(source).path)) if scheme == "file" else Path(source).expanduser()
        if not path.is_absolute():
            raise Unreadable("Name a file by its full path, or give an https address.")
        try:
            with open(path, "rb") as f:
                data = f.read(MAX_BYTES + 1)
        except OSError as e:
            raise Unreadable(f"The file could not be read: {e.strerror}.") from e
    if len(data) > MAX_BYTES:
        raise Unreadable("The calendar is larger than 20 MB.")
    return data


def call_link(event) -> str | None:
    """The event's call link: a conference property's, else the first link to a known call
    service in its URL, location or description, else a location that is only a link."""
    for name in CONFERENCE:
        values = event.get(name)
        for value in values if isinstance(values, list) else [values]:
            if value is not None and LINK.fullmatch(str(value).strip()):
                return str(value).strip()
    found = []
    for name in ("URL", "LOCATION", "DESCRIPTION"):
        found += [link.rstrip(".,;:)]>") for link in LINK.findall(str(event.get(name, "")))]
    known = next((link for link in found if service_of(link)), None)
    if known:
        return known
    location = str(event.get("LOCATION", "")).strip()
    return location if LINK.fullmatch(location) else None


def _aware(when: datetime) -> datetime:
    return when if when.tzinfo else when.astimezone()  # a floating time is the user's own


def events(text: bytes, now: datetime) -> list[tuple[datetime, datetime, dict]]:
    """The timed events from a day ago to eight days ahead, recurring ones expanded; all-day and
    cancelled events are left out. Raises Unreadable for text that is no calendar."""
    try:
        calendar = icalendar.Calendar.from_ical(text)
    except Exception as e:  # ValueError mostly, but not only, for text that is no calendar
        raise Unreadable("This is not an iCalendar file.") from e
    if calendar.name != "VCALENDAR":
        raise Unreadable("This is not an iCalendar file.")
    try:
        return _timed(calendar, now)
    except Exception as e:  # the libraries raise many kinds for broken rules, dates and values
        raise Unreadable(f"The calendar could not be read: {e}.") from e


def _timed(calendar, now: datetime) -> list[tuple[datetime, datetime, dict]]:
    out = []
    for event in recurring_ical_events.of(calendar).between(now - timedelta(days=1), now + timedelta(days=8)):
        start = event.get("DTSTART").dt if event.get("DTSTART") else None
        if not isinstance(start, datetime) or str(event.get("STATUS", "")).upper() == "CANCELLED":
            continue
        start = _aware(start)
        if event.get("DTEND") is not None and isinstance(event["DTEND"].dt, datetime):
            end = _aware(event["DTEND"].dt)
        elif event.get("DURATION") is not None:
            end = start + event["DURATION"].dt
        else:
            end = start
        title = str(event.get("SUMMARY", "")).strip() or "Meeting"
        record = {"id": str(event.get("UID", "")) or title, "title": title, "start": iso(start), "end": iso(end)}
        link = call_link(event)
        if link:
            record["url"] = link
            if service_of(link):
                record["service"] = service_of(link)
        out.append((start, end, record))
    return out

