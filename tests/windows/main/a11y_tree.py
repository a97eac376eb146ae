#!/usr/bin/python3
"""Runs the viewer on a card and reads what assistive technology reads (AT-SPI, pyatspi).

Usage: a11y_tree.py VIEWER CARD OUT.json POSITION_SLIDER_NAME

Run inside a private session bus (dbus-run-session), which starts the accessibility bus, on an X
display. Waits until the position slider (named POSITION_SLIDER_NAME) has a range, that is a
recording is open, then writes OUT.json:
  tree:   every node of the viewer's windows: role, name, description, value [min, current,
          max] or null, checked, showing, depth
  escape: the source dialog opened with Ctrl+O (or by pressing the browse button), then Escape:
          opened, name (the dialog's), closed
Exits 0 when it could read the tree, 1 otherwise (the reason on stderr).
"""
import json
import os
import subprocess
import sys
import threading
import time

import pyatspi

XK_CONTROL_L = 0xFFE3
XK_ESCAPE = 0xFF1B
MAX_NODES = 600


def fail(message):
    print("a11y_tree: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(predicate, seconds, step=0.25):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            found = predicate()
        except Exception:  # the tree changes while it is read
            found = None
        if found:
            return found
        time.sleep(step)
    return None


def find_app():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "ravir-viewer":
            return app
    return None


def value_of(acc):
    try:
        v = acc.queryValue()
    except (NotImplementedError, Exception):
        return None
    return [v.minimumValue, v.currentValue, v.maximumValue]


def walk(acc, depth, out):
    if acc is None or len(out) >= MAX_NODES:
        return
    state = acc.getState()
    out.append({
        "role": acc.getRoleName(),
        "name": acc.name or "",
        "description": acc.description or "",
        "value": value_of(acc),
        "checked": state.contains(pyatspi.STATE_CHECKED),
        "showing": state.contains(pyatspi.STATE_SHOWING),
        "depth": depth,
    })
    for child in acc:
        walk(child, depth + 1, out)


def find(acc, predicate, depth=0):
    if acc is None or depth > 12:
        return None
    if predicate(acc):
        return acc
    for child in acc:
        hit = find(child, predicate, depth + 1)
        if hit is not None:
            return hit
    return None


def dialogs(app):
    return [w for w in app if w is not None and w.getRoleName() == "dialog"]


def main():
    if len(sys.argv) != 5:
        fail("usage: a11y_tree.py VIEWER CARD OUT.json POSITION_SLIDER_NAME")
    viewer, card, out_path, position_name = sys.argv[1:5]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    result = {"tree": [], "escape": {"opened": False, "name": "", "closed": False, "how": ""}}
    # Now and then a viewer started inside the test's bus session is refused by the X server
    # ("could not connect to display") and exits at once: that start is repeated, at most
    # twice. A viewer that runs but never shows up on the bus fails as before.
    for attempt in range(3):
        proc = subprocess.Popen([viewer, card], env=env)
        app = wait_for(lambda: find_app() or proc.poll() is not None, 60)
        if app is True and proc.poll() is not None and find_app() is None and attempt < 2:
            print(f"a11y_tree: the viewer exited at start (code {proc.returncode}); starting it again",
                  file=sys.stderr)
            time.sleep(1)
            continue
        break
    try:
        app = find_app() if app is True else app
        if app is None:
            fail("the viewer did not appear on the accessibility bus")

        def slider_with_range():
            s = find(app, lambda a: a.getRoleName() == "slider" and a.name == position_name)
            return s if s is not None and value_of(s) and value_of(s)[2] > 0 else None

        if wait_for(slider_with_range, 90) is None:
            fail("no recording opened (the position slider has no range)")
        time.sleep(0.5)
        for window in app:
            walk(window, 0, result["tree"])

        # The source dialog: Ctrl+O on the window; when the key does not reach it, the browse
        # button's press action (its call returns only once the dialog closes: on a thread).
        pyatspi.Registry.generateKeyboardEvent(XK_CONTROL_L, None, pyatspi.KEY_PRESS)
        pyatspi.Registry.generateKeyboardEvent(ord("o"), None, pyatspi.KEY_SYM)
        pyatspi.Registry.generateKeyboardEvent(XK_CONTROL_L, None, pyatspi.KEY_RELEASE)
        result["escape"]["how"] = "key"
        dialog = wait_for(lambda: (dialogs(app) or [None])[0], 5)
        if dialog is None:
            browse = find(app, lambda a: a.getRoleName() == "push button"
                          and a.description.endswith("Ctrl+O"))
            if browse is not None:
                action = browse.queryAction()
                threading.Thread(target=lambda: action.doAction(0), daemon=True).start()
                result["escape"]["how"] = "action"
                dialog = wait_for(lambda: (dialogs(app) or [None])[0], 10)
        if dialog is not None:
            result["escape"]["opened"] = True
            result["escape"]["name"] = dialog.name or ""
            time.sleep(0.5)
            pyatspi.Registry.generateKeyboardEvent(XK_ESCAPE, None, pyatspi.KEY_SYM)
            result["escape"]["closed"] = wait_for(lambda: not dialogs(app), 10) is True
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
        with open(out_path, "w", encoding="utf-8") as f:
            json.dump(result, f, ensure_ascii=False, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
