"""Watches an X server for top-level windows being mapped and drawn.

Only libX11 and libXdamage through ctypes, so the bench needs nothing
beyond the Python standard library. A window counts as shown once it is
mapped and its client has drawn into it: the first damage inside its
rectangle after the map.
"""

import ctypes
import select
import time

_X = ctypes.CDLL("libX11.so.6")
try:
    _DAMAGE = ctypes.CDLL("libXdamage.so.1")
except OSError:
    _DAMAGE = None

c_ulong, c_int, c_long, c_void_p = ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p

SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
CREATE_NOTIFY = 16
MAP_NOTIFY = 19
UNMAP_NOTIFY = 18
CONFIGURE_NOTIFY = 22
DAMAGE_REPORT_RAW_RECTANGLES = 0


class _Event(ctypes.Union):
    _fields_ = [("type", c_int), ("pad", c_long * 24)]


class _MapEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("event", c_ulong), ("window", c_ulong), ("override_redirect", c_int)]


class _ConfigureEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("event", c_ulong), ("window", c_ulong), ("x", c_int), ("y", c_int),
                ("width", c_int), ("height", c_int)]


class _Rect(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short), ("width", ctypes.c_ushort), ("height", ctypes.c_ushort)]


class _DamageEvent(ctypes.Structure):
    _fields_ = [("type", c_int), ("serial", c_ulong), ("send_event", c_int), ("display", c_void_p),
                ("drawable", c_ulong), ("damage", c_ulong), ("level", c_int), ("more", c_int),
                ("timestamp", c_ulong), ("area", _Rect), ("geometry", _Rect)]


_X.XOpenDisplay.restype = c_void_p
_X.XOpenDisplay.argtypes = [ctypes.c_char_p]
_X.XDefaultRootWindow.restype = c_ulong
_X.XDefaultRootWindow.argtypes = [c_void_p]
_X.XSelectInput.argtypes = [c_void_p, c_ulong, c_long]
_X.XPending.argtypes = [c_void_p]
_X.XNextEvent.argtypes = [c_void_p, ctypes.POINTER(_Event)]
_X.XConnectionNumber.argtypes = [c_void_p]
_X.XInternAtom.restype = c_ulong
_X.XInternAtom.argtypes = [c_void_p, ctypes.c_char_p, c_int]
_X.XGetWindowProperty.argtypes = [c_void_p, c_ulong, c_ulong, c_long, c_long, c_int, c_ulong,
                                  ctypes.POINTER(c_ulong), ctypes.POINTER(c_int), ctypes.POINTER(c_ulong),
                                  ctypes.POINTER(c_ulong), ctypes.POINTER(ctypes.c_void_p)]
_X.XFree.argtypes = [c_void_p]
_X.XCloseDisplay.argtypes = [c_void_p]
_X.XSync.argtypes = [c_void_p, c_int]
_X.XGetGeometry.argtypes = [c_void_p, c_ulong, ctypes.POINTER(c_ulong), ctypes.POINTER(c_int), ctypes.POINTER(c_int),
                            ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint),
                            ctypes.POINTER(ctypes.c_uint)]

_ERROR_HANDLER = ctypes.CFUNCTYPE(c_int, c_void_p, c_void_p)
# A window may vanish between its map and our look at it: ignore the error
# rather than let Xlib end the process.
_ignore_errors = _ERROR_HANDLER(lambda dpy, err: 0)
_X.XSetErrorHandler(_ignore_errors)


class Window:
    def __init__(self, wid):
        self.id = wid
        self.name = None
        self.geometry = None  # x, y, w, h on the root
        self.mapped_at = None
        self.drawn_at = None


