"""The backend's one store, recording session and calendar, shared by its routes."""
from .calendar import Calendars
from .session import Session
from .settings import data_dir
from .store import Store

DATA = data_dir()
store = Store(DATA)
session = Session(store, DATA)
calendars = Calendars(DATA, store)
browser = {"recording": False}
