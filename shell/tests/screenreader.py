#!/usr/bin/python3
"""The window as a screen reader meets it: through the desktop's accessibility bus.

Starts the real tessaly under Xvfb with a D-Bus session and an AT-SPI bus of its own,
reads every window's tree with pyatspi and fails on any control without a name; then
renames a batch through the bus alone (the pattern typed through the editable-text
interface, Rename from the menu, the question answered by its button) and reads the
list and the status bar back. Meanwhile it listens on the bus as a screen reader does:
the progress bar must report its value while the batch runs, and the end must be told
by the message box showing with its text and by the status text.

The program runs under strace, which holds every rename a few milliseconds: a batch on a
fast disk is over before the progress row appears, and the test wants to hear the
progress a long batch gives.

    screenreader.py TESSALY

Exits 77 (ctest's skip) where Xvfb, D-Bus or the AT-SPI bus cannot be started here.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
TIMEOUT = 15  # seconds for any one thing to appear
BATCH = 200  # files renamed
RENAME_DELAY = 5000  # microseconds strace holds each rename: the batch lasts about a second

# The roles of controls a user works with; each needs a name to be told apart. Cells,
# labels, panels and scroll bars are not in it: a cell may be empty as shown, and the
# rest are Qt's own or only show text.
NAMED_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box", "text",
    "entry", "password text", "spin button", "table", "tree table", "list", "tree",
    "menu", "menu item", "check menu item", "radio menu item", "progress bar", "slider",
    "page tab", "link",
}


def skip(reason):
    print("SKIP: " + reason)
    sys.exit(SKIP)


def outer(tessaly):
    """Runs this script again under Xvfb; a missing tool is a skip, not a failure."""
    for tool in ("xvfb-run", "Xvfb", "xauth", "dbus-launch", "strace"):
        if not shutil.which(tool):
            skip(tool + " is not installed (scripts/setup installs it)")
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("at-spi2-core is not installed (scripts/setup installs it)")
    if subprocess.run(["strace", "-f", "-qq", "-o", "/dev/null", "--seccomp-bpf", "true"],
                      capture_output=True).returncode != 0:
        skip("strace cannot trace here")
    if subprocess.run(["/usr/bin/python3", "-c", "import pyatspi"],
                      capture_output=True).returncode != 0:
        skip("python3-pyatspi is not installed (scripts/setup installs it)")
    env = dict(os.environ, TESSALY_BUS_TEST_INNER="1")
    command = ["xvfb-run", "-a", "-s", "-screen 0 1400x900x24",
               "/usr/bin/python3", os.path.abspath(__file__), tessaly]
    result = subprocess.run(command, env=env)
    return result.returncode


class Session:
    """The D-Bus session and the accessibility bus, ended with the test."""

    def __init__(self):
        self.pids = []

    def start(self):
        try:
            out = subprocess.run(["dbus-launch", "--sh-syntax"], capture_output=True,
                                 text=True, timeout=TIMEOUT, check=True).stdout
        except (OSError, subprocess.SubprocessError) as error:
            skip("no D-Bus session could be started: %s" % error)
        for line in out.splitlines():
            if "=" in line and line.startswith("DBUS_SESSION_BUS_"):
                name, value = line.split("=", 1)
                value = value.split(";")[0].strip("'")
                os.environ[name] = value
                if name == "DBUS_SESSION_BUS_PID":
                    self.pids.append(int(value))
        launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.pids.append(launcher.pid)
        self.launcher = launcher

    def end(self):
        for pid in reversed(self.pids):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass


def wait_for(what, find, timeout=TIMEOUT):
    """Polls find() until it gives something; fails after timeout seconds. A call that
    fails on the way (a busy program's reply timed out, a node gone) is polled again."""
    end = time.monotonic() + timeout
    error = None
    while True:
        try:
            found = find()
        except Exception as failure:
            found, error = None, failure
        if found:
            return found
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for %s%s" % (
                what, " (last error: %s)" % error if error else ""))
        pump(0.05)


def pump(seconds):
    """Lets the bus deliver events for a while: pyatspi calls the listeners from GLib's
    main context, which only turns here."""
    from gi.repository import GLib
    context = GLib.MainContext.default()
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if not context.iteration(False):
            time.sleep(0.005)


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def walk(node):
    """The tree below node; a table's cells are left out (they are many, and are read
    through the table interface)."""
    yield node
    if role(node) == "table":
        return
    for child in children(node):
        if child is not None:
            yield from walk(child)


def parent_pid(pid):
    with open("/proc/%d/stat" % pid) as stat:
        # The command in parentheses may hold spaces; the parent follows the state.
        return int(stat.read().rsplit(")", 1)[1].split()[1])