class Watcher:
    def __init__(self, display):
        self.dpy = _X.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = _X.XDefaultRootWindow(self.dpy)
        _X.XSelectInput(self.dpy, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        self.damage_event = None
        if _DAMAGE is not None:
            ev, er = c_int(), c_int()
            _DAMAGE.XDamageQueryExtension.argtypes = [c_void_p, ctypes.POINTER(c_int), ctypes.POINTER(c_int)]
            if _DAMAGE.XDamageQueryExtension(self.dpy, ctypes.byref(ev), ctypes.byref(er)):
                _DAMAGE.XDamageCreate.restype = c_ulong
                _DAMAGE.XDamageCreate.argtypes = [c_void_p, c_ulong, c_int]
                # Damage on the root reports drawing anywhere on the screen.
                _DAMAGE.XDamageCreate(self.dpy, self.root, DAMAGE_REPORT_RAW_RECTANGLES)
                self.damage_event = ev.value
        self.atoms = {n: _X.XInternAtom(self.dpy, n.encode(), 0) for n in ("_NET_WM_NAME", "WM_NAME")}
        _X.XSync(self.dpy, 0)
        self.windows = {}
        self.fd = _X.XConnectionNumber(self.dpy)

    def close(self):
        _X.XCloseDisplay(self.dpy)

    def _name(self, wid):
        for atom in ("_NET_WM_NAME", "WM_NAME"):
            actual, fmt, n, after = c_ulong(), c_int(), c_ulong(), c_ulong()
            data = ctypes.c_void_p()
            ok = _X.XGetWindowProperty(self.dpy, wid, self.atoms[atom], 0, 1024, 0, 0, ctypes.byref(actual),
                                       ctypes.byref(fmt), ctypes.byref(n), ctypes.byref(after), ctypes.byref(data))
            if ok == 0 and data.value:
                text = ctypes.string_at(data.value, n.value).decode("utf-8", "replace")
                _X.XFree(data)
                if text:
                    return text
        return None

    def _handle(self, ev, now):
        if ev.type == MAP_NOTIFY:
            m = ctypes.cast(ctypes.byref(ev), ctypes.POINTER(_MapEvent)).contents
            w = self.windows.setdefault(m.window, Window(m.window))
            w.mapped_at, w.drawn_at = now, None
            w.name = self._name(m.window)
            root, x, y = c_ulong(), c_int(), c_int()
            width, height, border, depth = (ctypes.c_uint() for _ in range(4))
            if _X.XGetGeometry(self.dpy, m.window, ctypes.byref(root), ctypes.byref(x), ctypes.byref(y),
                               ctypes.byref(width), ctypes.byref(height), ctypes.byref(border), ctypes.byref(depth)):
                w.geometry = (x.value, y.value, width.value, height.value)
        elif ev.type == UNMAP_NOTIFY:
            m = ctypes.cast(ctypes.byref(ev), ctypes.POINTER(_MapEvent)).contents
            w = self.windows.get(m.window)
            if w:
                w.mapped_at = None
        elif ev.type in (CREATE_NOTIFY, CONFIGURE_NOTIFY):
            c = ctypes.cast(ctypes.byref(ev), ctypes.POINTER(_ConfigureEvent)).contents
            w = self.windows.setdefault(c.window, Window(c.window))
            w.geometry = (c.x, c.y, c.width, c.height)
        elif self.damage_event is not None and ev.type == self.damage_event:
            d = ctypes.cast(ctypes.byref(ev), ctypes.POINTER(_DamageEvent)).contents
            a = d.area
            for w in self.windows.values():
                if w.mapped_at is None or w.drawn_at is not None or w.geometry is None:
                    continue
                x, y, ww, hh = w.geometry
                if a.x < x + ww and x < a.x + a.width and a.y < y + hh and y < a.y + a.height:
                    w.drawn_at = now

    def pump(self, timeout):
        """Waits at most timeout seconds for events and handles all there are."""
        if _X.XPending(self.dpy) == 0:
            select.select([self.fd], [], [], timeout)
        while _X.XPending(self.dpy) > 0:
            ev = _Event()
            _X.XNextEvent(self.dpy, ctypes.byref(ev))
            self._handle(ev, time.monotonic())

    def wait_shown(self, name, timeout=30.0, exclude=(), drawn=True):
        """The first window titled `name` that is mapped (and drawn), or None."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for w in self.windows.values():
                if w.id in exclude or w.mapped_at is None or w.name != name:
                    continue
                if not drawn or self.damage_event is None or w.drawn_at is not None:
                    return w
            self.pump(max(0.0, end - time.monotonic()))
        return None

    def forget(self):
        self.windows.clear()
