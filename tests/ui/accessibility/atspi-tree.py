#!/usr/bin/env python3
"""The running program as a screen reader meets it, through the AT-SPI accessibility bus.

Starts PROGRAM with the FILEs (the first plays, all join the playlist), waits for its three windows on the bus, lists every control
with its role and name, and fails when a button, toggle or slider shown has no name or not the
role of what it does, when one of the controls a user needs is missing, or when the elapsed time,
which changes at every frame while playing, is announced more than once a second.

Usage (inside a D-Bus session and an X server):
  atspi-tree.py PROGRAM FILE... [--shot DIR]
Exit status: 0 passed, 1 failed, 77 skipped (pyatspi or the accessibility bus is missing).
With --shot, a screenshot of the three windows is written to DIR.
"""

import os
import re
import subprocess
import sys
import time

try:
    import pyatspi
    from gi.repository import GLib
except ImportError as error:  # the test is skipped, not failed, where the bindings are missing
    print(f"skipped: pyatspi is not installed ({error})")
    sys.exit(77)

BUTTON_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX}
TOGGLE_ROLES = {pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX}
CHECKED_ROLES = BUTTON_ROLES | {pyatspi.ROLE_SLIDER}

# What each window must offer, by name: the role a user expects for it.
PLAYER = {
    "Previous": {pyatspi.ROLE_PUSH_BUTTON},
    "Next": {pyatspi.ROLE_PUSH_BUTTON},
    "Play": {pyatspi.ROLE_PUSH_BUTTON},
    "Pause": {pyatspi.ROLE_PUSH_BUTTON},
    "Stop": {pyatspi.ROLE_PUSH_BUTTON},
    "Load files": {pyatspi.ROLE_PUSH_BUTTON},
    "About Tovira": {pyatspi.ROLE_PUSH_BUTTON},
    "Equalizer": TOGGLE_ROLES,
    "Playlist": TOGGLE_ROLES,
    "Position": {pyatspi.ROLE_SLIDER},
    "Volume": {pyatspi.ROLE_SLIDER},
}
EQUALIZER = {name: {pyatspi.ROLE_SLIDER} for name in
             ["Gain"] + [f"{band} Hz" for band in
                         ("345", "1k", "1.7k", "2.8k", "4.1k", "5.9k", "8.6k", "12k", "16k", "20k")]}
PLAYLIST = {name: {pyatspi.ROLE_PUSH_BUTTON} for name in
            ("Clear", "Add Files", "Add Dir", "Save", "Remove", "Shuffle", "Help")}
PLAYLIST["Playlist"] = {pyatspi.ROLE_TABLE}
PLAYLIST["Filter"] = {pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY}
TIME_TEXT = re.compile(r"^\d\d+:\d\d\.\d\d$")


def role_names(roles):
    return " or ".join(sorted(getattr(r, "value_nick", str(r)) for r in roles))