def role(node):
    try:
        return node.getRoleName()
    except Exception:
        return ""


def showing(node):
    import pyatspi
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def path_of(node):
    parts = []
    while node is not None and role(node) != "application":
        parts.append("%s '%s'" % (role(node), node.name))
        node = node.parent
    return " / ".join(reversed(parts))


def unnamed(window):
    """The controls in window's tree without a name, by where they are."""
    return [path_of(node) for node in walk(window)
            if role(node) in NAMED_ROLES and not (node.name or "").strip()]


def find(root, role_name, name=None, only_showing=False):
    for node in walk(root):
        if role(node) == role_name and (name is None or node.name == name) and \
                (not only_showing or showing(node)):
            return node
    return None


def press(node, timeout_ok=False):
    """The node's first action (press, click); a call that opens a modal box returns only
    when the box closes, so its time-out is expected there."""
    try:
        node.queryAction().doAction(0)
    except Exception:
        if not timeout_ok:
            raise


def windows(app):
    return [w for w in children(app) if showing(w)]


def window_named(app, prefix, role_names=("frame", "dialog", "alert", "window")):
    for window in children(app):
        if role(window) in role_names and showing(window) and (window.name or "").startswith(prefix):
            return window
    return None


def message_box(app):
    """The message box shown now: its role and every label's text."""
    for window in windows(app):
        if role(window) in ("alert", "dialog") and find(window, "push button", only_showing=True):
            texts = [n.name for n in walk(window) if role(n) == "label" and n.name]
            if texts and window.name.startswith("Tessaly"):
                return window, texts
    return None


class Listener:
    """What a screen reader hears: the events of the kinds it listens to, each with what
    could be read from its source when it arrived (a source may be gone later)."""

    KINDS = ("object:property-change:accessible-value", "object:property-change:accessible-name",
             "object:state-changed:showing", "window:activate")

    def __init__(self):
        import pyatspi
        self.heard = []
        pyatspi.Registry.registerEventListener(self.hear, *self.KINDS)

    def hear(self, event):
        source = event.source
        heard = {"type": event.type, "role": role(source), "on": event.detail1}
        try:
            heard["name"] = source.name
            heard["parent"] = role(source.parent)
            heard["showing"] = showing(source)
            if heard["role"] == "progress bar":
                heard["value"] = source.queryValue().currentValue
            if heard["role"] in ("alert", "dialog"):
                heard["texts"] = [n.name for n in walk(source) if role(n) == "label" and n.name]
        except Exception:
            pass  # gone already: kept with what it had
        self.heard.append(heard)



def matching(heard, **match):
    return [h for h in heard if all(h.get(key) == value for key, value in match.items())]


