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
from .screen import ScreenRecorder
from .settings import control_enabled, data_dir
from .store import Store, now_iso

DATA = data_dir()
store = Store(DATA)
screen = ScreenRecorder()
browser = {"recording": False}

api = FastAPI(title="Quorvia stand-in backend", docs_url=None, redoc_url=None, openapi_url=None)
app = Control(api) if control_enabled() else api


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
    with_screen = body.get("screen") is True
    if with_screen:
        screen.start(DATA / "meetings" / meeting["id"])
    store.begin(meeting["id"], app_name, with_screen, replace=(mode == "replace"))
    return {"meeting": meeting_json(meeting)}


@api.post("/api/native/stop")
async def native_stop():
    meeting_id = store.end()
    if meeting_id is None:
        return error(409, "Nothing is being recorded.")
    await asyncio.to_thread(screen.stop)
    out = {"meeting_id": meeting_id}
    if store.setting("auto_minutes", "1") == "1":
        out["run_id"] = store.start_run(meeting_id)
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
    return {"events": calendar.upcoming(DATA, datetime.now(timezone.utc))}


@api.get("/api/calendar/soon")
async def calendar_soon():
    return {"events": calendar.soon(DATA, datetime.now(timezone.utc))}


@api.post("/api/calendar/open")
async def calendar_open(request: Request):
    event = await json_object(request)
    if not event:
        return error(400, "The body must be a calendar event.")
    meeting = store.meeting_for_event(calendar.event_key(event), event.get("title") or "Meeting")
    return {"id": meeting["id"]}


@api.get("/api/meetings")
async def meetings():
    return {"meetings": [meeting_json(row) for row in store.meetings()]}


@api.get("/api/meetings/{meeting_id}")
async def meeting(meeting_id: str):
    row = store.meeting(meeting_id)
    if row is None:
        return error(404, "No such meeting.")
    counts = store.db.execute(
        "SELECT (SELECT COUNT(*) FROM recordings WHERE meeting_id = ?) AS recordings,"
        " (SELECT COUNT(*) FROM runs WHERE meeting_id = ?) AS runs", (meeting_id, meeting_id)
    ).fetchone()
    return {**meeting_json(row), "recordings": counts["recordings"], "runs": counts["runs"]}


@api.post("/api/setup")
async def setup(request: Request):
    body = await json_object(request)
    if body is None or not isinstance(body.get("done"), bool):
        return error(400, "Send {\"done\": true} or false.")
    store.set_setting("setup_done", "1" if body["done"] else "0")
    return {"setup_done": body["done"]}


@api.get("/api/settings")
async def get_settings():
    return {"auto_minutes": store.setting("auto_minutes", "1") == "1"}


@api.post("/api/settings")
async def set_settings(request: Request):
    body = await json_object(request)
    if body is None or not isinstance(body.get("auto_minutes"), bool):
        return error(400, "Send {\"auto_minutes\": true} or false.")
    store.set_setting("auto_minutes", "1" if body["auto_minutes"] else "0")
    return {"auto_minutes": body["auto_minutes"]}
