"""Calendar entries: from "calendar.json" in the data folder (format: backend/README.md) and from
the iCalendar sources named on the settings page (read by ical.py), merged in start order."""
import asyncio
import hashlib
import json
from datetime import datetime, timedelta, timezone
from pathlib import Path

from . import ical
from .ical import iso, service_of

UPCOMING_DAYS = 7
UPCOMING_LIMIT = 20
SOON_BEFORE = timedelta(minutes=3)  # a meeting is "soon" this long before it starts
SOON_AFTER = timedelta(minutes=5)  # ... and until this long after it started
REFRESH_SECONDS = 300


def _parse(text):
    if not isinstance(text, str):
        return None
    try:
        when = datetime.fromisoformat(text.replace("Z", "+00:00"))
    except ValueError:
        return None
    return when if when.tzinfo else None


def event_key(event: dict) -> str:
    """Identity of an event across reloads: its id (or title) and its start."""
    ident = event.get("id") or event.get("title") or "meeting"
    return f"{ident}@{event.get('start', '')}"


def _entry(event: dict, start: datetime, end: datetime | None) -> dict:
    entry = {"key": event_key(event), "title": event.get("title") or "Meeting", "start": iso(start)}
    if end:
        entry["end"] = iso(end)
    url = event.get("url")
    if isinstance(url, str) and url:
        entry["url"] = url
        service = event.get("service") or service_of(url)
        if service:
            entry["service"] = service
    for member in ("color", "brief"):
        if isinstance(event.get(member), str):
            entry[member] = event[member]
    entry["event"] = event
    return entry


def load(folder: Path) -> list[tuple[datetime, datetime | None, dict]]:
    """The readable events of calendar.json; a missing or broken file gives none."""
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
    return out


def upcoming(events, now: datetime) -> list[dict]:
    horizon = now + timedelta(days=UPCOMING_DAYS)
    out = []
    for start, end, event in events:
        if (end or start) > now and start < horizon:
            out.append(_entry(event, start, end))
    return out[:UPCOMING_LIMIT]


def soon(events, now: datetime) -> list[dict]:
    out = []
    for start, end, event in events:
        if now - SOON_AFTER <= start <= now + SOON_BEFORE and (end is None or end > now):
            out.append(_entry(event, start, end))
    return out


class Calendars:
    """The iCalendar sources the user named (the "calendars" setting, a JSON list), each with
    its last good list of events and why its last reading failed. A source that cannot be read
    keeps its last good list, across restarts too (a copy of its last good text is kept).

    Threading: the event loop's thread; sources are read in worker threads."""

    def __init__(self, data: Path, store):
        self.data, self.store = data, store
        self.state: dict[str, dict] = {}  # source -> {"events", "error", "checked_at"}
        self.wake: asyncio.Event | None = None
        self.reading = asyncio.Lock()

    def sources(self) -> list[str]:
        try:
            value = json.loads(self.store.setting("calendars", "[]"))
        except ValueError:
            return []
        return [s for s in value if isinstance(s, str)] if isinstance(value, list) else []

    def set_sources(self, sources: list[str]) -> None:
        self.store.set_setting("calendars", json.dumps(sources))

    def events(self) -> list[tuple[datetime, datetime | None, dict]]:
        merged, seen = [], set()
        lists = [load(self.data)] + [self.state.get(s, {}).get("events", []) for s in self.sources()]
        for start, end, event in sorted((e for events in lists for e in events), key=lambda e: e[0]):
            key = event_key(event)
            if key not in seen:
                seen.add(key)
                merged.append((start, end, event))
        return merged

    def status(self) -> list[dict]:
        out = []
        for source in self.sources():
            state = self.state.get(source, {})
            out.append({"source": source, "error": state.get("error"), "checked_at": state.get("checked_at"),
                        "events": len(state.get("events", []))})
        return out

    def _copy(self, source: str) -> Path:
        return self.data / "calendars" / (hashlib.sha256(source.encode()).hexdigest()[:20] + ".ics")

    async def refresh(self) -> None:
        async with self.reading:
            await self._refresh()

    async def _refresh(self) -> None:
        now = datetime.now(timezone.utc)
        for source in self.sources():
            state = self.state.setdefault(source, {"events": [], "error": None})
            try:
                text = await asyncio.to_thread(ical.fetch, source)
                state["events"] = await asyncio.to_thread(ical.events, text, now)
                state["error"] = None
                copy = self._copy(source)
                copy.parent.mkdir(exist_ok=True)
                copy.write_bytes(text)
            except ical.Unreadable as e:
                state["error"] = str(e)
                if not state["events"] and self._copy(source).is_file():
                    try:
                        state["events"] = ical.events(self._copy(source).read_bytes(), now)
                    except ical.Unreadable:
                        pass
            state["checked_at"] = iso(now)
        for source in set(self.state) - set(self.sources()):
            del self.state[source]

    def refresh_soon(self) -> None:
        if self.wake is not None:
            self.wake.set()

    async def run(self) -> None:
        """Reads the sources now and every few minutes, and at once when they change."""
        self.wake = asyncio.Event()
        while True:
            self.wake.clear()
            await self.refresh()
            try:
                await asyncio.wait_for(self.wake.wait(), REFRESH_SECONDS)
            except asyncio.TimeoutError:
                pass