def inner(tessaly):
    session = Session()
    session.start()
    home = tempfile.mkdtemp(prefix="tessaly-bus-")
    program = None
    traced = []  # the program's own process, below strace
    try:
        import pyatspi
        # Calls that open a modal dialog come back only when it closes: wait 2 s for them.
        # From the start: a grace time for a starting program would hold such a call
        # until the grace ran out; the calls that may meet a starting program are polled.
        pyatspi.setTimeout(2000, 0)
        files = os.path.join(home, "files")
        os.makedirs(files)
        names = ["f%03d.txt" % i for i in range(BATCH)]
        for name in names:
            with open(os.path.join(files, name), "w") as f:
                f.write(name)
        # Listening from before the start: the program asks once at its start which
        # events anyone wants.
        listener = Listener()
        env = dict(os.environ,
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   QT_QPA_PLATFORM="xcb", TESSALY_UPDATE_URL="off", LANG="C.UTF-8",
                   HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"))
        env.pop("APPDATA", None)
        program = subprocess.Popen(
            ["strace", "-f", "-qq", "-o", "/dev/null", "--seccomp-bpf", "-e", "trace=renameat2",
             "-e", "inject=renameat2:delay_exit=%d" % RENAME_DELAY, tessaly, files], env=env)
        desktop = pyatspi.Registry.getDesktop(0)

        def our_app():
            for app in children(desktop):
                try:
                    if app is not None and parent_pid(app.get_process_id()) == program.pid:
                        traced.append(app.get_process_id())
                        return app
                except Exception:
                    pass
            return None

        try:
            app = wait_for("the program on the accessibility bus", our_app)
        except AssertionError:
            if program.poll() is not None:
                raise AssertionError("tessaly ended with %s" % program.returncode)
            skip("the program never appeared on the accessibility bus")
        main = wait_for("the main window", lambda: window_named(app, "Tessaly", ("frame",)))
        table = wait_for("the file list with every file", lambda: (
            lambda t: t if t is not None and t.queryTable().nRows == BATCH else None)(
                find(main, "table")))
        problems = ["main window: " + p for p in unnamed(main)]

        # The History window, opened through its menu item.
        history = find(main, "menu item", "History...")
        assert history is not None, "no History... menu item"
        press(history)
        window = wait_for("the History window", lambda: window_named(app, "History"))
        problems += ["History window: " + p for p in unnamed(window)]
        press(find(window, "push button", "Close"))
        wait_for("the History window to close", lambda: not window_named(app, "History"))

        # The options dialog opens from its toolbar button and waits in its own loop.
        settings = find(main, "push button", "Settings")
        if settings is None:
            problems.append("no button named Settings")
        else:
            press(settings, timeout_ok=True)
            window = wait_for("the options dialog", lambda: window_named(app, "Settings"))
            problems += ["options dialog: " + p for p in unnamed(window)]
            press(find(window, "push button", "Close"))
            wait_for("the options dialog to close", lambda: not window_named(app, "Settings"))
        if table.name != "File list":
            problems.append("the file list is named '%s'" % table.name)

        # A renaming, through the bus alone.
        pattern = find(main, "text", "Pattern")
        assert pattern is not None, "no field named Pattern"
        assert "{name}" in (pattern.description or ""), pattern.description
        pattern.queryEditableText().setTextContents("x-{name}")
        press(find(main, "menu item", "Rename Files!"))
        box, texts = wait_for("the question before renaming", lambda: message_box(app))
        assert any("Proceed to rename" in t for t in texts), texts
        problems += ["question: " + p for p in unnamed(box)]
        mark = len(listener.heard)
        press(find(box, "push button", "Yes"))
        box, texts = wait_for("the message that the batch completed", lambda: (
            lambda m: m if m and any("Batch completed" in t for t in m[1]) else None)(message_box(app)))
        pump(0.2)  # the box's own events, sent as it showed
        heard = listener.heard[mark:]
        press(find(box, "push button", "OK"))
        wait_for("the message to close", lambda: not message_box(app))

        # Progress: the bar's value told while its row shows, more than once mid-batch (the
        # values are read as each event arrives, so they lag a little).
        moved = matching(heard, type="object:property-change:accessible-value",
                         role="progress bar", showing=True)
        values = sorted({h["value"] for h in moved if 0 < h.get("value", 0) < BATCH})
        assert len(values) >= 2, "no progress heard while the batch ran: %s" % moved
        told = [h for h in matching(heard, type="object:property-change:accessible-name",
                                    role="label", showing=True)
                if " of %d: x-f" % BATCH in (h.get("name") or "")]
        assert told, "the progress text was not heard"
        # The end: the box appears with its text, and the status text is told again.
        shown = [h for h in heard if h["role"] == "alert" and any(
            "Batch completed" in t for t in h.get("texts", [])) and (
                h["type"] == "window:activate" or h["on"] == 1)]
        assert shown, "the completion message was not heard: %s" % [
            h for h in heard if h["role"] in ("alert", "dialog")]
        assert matching(heard, type="object:property-change:accessible-name",
                        name="Files: %d" % BATCH, parent="status bar"), \
            "the status text was not heard"

        renamed = ["x-" + name for name in names]

        def renamed_rows():
            cells = [table.queryTable().getAccessibleAt(row, 0).name for row in range(BATCH)]
            return cells if cells == renamed else None
        wait_for("the list to show the new names", renamed_rows)
        bar = find(main, "status bar")
        status = [n.name for n in walk(bar) if role(n) == "label" and n.name]
        assert "Files: %d" % BATCH in status, status
        assert sorted(os.listdir(files)) == renamed, sorted(os.listdir(files))[:5]

        if problems:
            print("Controls without a name:\n  " + "\n  ".join(problems))
            return 1
        print("every control named; renamed %d files through the bus; heard the bar at %d "
              "values (%g..%g), the progress text %d times, the completion message (%s) and "
              "the status text" % (BATCH, len(values), values[0], values[-1], len(told),
                                   ", ".join(sorted({h["type"] for h in shown}))))
        return 0
    finally:
        # strace ends when its program does: ended by itself, it would let the program go
        # on untraced.
        for pid in traced:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        if program is not None and program.poll() is None:
            program.terminate()
            try:
                program.wait(5)
            except subprocess.TimeoutExpired:
                program.kill()
        session.end()
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    if os.environ.get("TESSALY_BUS_TEST_INNER") == "1":
        try:
            sys.exit(inner(sys.argv[1]))
        except AssertionError as failure:
            print("FAIL: %s" % failure)
            sys.exit(1)
    sys.exit(outer(sys.argv[1]))
