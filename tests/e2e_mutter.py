#!/usr/bin/python3
"""The real game under GNOME's compositor, mutter, run headless, driven
through AT-SPI as a screen reader would; what it checks is in CONTRIBUTING.md.
Usage: e2e_mutter.py wayland|xcb path/to/vortana [--font-dpi N]
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCREEN = (1024, 768)


def fail(message):  # wl_look.py shares it
    print(f"{os.path.basename(sys.argv[0])[:-3]}: {message}", file=sys.stderr)
    sys.exit(1)


def until(what, probe, timeout=30):
    deadline, last = time.monotonic() + timeout, None
    while time.monotonic() < deadline:
        try:
            if last := probe():
                return last
        except Exception as e:  # a window that closes while it is read
            last = e
        time.sleep(0.3)
    fail(f"{what() if callable(what) else what}; last seen: {last}")


def own_x11_folder():
    """Mutter wants Xwayland's socket folder world-writable: a mount
    namespace, where allowed, gives the test one of its own."""
    if os.environ.get("E2E_MUTTER_NS"):
        subprocess.run(["mount", "-t", "tmpfs", "-o", "mode=1777", "tmpfs", "/tmp/.X11-unix"], check=True)
        return
    if not os.path.isdir("/tmp/.X11-unix"):  # made as an X server makes it
        os.mkdir("/tmp/.X11-unix")
        os.chmod("/tmp/.X11-unix", 0o1777)
    if subprocess.run(["unshare", "-Urm", "true"], capture_output=True).returncode == 0:
        os.execvpe("unshare", ["unshare", "-Urm", sys.executable, *sys.argv], dict(os.environ, E2E_MUTTER_NS="1"))


def start_session(tmp, log):
    """A session bus and mutter with a virtual monitor; their environment and processes."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    for var in ("XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"):
        env[var] = f"{tmp}/{var}"
        os.mkdir(env[var], 0o700)
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                           stdout=subprocess.PIPE, stderr=log, text=True)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
    offered = subprocess.run(["mutter", "--help"], capture_output=True, text=True).stdout
    # Newer mutters start Xwayland only when asked to.
    flags = [f for f in ("--xwayland", "--wayland-display=vortana-mutter") if f.split("=")[0] in offered]
    # The command mutter runs once it is up hands over the displays it made.
    show = f'printf "%s\\n" "$DISPLAY" "$WAYLAND_DISPLAY" "$XAUTHORITY" >{tmp}/d.new && mv {tmp}/d.new {tmp}/d'
    env["MUTTER_DEBUG"] = "placement"  # where it puts each window, for native Wayland
    mutter = subprocess.Popen(["mutter", "--headless", "--wayland", "--virtual-monitor", "%dx%d" % SCREEN, *flags,
                               "--", "sh", "-c", show + " && exec sleep 3600"], env=env, stdout=log, stderr=log,
                              start_new_session=True)  # its group ends with it, the command it ran too
    until("mutter did not start", lambda: os.path.exists(f"{tmp}/d") or mutter.poll() is not None)
    mutter.poll() is None or fail(f"mutter ended with status {mutter.returncode}")
    env.update(zip(("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY"), open(f"{tmp}/d").read().split("\n")))
    # Qt joins the accessibility bus only if it is there when Qt starts.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.a11y.Bus.GetAddress"], env=env, check=True, capture_output=True, timeout=20)
    return env, [mutter, bus]


def is_a(o, role):
    """By the role itself: at-spi2-core 2.50 renamed some ("push button" is "button")."""
    import pyatspi
    return o.getRole() == getattr(pyatspi, "ROLE_" + role.upper().replace(" ", "_"))


def find(root, role, text=None, showing=True):
    import pyatspi
    return root and pyatspi.findDescendant(
        root, lambda o: is_a(o, role) and (text is None or o.name.strip() == text)
        and (not showing or o.getState().contains(pyatspi.STATE_SHOWING)))


def window(role, text, state="STATE_SHOWING"):
    """The game's top-level window of ROLE in that state with a showing label TEXT."""
    import pyatspi
    for app in pyatspi.Registry.getDesktop(0):
        for win in app if app is not None and app.name == "vortana" else []:
            if is_a(win, role) and win.getState().contains(getattr(pyatspi, state)) and find(win, "label", text):
                return win
    return None


def press(root, name):
    action = until(f"no button {name}", lambda: find(root, "push button", name)).queryAction()
    action.doAction([action.getName(i) for i in range(action.nActions)].index("Press"))


def extents(o, coords="DESKTOP_COORDS"):
    return o.queryComponent().getExtents(getattr(__import__("pyatspi"), coords))


def x11_frame(env, size):
    """The frame mutter gives the X window titled "Vortana" of that size, and its title."""
    def out(*cmd): return subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=20).stdout
    for wid in out("xdotool", "search", "--onlyvisible", "--name", "^Vortana$").split():
        info = out("xwininfo", "-id", wid)
        x, y, w, h = (int(re.search(p + r":\s+(-?\d+)", info).group(1)) for p in ("upper-left X", "upper-left Y", "Width", "Height"))
        frame = re.search(r"= (\d+), (\d+), (\d+), (\d+)$", out("xprop", "-id", wid, "_NET_FRAME_EXTENTS"))
        if (w, h) == size and frame:
            l, r, t, b = map(int, frame.groups())
            return (x - l + (w + l + r) / 2, y - t + (h + t + b) / 2), out("xprop", "-id", wid, "_NET_WM_NAME")


