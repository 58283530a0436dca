"""The pointer's shape as the X server shows it (XFixes), read with ctypes."""

import ctypes
import ctypes.util


class _CursorImage(ctypes.Structure):
    _fields_ = [("x", ctypes.c_short), ("y", ctypes.c_short),
                ("width", ctypes.c_ushort), ("height", ctypes.c_ushort),
                ("xhot", ctypes.c_ushort), ("yhot", ctypes.c_ushort),
                ("cursor_serial", ctypes.c_ulong), ("pixels", ctypes.POINTER(ctypes.c_ulong)),
                ("atom", ctypes.c_ulong), ("name", ctypes.c_char_p)]


def _libraries():
    x11 = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xfixes = ctypes.CDLL(ctypes.util.find_library("Xfixes") or "libXfixes.so.3")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XFree.argtypes = [ctypes.c_void_p]
    xfixes.XFixesGetCursorImage.restype = ctypes.POINTER(_CursorImage)
    xfixes.XFixesGetCursorImage.argtypes = [ctypes.c_void_p]
    return x11, xfixes


def cursor_shape(display):
    """(width, height, xhot, yhot, name) of the pointer on the display; the
    name is what the cursor was loaded by from a cursor theme, else empty."""
    x11, xfixes = _libraries()
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        raise OSError(f"cannot open display {display}")
    try:
        image = xfixes.XFixesGetCursorImage(dpy)
        if not image:
            raise OSError("XFixesGetCursorImage answered nothing")
        c = image.contents
        shape = (c.width, c.height, c.xhot, c.yhot, (c.name or b"").decode("latin-1"))
        x11.XFree(image)
        return shape
    finally:
        x11.XCloseDisplay(dpy)
