#!/usr/bin/python3
"""The window manager of the tests' virtual display: the least of a desktop's that wine waits for.

Wine hides a window of its own only once a window manager has confirmed that the window is shown
(the window's WM_STATE property says NormalState); on a display without one it waits 2 s for that
at every window's close. This manager confirms each map and unmap and grants every request as
asked, and does nothing else: it draws no frame, moves, sizes and stacks nothing by itself and
leaves the keyboard focus to the pointer, so windows stand exactly where they would stand on the
bare display, and a test's clicks land where it aims them.

usage: display-wm.py, with DISPLAY set (run by Debian's own python3, which has python3-xlib). Once
it manages the display it goes on in the background, prints its process id and returns; it ends
with the display. Exits with status 1 when another window manager has the display already.
"""

import os
import sys

from Xlib import X, display, error

NORMAL_STATE, WITHDRAWN_STATE = 1, 0
CONFIGURE_FIELDS = (
    (X.CWX, "x"),
    (X.CWY, "y"),
    (X.CWWidth, "width"),
    (X.CWHeight, "height"),
    (X.CWBorderWidth, "border_width"),
    (X.CWSibling, "sibling"),
    (X.CWStackMode, "stack_mode"),
)


def take_display():
    """Connects and asks for the root window's requests, which only one client may have."""
    connection = display.Display()
    root = connection.screen().root
    refused = error.CatchError(error.BadAccess)
    root.change_attributes(event_mask=X.SubstructureRedirectMask | X.SubstructureNotifyMask, onerror=refused)
    connection.sync()
    if refused.get_error():
        sys.exit("display-wm: another window manager has the display")
    # A window can be gone by the time its request is answered; that is no error of ours.
    connection.set_error_handler(lambda *_: None)
    return connection


def manage(connection):
    wm_state = connection.intern_atom("WM_STATE")

    managed = set()  # the windows shown through this manager (never an override-redirect one)

    def set_state(window, state):
        window.change_property(wm_state, wm_state, 32, [state, X.NONE])

    while True:
        event = connection.next_event()
        if event.type == X.MapRequest:
            event.window.map()
            set_state(event.window, NORMAL_STATE)
            managed.add(event.window.id)
        elif event.type == X.UnmapNotify and event.window.id in managed:
            set_state(event.window, WITHDRAWN_STATE)
            managed.discard(event.window.id)
        elif event.type == X.DestroyNotify:
            managed.discard(event.window.id)
        elif event.type == X.ConfigureRequest:
            fields = {name: getattr(event, name) for bit, name in CONFIGURE_FIELDS if event.value_mask & bit}
            if "sibling" in fields and "stack_mode" not in fields:
                del fields["sibling"]
            event.window.configure(**fields)
        elif event.type == X.CirculateRequest:
            event.window.configure(stack_mode=X.Above if event.place == X.PlaceOnTop else X.Below)
        connection.flush()


def main():
    connection = take_display()
    child = os.fork()
    if child:
        print(child, flush=True)
        os._exit(0)
    null = os.open(os.devnull, os.O_RDWR)
    for stream in (0, 1, 2):
        os.dup2(null, stream)
    try:
        manage(connection)
    except error.ConnectionClosedError:
        pass  # the display has ended


if __name__ == "__main__":
    main()