def play(platform, binary, env, font_dpi, log, procs):
    game_env = dict(env, QT_QPA_PLATFORM=platform, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_LOGGING_RULES="qt.multimedia*=false")
    if font_dpi:  # larger fonts, as a desktop's font setting gives, not a larger window
        game_env.update(QT_FONT_DPI=str(font_dpi), QT_ENABLE_HIGHDPI_SCALING="0")
    game = subprocess.Popen([binary], env=game_env, stdout=log, stderr=log)
    procs.insert(0, game)
    version = int(re.search(r"(\d+)\.", subprocess.run(["mutter", "--version"], capture_output=True, text=True).stdout).group(1))

    def centred_by_mutter():
        return re.findall(r"Centered window W\d+ \(Vortana\) (on monitor \d+|over transient parent)", open(log.name).read())

    asked = []

    def placed(win, what, over):
        """WIN's frame centre, which must be OVER where the game can place it."""
        if platform != "xcb":
            # A box answered before mutter has placed it is never placed.
            asked.append(what)
            if version >= 48:
                until(f"mutter did not place {what}", lambda: len(centred_by_mutter()) >= len(asked), 10)
            return None
        seen = []

        def centred():  # the game moves a window again once mutter has framed it
            seen[:] = [x11_frame(env, tuple(extents(win)[2:]))]
            at, title = seen[0] or (None, "")
            return at if at and max(abs(at[0] - over[0]), abs(at[1] - over[1])) <= 1 and '"Vortana"' in title else None
        return until(lambda: f"{what} is not titled \"Vortana\" and centred on {over}: {seen}", centred, 10)

    screen = (SCREEN[0] / 2, SCREEN[1] / 2)
    prompt = until("no name prompt", lambda: window("dialog", "Come ti chiami?"))
    placed(prompt, "the name prompt", screen)
    until("no name field", lambda: find(prompt, "text")).queryEditableText().setTextContents("Ada")
    press(prompt, "OK")
    greeting = until("no greeting", lambda: window("alert", "Ada vediamo se sei un vero campione"))
    placed(greeting, "the greeting", screen)
    press(greeting, "OK")

    main = until("no game window", lambda: window("frame", "Ada"))
    left, top, width, height = extents(main)
    if (main.name, width) != ("Vortana", 608) or height < 672:
        fail(f"game window {main.name!r} is {width}x{height}, expected \"Vortana\", 608 wide, 672 high and a menu")
    centre = placed(main, "the game window", screen)
    bar = until("no menu bar", lambda: find(main, "menu bar", showing=False))
    entries = []
    for item in bar:
        x, y, w, h = extents(item)
        showing = item.getState().contains(__import__("pyatspi").STATE_SHOWING) and w > 0 and h > 0
        if is_a(item, "menu item"):
            entries.append(item.name)
            # 12 points are 16 pixels of text: the larger font must really show.
            if not showing or x < left or x + w > left + width or (font_dpi and h < 20):
                fail(f"menu entry {item.name!r} is not showing whole: {(x - left, y - top, w, h)} in a window {width} wide")
        elif showing:
            fail(f"the menu bar shows a {item.getRoleName()} {item.name!r}: entries hide behind it")
    len(entries) == 4 and "Nuovo gioco" in entries and "Help" in entries or fail(f"menu entries {entries}")

    press(main, "Exit")
    farewell = until("no farewell box", lambda: window("alert", "Ciao a presto!"))
    placed(farewell, "the farewell box", centre)
    press(farewell, "OK")
    game.wait(30) == 0 or fail(f"exit status {game.returncode}")
    if platform == "wayland" and version >= 48:
        # A Wayland client can't place a window; Qt 6.8 marks a modal box a
        # dialog (xdg-dialog), which mutter 48 centres over its parent. Qt 6.4
        # can't tell mutter 43 so, and mutter places those boxes as it likes.
        seen = centred_by_mutter()
        expect = ["on monitor 0"] * 3 + ["over transient parent"]
        seen == expect or fail(f"mutter placed the prompt, greeting, window and farewell: {seen}, not {expect}")
    return platform == "xcb" or version >= 48


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("platform", choices=["wayland", "xcb"])
    ap.add_argument("binary")
    ap.add_argument("--font-dpi", type=int)
    args = ap.parse_args()
    for tool in ("mutter", "Xwayland", "dbus-daemon", "dbus-send", "xdotool", "xwininfo", "xprop"):
        shutil.which(tool) or fail(f"{tool} is missing (scripts/setup.sh installs it)")
    own_x11_folder()
    tmp = tempfile.mkdtemp(prefix="e2e_mutter.")
    log, procs, ok = open(f"{tmp}/session.log", "w"), [], False
    try:
        env, procs = start_session(tmp, log)
        os.environ.update(env)  # where pyatspi finds the session bus
        placed = play(args.platform, args.binary, env, args.font_dpi, log, procs)
        ok = True
        print(f"e2e_mutter {args.platform}: titled, the whole menu bar showing, status 0"
              + (", prompt, greeting and window centred, farewell over the window" if placed else ""))
    finally:
        for p in procs:
            try:
                os.killpg(p.pid, signal.SIGTERM) if os.getpgid(p.pid) == p.pid else p.terminate()
            except ProcessLookupError:
                pass
            p.wait(10)
        log.close()
        if not ok:
            sys.stderr.write(open(f"{tmp}/session.log", errors="replace").read()[-6000:])
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
