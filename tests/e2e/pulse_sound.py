"""A private PulseAudio server for the tests that capture sound under wine.

The server runs in the foreground of its own process, as root, without D-Bus,
with a runtime folder and socket of its own, and holds two null sinks, each
with a steady sine tone played into it:

    speakers  "Speakers"    the far end of a call  (SPEAKERS_HZ)
    mic       "Microphone"  the local microphone   (MIC_HZ)

The default sink is `speakers`; the default source is `mic.monitor`, so a
program that records "the microphone" hears the microphone's tone. Wine shows
each sink's monitor as a capture device named "Monitor of <description>".

    with PulseSound() as pulse:
        pulse.use_in_wine_prefix(env)     # the prefix's audio driver: pulse
        subprocess.run([...], env=dict(env, **pulse.env()))

Wine enumerates the devices when a process starts: start the server first.
"""

import os
import shutil
import signal
import subprocess
import tempfile
import time

SPEAKERS_HZ = 1000
MIC_HZ = 660


class PulseSoundError(RuntimeError):
    pass


class PulseSound:
    def __init__(self, speakers_hz=SPEAKERS_HZ, mic_hz=MIC_HZ, start_timeout=30):
        for tool in ("pulseaudio", "pactl"):
            if shutil.which(tool) is None:
                raise PulseSoundError("%s is missing: scripts/install-deps.sh installs pulseaudio and "
                                      "pulseaudio-utils" % tool)
        self.speakers_hz = speakers_hz
        self.mic_hz = mic_hz
        self.start_timeout = start_timeout
        self.root = None
        self.process = None
        self.log_path = None

    # The server's address, as PulseAudio's clients (wine among them) take it.
    @property
    def socket(self):
        return os.path.join(self.root, "native")

    def env(self):
        """The environment that points a client at this server."""
        return {
            "PULSE_SERVER": "unix:" + self.socket,
            "PULSE_RUNTIME_PATH": os.path.join(self.root, "runtime"),
        }

    def _config(self):
        return "\n".join([
            "load-module module-native-protocol-unix socket=%s auth-anonymous=1" % self.socket,
            "load-module module-null-sink sink_name=speakers sink_properties=device.description=Speakers",
            "load-module module-null-sink sink_name=mic sink_properties=device.description=Microphone",
            "load-module module-sine sink=speakers frequency=%d" % self.speakers_hz,
            "load-module module-sine sink=mic frequency=%d" % self.mic_hz,
            "set-default-sink speakers",
            "set-default-source mic.monitor",
            "",
        ])

    def _server_env(self):
        env = dict(os.environ)
        runtime = os.path.join(self.root, "runtime")
        # Everything the server keeps (runtime files, its state, the cookie)
        # stays in the private folder.
        env.update({
            "PULSE_RUNTIME_PATH": runtime,
            "PULSE_STATE_PATH": os.path.join(self.root, "state"),
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.root, "config"),
            "HOME": self.root,
        })
        env.pop("PULSE_SERVER", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        return env

    def pactl(self, *args, timeout=10):
        env = dict(os.environ, **self.env())
        return subprocess.run(["pactl"] + list(args), env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)

    def start(self):
        self.root = tempfile.mkdtemp(prefix="calvoro-pulse-")
        for d in ("runtime", "state", "config"):
            os.makedirs(os.path.join(self.root, d), mode=0o700)
        conf = os.path.join(self.root, "server.pa")
        with open(conf, "w") as f:
            f.write(self._config())
        self.log_path = os.path.join(self.root, "server.log")
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                ["pulseaudio", "-n", "-F", conf, "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                 "--system=no", "--disallow-exit", "--log-target=stderr"],
                env=self._server_env(), stdout=log, stderr=log)
        deadline = time.monotonic() + self.start_timeout
        while True:
            if self.process.poll() is not None:
                raise PulseSoundError("pulseaudio ended with %d: %s" % (self.process.returncode, self.log()))
            if os.path.exists(self.socket):
                try:
                    if self._ready():
                        return self
                except subprocess.TimeoutExpired:
                    pass
            if time.monotonic() > deadline:
                self.stop()
                raise PulseSoundError("pulseaudio did not answer within %d s: %s" % (self.start_timeout, self.log()))
            time.sleep(0.1)

    def _ready(self):
        """The server answers and has both sinks and the default source."""
        info = self.pactl("info")
        if info.returncode != 0:
            return False
        sinks = self.pactl("list", "short", "sinks")
        names = {line.split("\t")[1] for line in sinks.stdout.decode(errors="replace").splitlines()
                 if "\t" in line}
        return {"speakers", "mic"} <= names and b"Default Source: mic.monitor" in info.stdout

    def log(self):
        try:
            with open(self.log_path, "rb") as f:
                return f.read().decode(errors="replace")[-4000:]
        except OSError:
            return ""

    def use_in_wine_prefix(self, wine_env, timeout=120):
        """Makes the prefix of `wine_env` (WINEPREFIX, ...) play and record through PulseAudio."""
        result = subprocess.run(["wine", "reg", "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Audio", "/d", "pulse",
                                 "/f"], env=dict(wine_env, **self.env()), stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=timeout)
        if result.returncode != 0:
            raise PulseSoundError("wine reg add of the audio driver failed: " +
                                  result.stdout.decode(errors="replace")[-2000:])

    def stop(self):
        if self.process is not None:
            if self.process.poll() is None:
                self.process.send_signal(signal.SIGTERM)
                try:
                    self.process.wait(timeout=15)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait(timeout=15)
            self.process = None
        if self.root:
            shutil.rmtree(self.root, ignore_errors=True)
            self.root = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
