"""The backend's HTTP API: what the agent relies on, plus what the pages use.

Run as `python -m uvicorn app.main:app --host H --port 8765` from the folder above this package.
Every handler is async and runs on the event loop's thread, which owns the SQLite connection.
"""
import asyncio
import json
from datetime import datetime, timezone

from fastapi import FastAPI, Request
from fastapi.responses import HTMLResponse, JSONResponse

from . import calendar
from .control import Control
from .meetings import router as meetings_router
from .settings import control_enabled
from .state import browser, calendars, session, store
from .store import now_iso

api = FastAPI(title="Quorvia stand-in backend", docs_url=None, redoc_url=None, openapi_url=None)
api.include_router(meetings_router)
app = Control(api) if control_enabled() else api
background: set[asyncio.Task] = set()


def error(status: int, message: str) -> JSONResponse:
    return JSONResponse({"error": message}, status_code=status)


async def json_object(request: Request) -> dict | None:
    """The request's body as a JSON object; {} for no body; None when it is something else."""
    raw = await request.body()
    if not raw.strip():
        return {}
    try:
        data = json.loads(raw)
    except ValueError:
        return None
    return data if isinstance(data, dict) else None


def meeting_json(row) -> dict:
    return {"id": row["id"], "title": row["title"], "created_at": row["created_at"]}


@api.on_event("startup")
async def started():
    background.add(asyncio.create_task(calendars.run()))
    for row in store.unprocessed():  # stopped while the backend was down, or before it finished
        session.process(row["id"])


@api.on_event("shutdown")
async def stopping():
    """A backend asked to stop ends the running recording properly: its files are finalised."""
    async with session.lock:
        if store.end() is not None:
            await session.stop()


@api.get("/", response_class=HTMLResponse)
async def page():
    from .pages import PAGE
    return PAGE


@api.get("/api/status")
async def status():
    return {"ok": True}


@api.get("/api/native/status")
async def native_status():
    active = store.active()
    out = {
        "recording": active is not None,
        "browser_recording": browser["recording"],
        "setup_done": store.setting("setup_done", "0") == "1",
    }
    if active is not None:
        out["meeting_id"] = active["meeting_id"]
        out["started_at"] = active["started_at"]
    return out


@api.post("/api/native/start")
async def native_start(request: Request):
    body = await json_object(request)
    if body is None:
        return error(400, "The request is not a JSON object.")
    async with session.lock:
        if store.active() is not None:
            return error(409, "A recording is already running.")
        if browser["recording"]:
            return error(409, "A recording is running in the browser.")
        mode = body.get("mode")
        if mode not in (None, "append", "replace"):
            return error(400, "mode must be append or replace.")
        app_name = body.get("app") if isinstance(body.get("app"), str) else None
        event = body.get("event")
        if isinstance(event, dict):
            meeting = store.meeting_for_event(calendar.event_key(event), event.get("title") or "Meeting")
            if store.has_recording(meeting["id"]) and mode is None:
                return JSONResponse({"needs_mode": True, "meeting": meeting_json(meeting)}, status_code=409)
        else:
            title = f"{app_name} call" if app_name else "Meeting " + now_iso()[:16].replace("T", " ")
            meeting = store.create_meeting(title)
        row = store.begin(meeting["id"], app_name, body.get("screen") is True, replace=(mode == "replace"))
        try:
            await session.start(row)
        except OSError as e:  # its folder cannot be made: no recording, rather than one that never ends
            store.end()
            await session.stop()
            return error(500, f"The recording could not be started: {e.strerror or e}.")
    return {"meeting": meeting_json(meeting)}


@api.post("/api/native/stop")
async def native_stop():
    async with session.lock:
        row = store.end()
        if row is None:
            return error(409, "Nothing is being recorded.")
        await session.stop()
    out = {"meeting_id": row["meeting_id"]}
    if store.setting("auto_minutes", "1") == "1":
        out["run_id"] = store.start_run(row["meeting_id"])
    return out


@api.post("/api/browser/start")
async def browser_start():
    if store.active() is not None:
        return error(409, "A recording is already running.")
    browser["recording"] = True
    return {"ok": True}


@api.post("/api/browser/stop")
async def browser_stop():
    browser["recording"] = False
    return {"ok": True}


@api.get("/api/calendar/upcoming")
async def calendar_upcoming():
    return {"events": calendar.upcoming(calendars.events(), datetime.now(timezone.utc))}


@api.get("/api/calendar/soon")
async def calendar_soon():
    return {"events": calendar.soon(calendars.events(), datetime.now(timezone.utc))}


@api.post("/api/calendar/open")
async def calendar_open(request: Request):
    event = await json_object(request)
    if not event:
        return error(400, "The body must be a calendar event.")
    meeting = store.meeting_for_event(calendar.event_key(event), event.get("title") or "Meeting")
    return {"id": meeting["id"]}


@api.post("/api/setup")
async def setup(request: Request):
    body = await json_object(request)
    if body is None or not isinstance(body.get("done"), bool):
        return error(400, "Send {\"done\": true} or false.")
    store.set_setting("setup_done", "1" if body["done"] else "0")
    return {"setup_done": body["done"]}


def settings_json() -> dict:
    return {"auto_minutes": store.setting("auto_minutes", "1") == "1", "calendars": calendars.status()}


@api.get("/api/settings")
async def get_settings():
    return settings_json()


@api.post("/api/settings")
async def set_settings(request: Request):
    """Takes "auto_minutes" (a Boolean) and "calendars" (the iCalendar sources, a list of
    strings), either or both; new sources are read before the answer."""
    body = await json_object(request)
    auto, sources = (body or {}).get("auto_minutes"), (body or {}).get("calendars")
    if body is None or (auto is None and sources is None):
        return error(400, "Send {\"auto_minutes\": true or false} and/or {\"calendars\": [...]}.")
    if auto is not None and not isinstance(auto, bool):
        return error(400, "auto_minutes must be true or false.")
    if sources is not None:
        if not isinstance(sources, list) or not all(isinstance(s, str) for s in sources):
            return error(400, "calendars must be a list of file paths or addresses.")
        cleaned = list(dict.fromkeys(s.strip() for s in sources if s.strip()))
        calendars.set_sources(cleaned)
        await calendars.refresh()
    if auto is not None:
        store.set_setting("auto_minutes", "1" if auto else "0")
    return settings_json()
