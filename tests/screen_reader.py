#!/usr/bin/python3
# What a screen reader receives over AT-SPI. Run on an X server and a session
# bus of its own (xvfb-run, dbus-run-session), this script, an AT-SPI client,
# starts the program, presses "1,000" and then "Init", and checks that each
# time the Results notification turns "showing" (what readers such as Orca
# speak a notification on) with the text that the window's labels show.
# Usage: screen_reader.py PROGRAM. Exit status 0: passed; 77: a tool is missing.
import os, re, signal, subprocess, sys, time

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
except (ImportError, ValueError) as error:
    print(f"screen_reader: skipped ({error}; needs python3-gi, gir1.2-atspi-2.0)")
    sys.exit(77)

fail = lambda message: sys.exit(f"screen_reader: FAIL: {message}")

def pump(until, seconds=5):  # handles the events that come in until until() or the time is up
    deadline = time.monotonic() + seconds
    while not until() and time.monotonic() < deadline:
        GLib.MainContext.default().iteration(False) or time.sleep(0.05)
    return until()

def descendants(node):
    children = [node.get_child_at_index(i) for i in range(node.get_child_count())]
    return children + [grandchild for child in children for grandchild in descendants(child)]

def on_showing(event):
    if event.detail1 == 1 and event.source.get_role() == Atspi.Role.NOTIFICATION:
        shown.append(" ".join(event.source.get_name().split()))

shown = []
signal.signal(signal.SIGALRM, lambda *_: fail("timed out"))
signal.alarm(25)
os.environ.update(QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", PULSE_SERVER="unix:/nonexistent")
Atspi.set_timeout(5000, 10000)
listener = Atspi.EventListener.new(on_showing)
listener.register("object:state-changed:showing")  # first: Qt sends only the kinds of event asked for
program = subprocess.Popen([sys.argv[1]], start_new_session=True)
try:
    app = pump(lambda: next((a for a in descendants(Atspi.get_desktop(0))
                             if a.get_name() == "sesame-pi" and a.get_child_count()), None), 10)
    (app or fail("no sesame-pi window on the AT-SPI bus")).set_cache_mask(Atspi.Cache.NONE)
    controls = descendants(app)
    pictures = sorted(a.get_name() for a in controls if a.get_role() == Atspi.Role.IMAGE)
    pictures == ["Board", "Emblem"] or fail(f"the pictures told as {pictures}")
    # After "1,000": the count, and 4 x count / 1000 as the estimate, worked out here; after Init: neither.
    results = re.compile(r"Number of sesame seeds in a circle＝ (\d+), pi＝ ([\d.]+)")
    ran = lambda text: (m := results.fullmatch(text)) and float(m[2]) == 4 * int(m[1]) / 1000
    for button, told in (("1,000", ran), ("Init", lambda text: text == "Number of sesame seeds in a circle＝, pi＝")):
        shown.clear()
        next(a for a in controls if a.get_role() == Atspi.Role.PUSH_BUTTON and a.get_name() == button).do_action(0)
        if not pump(lambda: any(told(text) for text in shown)):
            fail(f'after "{button}" the Results notification turned "showing" with {shown}')
finally:
    os.killpg(program.pid, signal.SIGKILL)
    program.wait(5)
