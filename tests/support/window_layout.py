"""The main window's places at 96 DPI, read from ui/WindowLayout.def: the file the window
itself is built from, so the tests click and measure where the program puts things."""
import os
import re

LAYOUT_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "ui",
                           "WindowLayout.def")
_PLACE = re.compile(r"^WINDOW_PLACE\((\w+),\s*(\d+),\s*(\d+),\s*(\d+),\s*(\d+)\)", re.M)


def places():
    """{name: (x, y, width, height)} of every place in the layout file."""
    with open(LAYOUT_FILE) as f:
        return {m.group(1): tuple(int(v) for v in m.group(2, 3, 4, 5))
                for m in _PLACE.finditer(f.read())}


def centre(name):
    """The middle of a control of fixed size, relative to the window's client area."""
    x, y, width, height = places()[name]
    return x + width // 2, y + height // 2
