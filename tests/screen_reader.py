#!/usr/bin/python3
# What a screen reader receives over AT-SPI. The program runs on an X server
# and a D-Bus session bus of its own; this script, an AT-SPI client, presses
# "1,000" and then "Init" and checks that each time the Results notification
# turns "showing" (what readers such as Orca speak a notification on) with
# the text that the window's labels show.
# Usage: screen_reader.py PROGRAM. Exit status 0: passed; 77: a tool is missing.
import contextlib, os, select, shutil, signal, subprocess, sys, tempfile, time

try:
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, GLib
    missing = [tool for tool in ("Xvfb", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher") if not shutil.which(tool)]
except (ImportError, ValueError) as error:
    missing = [str(error)]
if missing:
    print(f"screen_reader: skipped, missing {missing} (xvfb dbus at-spi2-core python3-gi gir1.2-atspi-2.0)")
    sys.exit(77)

def fail(message):
    sys.exit(f"screen_reader: FAIL: {message}")

def start(command):
    # With its own process group, so that what it starts ends with it. A
    # server given a pipe in place of FD writes its address there when ready.
    reader, writer = os.pipe()
    processes.append(subprocess.Popen([arg.replace("FD", str(writer)) for arg in command], pass_fds=[writer],
                                      start_new_session=True))
    os.close(writer)
    with os.fdopen(reader) as pipe:
        return select.select([pipe], [], [], 10)[0] and pipe.readline().strip() or fail(f"{command[0]} did not start")

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

processes, shown = [], []
signal.signal(signal.SIGALRM, lambda *_: fail("timed out"))
signal.alarm(25)
with tempfile.TemporaryDirectory() as runtime:
    try:
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        os.environ.update(XDG_RUNTIME_DIR=runtime, PULSE_SERVER=f"unix:{runtime}/none", QT_QPA_PLATFORM="xcb",
                          QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = start(["dbus-daemon", "--session", "--nofork", "--print-address=FD"])
        os.environ["DISPLAY"] = ":" + start(["Xvfb", "-displayfd", "FD", "-nolisten", "tcp"])
        Atspi.set_timeout(5000, 10000)
        listener = Atspi.EventListener.new(on_showing)
        listener.register("object:state-changed:showing")  # first: Qt sends only the kinds of event asked for
        processes.append(subprocess.Popen([sys.argv[1]], start_new_session=True))
        app = pump(lambda: next((a for a in descendants(Atspi.get_desktop(0))
                                 if a.get_name() == "sesame-pi" and a.get_child_count()), None), 10)
        (app or fail("no sesame-pi window on the AT-SPI bus")).set_cache_mask(Atspi.Cache.NONE)
        controls = descendants(app)
        def named(role, name):
            found = [a for a in controls if a.get_role() == role and a.get_name() == name]
            return found[0] if found else fail(f'no {role.value_nick} "{name}" on the AT-SPI bus')
        def value_label(caption):  # the label to the right of a caption, on its row
            box = lambda a: a.get_extents(Atspi.CoordType.WINDOW)
            row = box(named(Atspi.Role.LABEL, caption))
            return min((a for a in controls if a.get_role() == Atspi.Role.LABEL and box(a).x > row.x),
                       key=lambda a: abs(box(a).y - row.y))
        captions = ("Number of sesame seeds in a circle＝", "pi＝")
        value_labels = [value_label(caption) for caption in captions]
        values = lambda: [label.get_name().strip() for label in value_labels]
        told = lambda: ", ".join(f"{caption} {value}".strip() for caption, value in zip(captions, values()))
        for button, shows_results in (("1,000", lambda count, pi: count.isdigit() and pi != ""),
                                      ("Init", lambda count, pi: count == pi == "")):
            shown.clear()
            named(Atspi.Role.PUSH_BUTTON, button).do_action(0)
            if not pump(lambda: shows_results(*values()) and told() in shown):
                fail(f'after "{button}" the labels read {values()}, but the Results notification turned '
                     f'"showing" with {shown}, not with "{told()}"')
            print(f'screen_reader: after "{button}" a reader was told "{told()}"')
    finally:
        signal.alarm(0)
        for process in reversed(processes):
            for ending in (signal.SIGTERM, signal.SIGKILL):
                with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
                    os.killpg(process.pid, ending)
                    process.wait(5)
