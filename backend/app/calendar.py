"""Calendar entries from "calendar.json" in the data folder (format: backend/README.md)."""
import json
from datetime import datetime, timedelta, timezone
from pathlib import Path
from urllib.parse import urlparse

UPCOMING_DAYS = 7
UPCOMING_LIMIT = 20
SOON_BEFORE = timedelta(minutes=3)  # a meeting is "soon" this long before it starts
SOON_AFTER = timedelta(minutes=5)  # ... and until this long after it started

SERVICES = {
    "zoom.us": "zoom",
    "teams.microsoft.com": "teams",
    "teams.live.com": "teams",
    "meet.google.com": "meet",
    "webex.com": "webex",
    "whereby.com": "whereby",
    "slack.com": "slack",
}


def _parse(text):
    if not isinstance(text, str):
        return None
    try:
        when = datetime.fromisoformat(text.replace("Z", "+00:00"))
    except ValueError:
        return None
    return when if when.tzinfo else None


def _iso(when: datetime) -> str:
    return when.astimezone(timezone.utc).replace(microsecond=0).strftime("%Y-%m-%dT%H:%M:%SZ")


def _service(url: str) -> str | None:
    host = (urlparse(url).hostname or "").lower()
    for domain, key in SERVICES.items():
        if host == domain or host.endswith("." + domain):
            return key
    return None


def event_key(event: dict) -> str:
    """Identity of an event across reloads: its id (or title) and its start."""
    ident = event.get("id") or event.get("title") or "meeting"
    return f"{ident}@{event.get('start', '')}"


def _entry(event: dict, start: datetime, end: datetime | None) -> dict:
    entry = {"key": event_key(event), "title": event.get("title") or "Meeting", "start": _iso(start)}
    if end:
        entry["end"] = _iso(end)
    url = event.get("url")
    if isinstance(url, str) and url:
        entry["url"] = url
        service = event.get("service") or _service(url)
        if service:
            entry["service"] = service
    for member in ("color", "brief"):
        if isinstance(event.get(member), str):
            entry[member] = event[member]
    entry["event"] = event
    return entry


def load(folder: Path) -> list[tuple[datetime, datetime | None, dict]]:
    """The readable events, sorted by start; a missing or broken file gives none."""
    try:
        data = json.loads((folder / "calendar.json").read_text(encoding="utf-8"))
    except (OSError, ValueError):
        return []
    events = data.get("events", []) if isinstance(data, dict) else data
    out = []
    for event in events if isinstance(events, list) else []:
        if not isinstance(event, dict):
            continue
        start = _parse(event.get("start"))
        if start is None:
            continue
        out.append((start, _parse(event.get("end")), event))
    out.sort(key=lambda item: item[0])
    return out


def upcoming(folder: Path, now: datetime) -> list[dict]:
    horizon = now + timedelta(days=UPCOMING_DAYS)
    out = []
    for start, end, event in load(folder):
        if (end or start) > now and start < horizon:
            out.append(_entry(event, start, end))
    return out[:UPCOMING_LIMIT]


def soon(folder: Path, now: datetime) -> list[dict]:
    out = []
    for start, end, event in load(folder):
        if now - SOON_AFTER <= start <= now + SOON_BEFORE and (end is None or end > now):
            out.append(_entry(event, start, end))
    return out
