#!/usr/bin/python3
"""The window as a screen reader meets it: through the desktop's accessibility bus.

Starts the real tessaly under Xvfb with a D-Bus session and an AT-SPI bus of its own,
reads every window's tree with pyatspi and fails on any control without a name; then
renames two files through the bus alone (the pattern typed through the editable-text
interface, Rename from the menu, the question answered by its button) and reads the
list and the status bar back.

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
    for tool in ("xvfb-run", "Xvfb", "xauth", "dbus-launch"):
        if not shutil.which(tool):
            skip(tool + " is not installed (scripts/setup installs it)")
    if not os.path.exists("/usr/libexec/at-spi-bus-launcher"):
        skip("at-spi2-core is not installed (scripts/setup installs it)")
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
    """Polls find() until it gives something; fails after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        found = find()
        if found:
            return found
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.05)


def children(node):
    try:
        return [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:
        return []


def walk(node):
    yield node
    for child in children(node):
        if child is not None:
            yield from walk(child)


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


def inner(tessaly):
    session = Session()
    session.start()
    home = tempfile.mkdtemp(prefix="tessaly-bus-")
    program = None
    try:
        import pyatspi
        # Calls that open a modal dialog come back only when it closes: wait 2 s for them.
        pyatspi.setTimeout(2000, 15000)
        files = os.path.join(home, "files")
        os.makedirs(files)
        for name in ("a.txt", "b.txt"):
            with open(os.path.join(files, name), "w") as f:
                f.write(name)
        env = dict(os.environ,
                   QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                   QT_QPA_PLATFORM="xcb", TESSALY_UPDATE_URL="off", LANG="C.UTF-8",
                   HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                   XDG_DATA_HOME=os.path.join(home, "data"),
                   XDG_CACHE_HOME=os.path.join(home, "cache"))
        env.pop("APPDATA", None)
        program = subprocess.Popen([tessaly, files], env=env)
        desktop = pyatspi.Registry.getDesktop(0)

        def our_app():
            for app in children(desktop):
                try:
                    if app is not None and app.get_process_id() == program.pid:
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
        table = wait_for("the file list with two rows", lambda: (
            lambda t: t if t is not None and t.queryTable().nRows == 2 else None)(
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
        press(find(box, "push button", "Yes"))
        box, texts = wait_for("the message that the batch completed", lambda: (
            lambda m: m if m and any("Batch completed" in t for t in m[1]) else None)(message_box(app)))
        press(find(box, "push button", "OK"))
        wait_for("the message to close", lambda: not message_box(app))

        def renamed_rows():
            cells = [table.queryTable().getAccessibleAt(row, 0).name for row in range(2)]
            return cells if cells == ["x-a.txt", "x-b.txt"] else None
        wait_for("the list to show the new names", renamed_rows)
        bar = find(main, "status bar")
        status = [n.name for n in walk(bar) if role(n) == "label" and n.name]
        assert "Files: 2" in status, status
        assert sorted(os.listdir(files)) == ["x-a.txt", "x-b.txt"], os.listdir(files)

        if problems:
            print("Controls without a name:\n  " + "\n  ".join(problems))
            return 1
        print("every control named; renamed through the bus; status bar: %s" % status)
        return 0
    finally:
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
