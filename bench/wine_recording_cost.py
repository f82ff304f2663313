"""What a running recording costs the real CalvoroRecord.exe under wine.

The simulated client attaches, stays idle for a while, then places one call
whose two directions stream in real time (20 ms chunks each). The processor
time and the context switches of the recorder's process are read from /proc
twice, WINDOW seconds apart: once while it is attached and idle, once in the
middle of the call. The same is shown for the wineserver, which serves the
recorder's (and the simulated client's) calls into the Windows kernel.

    xvfb-run -a python3 bench/wine_recording_cost.py build/windows/bin [seconds]

Run it in a network namespace of its own (unshare -n, loopback up): the
recorder listens on the fixed audio ports.
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools", "driver"))
import recorder_driver as rd  # noqa: E402

WINDOW = 20.0
TICKS = os.sysconf("SC_CLK_TCK")


def own_processes(name, marker, where="cmdline"):
    """Processes called `name` whose command line (or environment) holds
    `marker`: other wine programs may run on the same machine."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/comm" % entry) as f:
                if not f.read().strip().startswith(name):
                    continue
            with open("/proc/%s/%s" % (entry, where), "rb") as f:
                if marker.encode() in f.read():
                    found.append(int(entry))
        except OSError:
            pass
    return found


def usage(pid):
    """(processor seconds, voluntary + involuntary context switches) of a whole
    process: every thread's switches are summed (a thread's own count is in
    its task's status; the process's status holds only the main thread's)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime
    switches = 0
    for task in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                        switches += int(line.split()[1])
        except OSError:
            pass  # a thread that ended meanwhile
    return cpu, switches


def measure(pid, seconds):
    cpu0, cs0 = usage(pid)
    start = time.monotonic()
    time.sleep(seconds)
    cpu1, cs1 = usage(pid)
    elapsed = time.monotonic() - start
    return (cpu1 - cpu0) / elapsed, (cs1 - cs0) / elapsed


def wait_event(folder, prefix, timeout, holding=""):
    path = os.path.join(folder.sim, "events.log")

    def seen():
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return any(line.startswith(prefix) and holding in line for line in f)
        except OSError:
            return False
    rd.wait_until(seen, timeout, "the simulated client's event " + prefix + holding)


def main():
    bin_dir = sys.argv[1]
    window = float(sys.argv[2]) if len(sys.argv) > 2 else WINDOW
    wine = rd.Wine(bin_dir)
    folder = rd.ProgramFolder(wine, {"AutoRecord": 1, "RecordFormat": 16})
    idle_ms = int((window + 8) * 1000)
    call_ms = int((window + 10) * 1000)
    scenario = "\n".join([
        "user alice", "attach 0", "timeout %d" % (idle_ms + call_ms + 60000), "hide-windows",
        "partner 5 bob", "audio 5 out sine 440 8000", "audio 5 in noise 3 6000",
        "wait attach", "sleep %d" % idle_ms,
        "call 5 INPROGRESS", "wait audio 5 out %d" % call_ms, "call 5 FINISHED", "sleep 1000", "exit"]) + "\n"
    folder.start_recorder()
    try:
        folder.wait_recorder_window()
        path = os.path.join(folder.sim, "cost.scenario")
        with open(path, "w") as f:
            f.write(scenario)
        client = wine.popen(wine.simskype(), ["--dir", rd.winpath(folder.sim), rd.winpath(path)], folder.log)
        wait_event(folder, "attach 0", 120)
        time.sleep(3)
        recorders = own_processes("CalvoroRecord", folder.root)
        servers = own_processes("wineserver", "WINEPREFIX=" + wine.env["WINEPREFIX"], "environ")
        # The recorder runs in one Unix process; wine's loader may leave a
        # second one of the same name behind that only waits for it.
        if not recorders:
            raise SystemExit("no CalvoroRecord process")
        pid = max(recorders, key=lambda p: len(os.listdir("/proc/%d/task" % p)))
        server = servers[0] if servers else None
        s_idle = usage(server) if server else None
        idle = measure(pid, window)
        s_idle = tuple((b - a) / window for a, b in zip(s_idle, usage(server))) if server else None
        wait_event(folder, "connect ", idle_ms / 1000 + 60, holding="7285")
        time.sleep(3)
        s_call = usage(server) if server else None
        call = measure(pid, window)
        s_call = tuple((b - a) / window for a, b in zip(s_call, usage(server))) if server else None
        client.wait(timeout=call_ms / 1000 + 120)
        folder.wait_records([".wav"])
        print("CalvoroRecord.exe under wine, %d s windows (processor share of one core, context switches a second)"
              % window)
        print("  attached, idle:    %5.2f %%  %7.1f /s" % (100 * idle[0], idle[1]))
        print("  recording a call:  %5.2f %%  %7.1f /s" % (100 * call[0], call[1]))
        if server:
            print("wineserver over the same windows")
            print("  attached, idle:    %5.2f %%  %7.1f /s" % (100 * s_idle[0], s_idle[1]))
            print("  recording a call:  %5.2f %%  %7.1f /s" % (100 * s_call[0], s_call[1]))
    finally:
        try:
            folder.exit_recorder()
        finally:
            folder.kill()
            shutil.rmtree(folder.root, ignore_errors=True)


if __name__ == "__main__":
    main()
