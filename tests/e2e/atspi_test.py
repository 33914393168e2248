#!/usr/bin/env python3
# The real panel read as a screen reader reads it: over the accessibility bus of a private D-Bus
# session, under Xvfb with openbox, against the simulator. Names, states and values must match
# what the simulator sends; a key pressed through its accessible action must reach the line;
# a state change, an alarm and a lost line (the device gone, then back) must each be announced
# once, keying at most every 2 s.
# Usage: atspi_test.py PANEL SIMULATOR   (exit 77: skipped, with the reason printed)
import os, shutil, subprocess as sp, sys, tempfile, time
try: import pyatspi; from gi.repository import GLib
except ImportError: print("SKIP: needs python3-pyatspi (scripts/install-deps.sh)"), sys.exit(77)
if not all(map(shutil.which, ("dbus-run-session", "Xvfb", "openbox"))):
    print("SKIP: needs dbus, xvfb and openbox (scripts/install-deps.sh)"), sys.exit(77)
if "TARN_PRIVATE_BUS" not in os.environ:  # again, in a D-Bus session of its own
    os.execvpe("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv, dict(os.environ, TARN_PRIVATE_BUS="1"))

work, procs, said, nodes, keys = tempfile.mkdtemp(), [], [], {}, {}
def wait(done, seconds=20):
    end = time.time() + seconds
    while not done() and time.time() < end:
        pyatspi.Registry.getDesktop(0).childCount  # a call hands over the events queued behind it
        GLib.MainContext.default().iteration(False) or time.sleep(0.1)
    return done()
def heard(e):  # an announcement: an alert appears with its text as its name
    said.extend([e.source.name] if e.source.getRole() == pyatspi.ROLE_ALERT and e.detail1 else [])
def ask(line):  # the simulator's answer, as a dict for "status"
    sim.stdin.write(line + "\n"), sim.stdin.flush()
    reply = next(l for l in iter(sim.stdout.readline, "") if not l.startswith("PTY "))  # not a new path
    return dict(kv.split("=") for kv in reply.split()[1:] if "=" in kv)
def tree():  # named objects by name, a lamp's or bar's without its state or value
    apps = [a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "tarn-vq4400"]
    nodes.clear(), keys.clear()
    for n in pyatspi.findAllDescendants(apps[0], lambda n: n.name) if apps else []:
        (keys if n.getRole() == pyatspi.ROLE_PUSH_BUTTON else nodes)[n.name.split(":")[0]] = n
    return nodes
pyatspi.Registry.registerEventListener(heard, "object:state-changed:showing")
try:
    procs.append(sp.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24"], stdout=sp.PIPE))
    os.environ.update(DISPLAY=":" + procs[0].stdout.readline().decode().strip(), QT_QPA_PLATFORM="xcb",
                      QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_CONFIG_HOME=work + "/config")
    procs.append(sp.Popen(["openbox", "--sm-disable"], stderr=sp.DEVNULL)); log = open(work + "/sim.log", "w+")
    sim = sp.Popen([sys.argv[2], "--log", "--link", work + "/amp"], stdin=sp.PIPE, stdout=sp.PIPE, stderr=log, text=True)
    procs.append(sim), sim.stdout.readline(), shutil.copy(sys.argv[1], work + "/tarn-vq4400")
    open(work + "/tarn-vq4400.ini", "w").write("[COM]\nPortNumber= 1\n[Ports]\nCOM1=%s/amp\n" % work)
    procs.append(sp.Popen([work + "/tarn-vq4400"]))

    assert wait(lambda: "Operate" in tree() and ask("status")["band-mhz"] + " MHz" in nodes); state = ask("status")
    for name, key in {"Operate": "operate", "Transmit": "transmitting", "Protection": "protection",
                      "Automatic band": "auto-band", "Forward power": "fwd", "Reflected power": "rev"}.items():
        n, on, text, checked = nodes[name], state[key] == "1", nodes[name].name, nodes[name].getState().contains(pyatspi.STATE_CHECKED)
        print("%-12s %-24s %s" % (n.getRoleName(), text, "checked" * checked))
        assert checked == on and (text == name + (": on" if on else ": off") or text.startswith("%s: %s of" % (name, state[key]))), text
    assert "G" + state["gain"] in nodes and state["voltage"] + "V" in nodes
    assert list(keys) == ["Gain down", "Gain up", "Operate/Standby", "Band down", "Automatic band", "Band up"], list(keys)

    keys["Operate/Standby"].queryAction().doAction(0)
    assert wait(lambda: "RX FB 01 01 FE" in open(log.name).read()), "key frame not on the line"
    assert wait(lambda: "Operate: on" in " ".join(said)), said
    ask("trip"); assert wait(lambda: "Alarm: PROTECTION at" in " ".join(said)), said
    ask("drop 4000"); assert not wait(lambda: said.count("No Communication") > 1, 5) and "No Communication" in said
    ask("reset"); assert wait(lambda: "Communication restored" in " ".join(said)), said
    keys["Operate/Standby"].queryAction().doAction(0); assert wait(lambda: ask("status")["operate"] == "1")
    ask("tx cycle 100")  # Morse-like keying: the transmit lamp changes every 100 ms
    begin, count = time.time(), len(said); wait(lambda: False, 20)
    keyed = [s for s in said[count:] if "Transmit" in s]
    print("while keying: %.0f announcements per minute, %d of %d on transmit" % (
        (len(said) - count) * 60 / (time.time() - begin), len(keyed), len(said) - count))
    assert 5 <= len(keyed) <= 11, keyed  # at most one per 2 s
finally:
    for p in reversed(procs): p.terminate(), p.wait(10)
    shutil.rmtree(work, ignore_errors=True)