def wait_for(what, timeout, step=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        found = what()
        if found:
            return found
        time.sleep(step)
    return what()


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application leaving the bus while it is read
            continue
    return None


def frames(app):
    out = {}
    for i in range(app.childCount):
        frame = app.getChildAtIndex(i)
        if frame is not None:
            out[frame.name] = frame
    return out


def walk(node, depth=0):
    """Every shown descendant of node, with its depth."""
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is None:
            continue
        if not child.getState().contains(pyatspi.STATE_SHOWING) and child.getRole() != pyatspi.ROLE_TABLE_CELL:
            continue
        yield from walk(child, depth + 1)


def describe(node):
    text = f"{node.getRoleName()} '{node.name}'"
    states = node.getState()
    if states.contains(pyatspi.STATE_CHECKABLE) or node.getRole() in TOGGLE_ROLES:
        text += " checked" if states.contains(pyatspi.STATE_CHECKED) else " unchecked"
    if states.contains(pyatspi.STATE_FOCUSABLE):
        text += " focusable"
    try:
        value = node.queryValue()
        text += f" value {value.currentValue:g} of {value.minimumValue:g}..{value.maximumValue:g}"
    except NotImplementedError:
        pass
    return text


def check_window(title, frame, wanted, failures):
    print(f"== {title}")
    seen = {}
    for node, depth in walk(frame):
        if node is frame:
            continue
        if node.getRole() == pyatspi.ROLE_TABLE_CELL and depth > 3:
            continue
        print("  " * depth + describe(node))
        role = node.getRole()
        if role in CHECKED_ROLES and not node.name.strip():
            failures.append(f"{title}: a {node.getRoleName()} without a name")
        if role == pyatspi.ROLE_SLIDER:
            try:
                node.queryValue()
            except NotImplementedError:
                failures.append(f"{title}: slider '{node.name}' gives no value")
        seen.setdefault(node.name, set()).add(role)
    for name, roles in wanted.items():
        if name not in seen:
            failures.append(f"{title}: no control named '{name}'")
        elif not seen[name] & roles:
            failures.append(f"{title}: '{name}' has the role {role_names(seen[name])}, not {role_names(roles)}")
    return seen


def table_header_check(frame, failures):
    for node, _ in walk(frame):
        if node.getRole() == pyatspi.ROLE_TABLE and node.name == "Playlist":
            table = node.queryTable()
            headers = [table.getColumnDescription(c).strip() for c in range(table.nColumns)]
            print(f"  table columns: {headers}, rows: {table.nRows}")
            if headers != ["No.", "Artist", "Title", "Album", "Year", "Genre", "Duration"]:
                failures.append(f"Playlist: the table's columns read {headers}")
            if table.nRows < 2:
                failures.append(f"Playlist: the table has {table.nRows} rows, not the two files")
            else:
                title = table.getAccessibleAt(0, 2)
                if title is None or title.name != "Atspi Title":
                    failures.append(f"Playlist: row 1's title reads {title.name if title else None!r}")
            return
    failures.append("Playlist: no table named 'Playlist'")


def count_time_announcements(pid, seconds):
    """Name changes of the elapsed time heard within `seconds`, with when they came."""
    heard = []

    def on_event(event):
        try:
            source = event.source
            if source.get_process_id() == pid and TIME_TEXT.match(source.name or ""):
                heard.append(time.monotonic())
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-name")
    GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(on_event, "object:property-change:accessible-name")
    return heard


def set_through_bus(slider, value):
    """Sets a slider's value as a reader would; returns the value read back and the value-change
    events heard from it within half a second."""
    heard = []

    def on_event(event):
        try:
            if event.source == slider:
                heard.append(event)
        except Exception:
            pass

    pyatspi.Registry.registerEventListener(on_event, "object:property-change:accessible-value")
    slider.queryValue().currentValue = value
    GLib.timeout_add(500, lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(on_event, "object:property-change:accessible-value")
    return slider.queryValue().currentValue, len(heard)


def shoot(directory, name):
    path = os.path.join(directory, name)
    subprocess.run(["import", "-window", "root", path], check=False)
    print(f"screenshot {path}")


def main():
    args = sys.argv[1:]
    shots = None
    if "--shot" in args:
        at = args.index("--shot")
        shots = args[at + 1]
        del args[at:at + 2]
    if len(args) < 3:
        print(__doc__)
        return 2
    program, songs = args[0], args[1:]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb")
    env.setdefault("SDL_AUDIODRIVER", "dummy")
    log = open(os.path.join(os.environ.get("WORK", "/tmp"), "atspi-program.log"), "w")
    child = subprocess.Popen([program, *songs], env=env, stdout=log, stderr=subprocess.STDOUT)
    failures = []
    try:
        app = wait_for(lambda: find_app(child.pid), 30)
        if app is None:
            if child.poll() is not None:
                print(f"FAIL: the program ended ({child.returncode}) before it showed on the bus")
                return 1
            print("FAIL: the program never showed on the accessibility bus")
            return 1
        print(f"application '{app.name}' (pid {child.pid})")
        names = wait_for(lambda: (lambda f: f if any(n.startswith("Tovira Equalizer") for n in f)
                                  and "Playlist" in f and any(n.endswith("Tovira") and n != "Tovira Equalizer"
                                                             for n in f) else None)(frames(app)), 30)
        if not names:
            print(f"FAIL: the three windows did not all show: {sorted(frames(app))}")
            return 1
        player = next(f for n, f in names.items() if n.endswith("- Tovira") or n == "Tovira")
        time.sleep(1.0)  # the companions slide into place, the track starts
        check_window(f"player '{player.name}'", player, PLAYER, failures)
        check_window("playlist", names["Playlist"], PLAYLIST, failures)
        table_header_check(names["Playlist"], failures)
        check_window("equalizer", names["Tovira Equalizer"], EQUALIZER, failures)
        if shots:
            shoot(shots, "atspi-windows.png")

        # The time moves at every frame while the track plays; a reader hears of it once a second.
        heard = count_time_announcements(child.pid, 3.2)
        gaps = [round(b - a, 2) for a, b in zip(heard, heard[1:])]
        print(f"time announced {len(heard)} times in 3.2 s, gaps {gaps}")
        if not heard:
            failures.append("the elapsed time was never announced while playing")
        if len(heard) > 4 or any(g < 0.8 for g in gaps):
            failures.append(f"the elapsed time was announced too often: {len(heard)} times, gaps {gaps}")

        # A value set by the reader takes effect, and the slider says so.
        volume = next((n for n, _ in walk(player) if n.name == "Volume" and n.getRole() == pyatspi.ROLE_SLIDER), None)
        if volume is not None:
            value, events = set_through_bus(volume, 30)
            print(f"volume set to 30 through the bus: reads {value:g}, {events} value events")
            if value != 30:
                failures.append(f"the volume set to 30 through the bus reads {value:g}")
            if events < 1:
                failures.append("the volume slider announced no change of its value")

    finally:
        child.terminate()
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
        log.close()
    for failure in failures:
        print(f"FAIL: {failure}")
    if failures:
        return 1
    print("every button, toggle and slider has its name and role; the time is told at most once a second")
    return 0


if __name__ == "__main__":
    sys.exit(main())
