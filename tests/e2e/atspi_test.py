#!/usr/bin/env python3
# The real panel read as a screen reader reads it: over the accessibility bus of a private D-Bus
# session, under Xvfb with openbox, against the simulator. Names, states and values must match
# what the simulator sends; a key pressed through its accessible action must reach the line;
# a state change, an alarm and a lost line must each be announced once.
# Usage: atspi_test.py PANEL SIMULATOR   (exit 77: skipped, with the reason printed)
import os, shutil, subprocess, sys, tempfile, time

def skip(why):
    print("SKIP: " + why), sys.exit(77)

try:
    import pyatspi
    from gi.repository import GLib
except ImportError:
    skip("needs python3-pyatspi (scripts/install-deps.sh)")
for tool in ("dbus-run-session", "Xvfb", "openbox"):
    if not shutil.which(tool):
        skip("needs " + tool + " (scripts/install-deps.sh)")
if "TARN_PRIVATE_BUS" not in os.environ:
    os.environ["TARN_PRIVATE_BUS"] = "1"
    os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)

panel, simulator = sys.argv[1:3]
work = tempfile.mkdtemp()
procs = []
def start(args, **kw):
    procs.append(subprocess.Popen(args, **kw))
    return procs[-1]
def wait(done, seconds=20):
    end = time.time() + seconds
    while not done() and time.time() < end:
        # A call on the bus also hands over the events queued behind it.
        pyatspi.Registry.getDesktop(0).childCount
        GLib.MainContext.default().iteration(False) or time.sleep(0.1)
    return done()

said = []  # every announcement: the alert's name when it appears
def heard(e):
    if e.source.getRole() == pyatspi.ROLE_ALERT and e.detail1:
        said.append(e.source.name)
pyatspi.Registry.registerEventListener(heard, "object:state-changed:showing")

try:
    xvfb = start(["Xvfb", "-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                 stdout=subprocess.PIPE)
    os.environ.update(DISPLAY=":" + xvfb.stdout.readline().decode().strip(),
                      QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
                      XDG_CONFIG_HOME=work + "/config")
    start(["openbox", "--sm-disable"], stderr=subprocess.DEVNULL)
    log = open(work + "/sim.log", "w+")
    sim = start([simulator, "--log", "--link", work + "/amp"], stdin=subprocess.PIPE,
                stdout=subprocess.PIPE, stderr=log, text=True)
    sim.stdout.readline()
    def ask(line):
        sim.stdin.write(line + "\n"), sim.stdin.flush()
        return dict(kv.split("=") for kv in sim.stdout.readline().split()[1:] if "=" in kv)
    shutil.copy(panel, work + "/tarn-vq4400")
    with open(work + "/tarn-vq4400.ini", "w") as ini:
        ini.write("[COM]\nPortNumber= 1\n[Ports]\nCOM1=%s/amp\n" % work)
    start([work + "/tarn-vq4400"])

    nodes, keys = {}, {}  # by name (a lamp's or bar's without its state or value)
    def tree():
        apps = [a for a in pyatspi.Registry.getDesktop(0) if a and a.name == "tarn-vq4400"]
        nodes.clear(), keys.clear()
        for n in pyatspi.findAllDescendants(apps[0], lambda n: n.name) if apps else []:
            (keys if n.getRole() == pyatspi.ROLE_PUSH_BUTTON else nodes)[n.name.split(":")[0]] = n
        return nodes
    assert wait(lambda: "Operate" in tree() and ask("status")["band-mhz"] + " MHz" in nodes)
    state = ask("status")
    lamps = {"Operate": "operate", "Transmit": "transmitting", "Protection": "protection",
             "Automatic band": "auto-band"}
    for name, key in lamps.items():
        n = nodes[name]
        print("%-8s %-22s %s" % (n.getRoleName(), n.name, "checked" * (state[key] == "1")))
        assert n.name == name + (": on" if state[key] == "1" else ": off"), n.name
        assert n.getState().contains(pyatspi.STATE_CHECKED) == (state[key] == "1"), name
    assert nodes["Forward power"].queryValue().maximumValue == 14
    assert "G" + state["gain"] in nodes and state["voltage"] + "V" in nodes
    assert list(keys) == ["Gain down", "Gain up", "Operate/Standby", "Band down",
                          "Automatic band", "Band up"], list(keys)
    for n in [nodes["Forward power"], nodes["Reflected power"]] + list(keys.values()):
        print("%-12s %s" % (n.getRoleName(), n.name))

    keys["Operate/Standby"].queryAction().doAction(0)
    assert wait(lambda: "RX FB 01 01 FE" in open(log.name).read()), "key frame not on the line"
    assert wait(lambda: "Operate: on" in " ".join(said)), said
    ask("trip")
    assert wait(lambda: "Alarm: PROTECTION" in " ".join(said)), said
    ask("silence on")
    assert wait(lambda: "No Communication" in said), said
    wait(lambda: False, 3)
    assert said.count("No Communication") == 1, said
    ask("silence off"), ask("reset")
    assert wait(lambda: "Communication restored" in " ".join(said)), said
    keys["Operate/Standby"].queryAction().doAction(0)
    assert wait(lambda: ask("status")["operate"] == "1")
    ask("tx cycle 100")  # Morse-like keying: the transmit lamp changes every 100 ms
    begin, count = time.time(), len(said)
    wait(lambda: False, 20)
    keyed = [s for s in said[count:] if "Transmit" in s]
    print("while keying: %.0f announcements per minute, %d of %d on transmit" % (
        (len(said) - count) * 60 / (time.time() - begin), len(keyed), len(said) - count))
    assert 5 <= len(keyed) <= 11, keyed  # at most one per 2 s
finally:
    for p in reversed(procs):
        p.terminate()
        p.wait(10)
    shutil.rmtree(work, ignore_errors=True)
