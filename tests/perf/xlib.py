"""The few Xlib and XTest calls the measurement needs, through ctypes (no extra packages)."""

import ctypes
import ctypes.util
import itertools
import select
import struct
import time
import zlib

_x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")

Window = ctypes.c_ulong
Atom = ctypes.c_ulong

_x11.XInitThreads.restype = ctypes.c_int
_x11.XOpenDisplay.restype = ctypes.c_void_p
_x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x11.XDefaultRootWindow.restype = Window
_x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x11.XInternAtom.restype = Atom
_x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x11.XQueryTree.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(Window),
                            ctypes.POINTER(ctypes.POINTER(Window)), ctypes.POINTER(ctypes.c_uint)]
_x11.XFree.argtypes = [ctypes.c_void_p]
_x11.XGetWindowProperty.argtypes = [ctypes.c_void_p, Window, Atom, ctypes.c_long, ctypes.c_long, ctypes.c_int, Atom,
                                    ctypes.POINTER(Atom), ctypes.POINTER(ctypes.c_int),
                                    ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong),
                                    ctypes.POINTER(ctypes.c_void_p)]
_x11.XGetGeometry.argtypes = [ctypes.c_void_p, Window, ctypes.POINTER(Window), ctypes.POINTER(ctypes.c_int),
                              ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_uint),
                              ctypes.POINTER(ctypes.c_uint), ctypes.POINTER(ctypes.c_uint),
                              ctypes.POINTER(ctypes.c_uint)]
_x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, Window, Window, ctypes.c_int, ctypes.c_int,
                                       ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                       ctypes.POINTER(Window)]
_x11.XStringToKeysym.restype = ctypes.c_ulong
_x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
_x11.XKeysymToKeycode.restype = ctypes.c_ubyte
_x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x11.XFlush.argtypes = [ctypes.c_void_p]
_x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
_x11.XMoveWindow.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int]
_x11.XSetInputFocus.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_ulong]
_x11.XSelectInput.argtypes = [ctypes.c_void_p, Window, ctypes.c_long]
_x11.XPending.argtypes = [ctypes.c_void_p]
_x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x11.XSendEvent.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x11.XGetImage.restype = ctypes.c_void_p
_x11.XGetImage.argtypes = [ctypes.c_void_p, Window, ctypes.c_int, ctypes.c_int, ctypes.c_uint, ctypes.c_uint,
                           ctypes.c_ulong, ctypes.c_int]
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]

CLIENT_MESSAGE = 33
STRUCTURE_NOTIFY_MASK = 1 << 17
Z_PIXMAP = 2


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", Window), ("message_type", Atom),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


