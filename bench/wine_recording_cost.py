"""What a running recording costs the real CalvoroRecord.exe under wine.

The simulated client attaches, stays idle for a while, then places one call
whose two directions stream in real time (20 ms chunks each). The processor
time and the context switches of the recorder's process are read from /proc
twice, WINDOW seconds apart: once while it is attached and idle, once in the
middle of the call. The same is shown for the wineserver, which serves the
recorder's (and the simulated client's) calls into the Windows kernel.

    xvfb-run -a python3 bench/wine_recording_cost.py build/windows/bin [seconds] [--sound]

Run it in a network namespace of its own (unshare -n, loopback up): the
recorder listens on the fixed audio ports.

With --sound the recorder takes the computer's own sound instead, from a
private PulseAudio server (tests/e2e/pulse_sound.py) that plays a tone into
the speakers and another into the microphone: the idle window is measured with
the sound source chosen and no recording, the second window while a recording
started by the Record button runs.
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tools", "driver"))
import recorder_driver as rd  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))

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
    """(processor seconds, {thread: (voluntary, involuntary) context switches})
    of a whole process: a thread's own counts are in its task's status; the
    process's status holds only the main thread's."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    cpu = (int(fields[11]) + int(fields[12])) / TICKS  # utime, stime
    threads = {}
    for task in os.listdir("/proc/%d/task" % pid):
        counts = [0, 0, 0.0]
        try:
            with open("/proc/%d/task/%s/stat" % (pid, task)) as f:
                tf = f.read().rsplit(")", 1)[1].split()
            counts[2] = (int(tf[11]) + int(tf[12])) / TICKS
        except OSError:
            continue
        try:
            with open("/proc/%d/task/%s/status" % (pid, task)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        counts[0] = int(line.split()[1])
                    elif line.startswith("nonvoluntary_ctxt_switches"):
                        counts[1] = int(line.split()[1])
        except OSError:
            continue  # a thread that ended meanwhile
        threads[task] = tuple(counts)
    return cpu, threads


def switches(threads):
    return sum(v + i for v, i, _ in threads.values())


def measure(pid, seconds):
    """The processor share, the context switches a second, and per thread the
    voluntary ones (its own wake-ups) and the involuntary ones a second."""
    cpu0, t0 = usage(pid)
    start = time.monotonic()
    time.sleep(seconds)
    cpu1, t1 = usage(pid)
    elapsed = time.monotonic() - start
    per_thread = {}
    for task, (v, i, c) in t1.items():
        v0, i0, c0 = t0.get(task, (0, 0, 0.0))
        if v - v0 or i - i0:
            per_thread[task] = ((v - v0) / elapsed, (i - i0) / elapsed, (c - c0) / elapsed)
    voluntary = sum(v for v, _, _ in per_thread.values())
    return (cpu1 - cpu0) / elapsed, (switches(t1) - switches(t0)) / elapsed, voluntary, per_thread


def server_rate(before, after, seconds):
    """The wineserver's processor share and context switches a second."""
    return ((after[0] - before[0]) / seconds, (switches(after[1]) - switches(before[1])) / seconds)


def wait_event(folder, prefix, timeout, holding=""):
    path = os.path.join(folder.sim, "events.log")

    def seen():
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                return any(line.startswith(prefix) and holding in line for line in f)
        except OSError:
            return False
    rd.wait_until(seen, timeout, "the simulated client's event " + prefix + holding)


def recorder_pid(folder):
    recorders = own_processes("CalvoroRecord", folder.root)
    # The recorder runs in one Unix process; wine's loader may leave a
    # second one of the same name behind that only waits for it.
    if not recorders:
        raise SystemExit("no CalvoroRecord process")
    return max(recorders, key=lambda p: len(os.listdir("/proc/%d/task" % p)))


def measure_both(pid, server, window):
    """The recorder's window and, when there is one, the wineserver's over it."""
    before = usage(server) if server else None
    recorder = measure(pid, window)
    return recorder, server_rate(before, usage(server), window) if server else None


def wineserver_of(wine):
    servers = own_processes("wineserver", "WINEPREFIX=" + wine.env["WINEPREFIX"], "environ")
    return servers[0] if servers else None


def report(title, window, idle, busy, server_windows):
    print("%s, %d s windows (processor share of one core, context switches a second)" % (title, window))
    print("  idle:              %5.2f %%  %7.1f /s  (wake-ups, voluntary: %.1f /s)" % (100 * idle[0], idle[1], idle[2]))
    for task, (v, i, c) in sorted(idle[3].items(), key=lambda item: -item[1][0]):
        print("      thread %-8s %5.1f voluntary, %5.1f involuntary /s, %5.2f %%" % (task, v, i, 100 * c))
    print("  recording:         %5.2f %%  %7.1f /s  (wake-ups, voluntary: %.1f /s)" % (100 * busy[0], busy[1], busy[2]))
    for task, (v, i, c) in sorted(busy[3].items(), key=lambda item: -item[1][0]):
        print("      thread %-8s %5.1f voluntary, %5.1f involuntary /s, %5.2f %%" % (task, v, i, 100 * c))
    if server_windows:
        print("wineserver over the same windows")
        print("  idle:              %5.2f %%  %7.1f /s" % (100 * server_windows[0][0], server_windows[0][1]))
        print("  recording:         %5.2f %%  %7.1f /s" % (100 * server_windows[1][0], server_windows[1][1]))


def sound_main(bin_dir, window):
    from pulse_sound import PulseSound
    pulse = PulseSound().start()
    try:
        wine = rd.Wine(bin_dir)
        wine.env.update(pulse.env())
        pulse.use_in_wine_prefix(wine.env)
        folder = rd.ProgramFolder(wine, {"CaptureSource": 1, "FarEndDevice": "Monitor of Speakers",
                                         "RecordFormat": 16, "SaveLF": 1})
        folder.start_recorder()
        try:
            folder.wait_recorder_window()
            time.sleep(3)
            pid = recorder_pid(folder)
            server = wineserver_of(wine)
            idle, s_idle = measure_both(pid, server, window)
            assert folder.run_scenario("attach none\npress %d\n" % rd.IDC_RECORD, name="record") == 0
            rd.wait_until(lambda: any(n.endswith(".sky") for n in folder.record_files()), 60, "the recording")
            time.sleep(3)
            busy, s_busy = measure_both(pid, server, window)
            assert folder.run_scenario("attach none\npress %d\n" % rd.IDC_STOP, name="stop") == 0
            folder.wait_records([".wav"])
            report("CalvoroRecord.exe under wine, the computer's sound", window, idle, busy,
                   (s_idle, s_busy) if server else None)
        finally:
            try:
                folder.exit_recorder()
            finally:
                folder.kill()
                shutil.rmtree(folder.root, ignore_errors=True)
    finally:
        pulse.stop()


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    bin_dir = args[0]
    window = float(args[1]) if len(args) > 1 else WINDOW
    if "--sound" in sys.argv:
        return sound_main(bin_dir, window)
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
        pid = recorder_pid(folder)
        server = wineserver_of(wine)
        idle, s_idle = measure_both(pid, server, window)
        wait_event(folder, "connect ", idle_ms / 1000 + 60, holding="7285")
        time.sleep(3)
        call, s_call = measure_both(pid, server, window)
        client.wait(timeout=call_ms / 1000 + 120)
        folder.wait_records([".wav"])
        report("CalvoroRecord.exe under wine, the client's call", window, idle, call,
               (s_idle, s_call) if server else None)
    finally:
        try:
            folder.exit_recorder()
        finally:
            folder.kill()
            shutil.rmtree(folder.root, ignore_errors=True)


if __name__ == "__main__":
    main()