class _Image(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


def init_threads():
    _x11.XInitThreads()


class Display:
    """One connection to the X server."""

    def __init__(self, name):
        self.ptr = _x11.XOpenDisplay(name.encode())
        if not self.ptr:
            raise RuntimeError(f"cannot open display {name}")
        self.root = _x11.XDefaultRootWindow(self.ptr)

    def close(self):
        _x11.XCloseDisplay(self.ptr)

    def atom(self, name):
        return _x11.XInternAtom(self.ptr, name.encode(), 0)

    def children(self, window=None):
        root, parent = Window(), Window()
        kids = ctypes.POINTER(Window)()
        count = ctypes.c_uint()
        if not _x11.XQueryTree(self.ptr, window or self.root, ctypes.byref(root), ctypes.byref(parent),
                               ctypes.byref(kids), ctypes.byref(count)):
            return []
        out = [kids[i] for i in range(count.value)]
        if kids:
            _x11.XFree(kids)
        return out

    def title(self, window):
        kind, fmt, n, after = Atom(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
        data = ctypes.c_void_p()
        ok = _x11.XGetWindowProperty(self.ptr, window, self.atom("_NET_WM_NAME"), 0, 1024, 0, 0, ctypes.byref(kind),
                                     ctypes.byref(fmt), ctypes.byref(n), ctypes.byref(after), ctypes.byref(data))
        if ok != 0 or not data.value:
            return ""
        text = ctypes.string_at(data.value, n.value).decode("utf-8", "replace")
        _x11.XFree(data)
        return text

    def find_window(self, predicate):
        """The first top-level window (child of the root) whose title satisfies `predicate`. Qt's
        1 × 1 client-leader window carries the application's name too and is skipped."""
        for window in self.children():
            if predicate(self.title(window)) and self.geometry(window)[2] > 1:
                return window
        return None

    def geometry(self, window):
        """(x, y, width, height) of the window on the root."""
        root = Window()
        x, y = ctypes.c_int(), ctypes.c_int()
        w, h, border, depth = ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint(), ctypes.c_uint()
        _x11.XGetGeometry(self.ptr, window, ctypes.byref(root), ctypes.byref(x), ctypes.byref(y), ctypes.byref(w),
                          ctypes.byref(h), ctypes.byref(border), ctypes.byref(depth))
        rx, ry, child = ctypes.c_int(), ctypes.c_int(), Window()
        _x11.XTranslateCoordinates(self.ptr, window, self.root, 0, 0, ctypes.byref(rx), ctypes.byref(ry),
                                   ctypes.byref(child))
        return rx.value, ry.value, w.value, h.value

    def keycode(self, keysym_name):
        code = _x11.XKeysymToKeycode(self.ptr, _x11.XStringToKeysym(keysym_name.encode()))
        if not code:
            raise RuntimeError(f"no key for {keysym_name}")
        return code

    def key(self, code, press):
        _xtst.XTestFakeKeyEvent(self.ptr, code, 1 if press else 0, 0)

    def click(self, x, y):
        _xtst.XTestFakeMotionEvent(self.ptr, -1, x, y, 0)
        _xtst.XTestFakeButtonEvent(self.ptr, 1, 1, 0)
        _xtst.XTestFakeButtonEvent(self.ptr, 1, 0, 0)
        self.flush()

    def move_pointer(self, x, y):
        _xtst.XTestFakeMotionEvent(self.ptr, -1, x, y, 0)
        self.flush()

    def move(self, window, x, y):
        _x11.XMoveWindow(self.ptr, window, x, y)
        self.flush()

    def focus(self, window):
        _x11.XSetInputFocus(self.ptr, window, 2, 0)  # RevertToParent, CurrentTime
        self.flush()

    def flush(self):
        _x11.XFlush(self.ptr)

    def sync(self):
        _x11.XSync(self.ptr, 0)

    def pixels(self, x, y, width, height):
        """The screen's pixels as rows of (r, g, b) tuples (24/32-bit visuals only)."""
        image = _x11.XGetImage(self.ptr, self.root, x, y, width, height, 0xFFFFFFFF, Z_PIXMAP)
        if not image:
            raise RuntimeError("XGetImage failed")
        img = ctypes.cast(image, ctypes.POINTER(_Image)).contents
        if img.bits_per_pixel != 32:
            raise RuntimeError(f"unsupported visual: {img.bits_per_pixel} bits per pixel")
        raw = ctypes.string_at(img.data, img.bytes_per_line * img.height)
        rows = []
        for row in range(height):
            line = raw[row * img.bytes_per_line: row * img.bytes_per_line + 4 * width]
            rows.append([(line[i + 2], line[i + 1], line[i]) for i in range(0, len(line), 4)])
        _x11.XFree(img.data)
        _x11.XFree(image)
        return rows

    def save_png(self, path, x, y, width, height):
        rows = self.pixels(x, y, width, height)
        body = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        with open(path, "wb") as out:
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
            out.write(chunk(b"IDAT", zlib.compress(body)))
            out.write(chunk(b"IEND", b""))


class Pinger:
    """Measures how long a window's event loop takes to answer _NET_WM_PING (what a window manager
    uses to tell a hung application): the client answers from its main thread."""

    # Every pinger of the process sees every answer: stamps are unique across them.
    _stamps = itertools.count(1)

    def __init__(self, display_name, window):
        self.display = Display(display_name)
        self.window = window
        self.protocols = self.display.atom("WM_PROTOCOLS")
        self.ping_atom = self.display.atom("_NET_WM_PING")
        # Qt answers to the root with StructureNotify | SubstructureRedirect; the latter belongs to a
        # window manager.
        _x11.XSelectInput(self.display.ptr, self.display.root, STRUCTURE_NOTIFY_MASK)
        self.fd = _x11.XConnectionNumber(self.display.ptr)

    def ping(self, timeout):
        """Seconds until the answer, or None when none came within `timeout`."""
        stamp = next(Pinger._stamps)
        event = _Event()
        event.client.type = CLIENT_MESSAGE
        event.client.window = self.window
        event.client.message_type = self.protocols
        event.client.format = 32
        event.client.l[0] = self.ping_atom
        event.client.l[1] = stamp
        event.client.l[2] = self.window
        start = time.monotonic()
        _x11.XSendEvent(self.display.ptr, self.window, 0, 0, ctypes.byref(event))
        self.display.flush()
        reply = _Event()
        while True:
            while _x11.XPending(self.display.ptr):
                _x11.XNextEvent(self.display.ptr, ctypes.byref(reply))
                if (reply.type == CLIENT_MESSAGE and reply.client.message_type == self.protocols
                        and reply.client.l[0] == self.ping_atom and reply.client.l[1] == stamp):
                    return time.monotonic() - start
            left = timeout - (time.monotonic() - start)
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)
