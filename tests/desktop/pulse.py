"""A private PulseAudio server for tests, a recorder of what it plays, and
the analysis of such recordings (standard library only).

    with PulseServer() as server:
        with server.record() as rec:
            subprocess.run([beep, "4000", "50"], env=server.client_env())
            rec.wait_for_sound()
        tones = loud_segments(rec.samples, rec.rate)
        dominant_frequency(rec.samples[tones[0][0]:tones[0][1]], rec.rate)

The server has one null sink, "test", whose monitor is recorded. Nothing is
shared with another server on the machine: its runtime, home and config
folders are private temporary ones, and clients reach it through
PULSE_SERVER.
"""

import array
import math
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave

SINK = "test"
RATE = 48000  # the rate recordings are made at


def pulseaudio_missing():
    """Names the first tool these helpers need that is not installed, or None."""
    for tool in ("pulseaudio", "pactl", "parec"):
        if shutil.which(tool) is None:
            return tool
    return None


def _wait_until(predicate, timeout, what, interval=0.02):
    """Polls predicate until it holds; raises TimeoutError naming what was awaited."""
    deadline = time.monotonic() + timeout
    while True:
        if predicate():
            return
        if time.monotonic() > deadline:
            raise TimeoutError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)
        interval = min(interval * 1.5, 0.25)


class PulseServer:
    """A pulseaudio process of our own with a null sink as its default sink."""

    def __init__(self, timeout=60):
        self.timeout = timeout
        self.dir = None
        self.process = None
        self.log_path = None

    # --- life cycle -------------------------------------------------------

    def start(self):
        missing = pulseaudio_missing()
        if missing:
            raise FileNotFoundError("%s is not installed" % missing)
        if self.dir is None:
            self.dir = tempfile.mkdtemp(prefix="kelvo-pulse.")
            for sub in ("run", "home", "config"):
                os.makedirs(os.path.join(self.dir, sub), mode=0o700)
        self.log_path = os.path.join(self.dir, "pulseaudio.log")
        log = open(self.log_path, "ab")
        try:
            # Running as root draws warnings only; -n skips the system's
            # default.pa so the null sink is the only sink there is. Without
            # rewinds, a stream that starts while the sink runs is recorded
            # from its first sample (a rewind cuts the monitor's copy short).
            self.process = subprocess.Popen(
                ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                 "--use-pid-file=false", "--log-target=stderr",
                 "--load=module-native-protocol-unix",
                 "--load=module-null-sink sink_name=%s norewinds=1" % SINK],
                env=self._server_env(), stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True)
        finally:
            log.close()
        try:
            _wait_until(self._answers, self.timeout, "pulseaudio to answer on " + self.socket)
            self.pactl("set-default-sink", SINK)
        except BaseException:
            self.stop()
            raise
        return self

    def restart(self):
        """Starts the server again on the same socket (after a kill, say)."""
        self._end_process()
        return self.start()

    def stop(self):
        """Stops the server (also a stopped or hung one) and removes its folders."""
        self._end_process()
        if self.dir is not None:
            shutil.rmtree(self.dir, ignore_errors=True)
            self.dir = None

    def _end_process(self):
        if self.process is not None:
            if self.process.poll() is None:
                try:
                    os.kill(self.process.pid, signal.SIGCONT)
                    self.process.terminate()
                    self.process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
                except ProcessLookupError:
                    pass
            self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False

    def signal(self, signum):
        """Sends signum to the server (SIGKILL to lose it, SIGSTOP to hang it)."""
        os.kill(self.process.pid, signum)
        if signum == signal.SIGKILL:
            self.process.wait(timeout=self.timeout)

    def log(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    # --- clients ------------------------------------------------------------

    @property
    def socket(self):
        return os.path.join(self.dir, "run", "pulse", "native")

    def _server_env(self):
        env = dict(os.environ)
        for name in ("PULSE_SERVER", "PULSE_SINK", "PULSE_SOURCE", "DISPLAY"):
            # Without DISPLAY the server cannot autolaunch a stray D-Bus daemon.
            env.pop(name, None)
        env["XDG_RUNTIME_DIR"] = os.path.join(self.dir, "run")
        env["HOME"] = os.path.join(self.dir, "home")
        env["XDG_CONFIG_HOME"] = os.path.join(self.dir, "config")
        return env

    def client_env(self, base=None):
        """base (default: this process's environment) made to play to and
        record from this server and nothing else."""
        env = dict(os.environ if base is None else base)
        env.pop("PULSE_SINK", None)
        env.pop("PULSE_SOURCE", None)
        env["PULSE_SERVER"] = "unix:" + self.socket
        return env

    def pactl(self, *args):
        """Runs pactl against this server; returns its output, raises on failure."""
        done = subprocess.run(["pactl", *args], env=self.client_env(), capture_output=True,
                              text=True, timeout=self.timeout)
        if done.returncode != 0:
            raise RuntimeError("pactl %s failed: %s" % (" ".join(args), done.stderr.strip()))
        return done.stdout

    def _answers(self):
        if self.process.poll() is not None:
            raise RuntimeError("pulseaudio exited with status %s:\n%s"
                               % (self.process.returncode, self.log()))
        if not os.path.exists(self.socket):
            return False
        done = subprocess.run(["pactl", "info"], env=self.client_env(), capture_output=True,
                              timeout=self.timeout)
        return done.returncode == 0

    def record(self, path=None):
        """A Recording of the null sink's monitor, to a WAV file at path."""
        if path is None:
            path = os.path.join(self.dir, "recording-%d.wav" % time.monotonic_ns())
        return Recording(self, path)


class Recording:
    """parec on the sink's monitor, as mono 16-bit samples at RATE.

    While it runs the raw samples grow on disk; stop() turns them into a WAV
    file and loads them into `samples` (floats in -1..1)."""

    def __init__(self, server, path):
        self.server = server
        self.path = path
        self.raw_path = path + ".raw"
        self.rate = RATE
        self.samples = None
        self.process = None

    def start(self):
        raw = open(self.raw_path, "wb")
        try:
            # A small fragment size keeps what was played close to the file.
            self.process = subprocess.Popen(
                ["parec", "-d", SINK + ".monitor", "--raw", "--format=s16le",
                 "--rate=%d" % RATE, "--channels=1", "--latency-msec=10"],
                env=self.server.client_env(), stdin=subprocess.DEVNULL, stdout=raw,
                stderr=subprocess.PIPE)
        finally:
            raw.close()
        # The monitor of an idle null sink still delivers silence: recording
        # has begun once the file grows.
        _wait_until(lambda: self._alive() and self.frames() >= RATE // 100,
                    self.server.timeout, "parec to start recording")
        return self

    def _alive(self):
        if self.process.poll() is not None:
            raise RuntimeError("parec exited with status %s: %s"
                               % (self.process.returncode, self.process.stderr.read().decode()))
        return True

    def frames(self):
        """How many frames have been recorded so far."""
        try:
            return os.path.getsize(self.raw_path) // 2
        except OSError:
            return 0

    def wait_for_more(self, seconds):
        """Waits until another `seconds` of audio has been recorded, so that
        whatever was played before the call has reached the file."""
        target = self.frames() + int(seconds * RATE)
        _wait_until(lambda: self._alive() and self.frames() >= target,
                    self.server.timeout + seconds, "%.2f s more of recording" % seconds)

    def wait_for_sound(self, threshold=0.02, timeout=None):
        """Waits until the recording holds a window louder than threshold."""
        def loud():
            self._alive()
            samples = read_raw(self.raw_path)
            return any(r > threshold for r in rms_envelope(samples, RATE, 5))
        _wait_until(loud, timeout or self.server.timeout, "sound in the recording", 0.05)

    def stop(self):
        if self.process is not None:
            if self.process.poll() is None:
                self.process.terminate()
                try:
                    self.process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
            self.process.stderr.close()
            self.process = None
        self.samples = read_raw(self.raw_path)
        write_wav(self.path, self.samples, RATE)
        return self.samples

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False


# --- analysis -----------------------------------------------------------------

def read_raw(path):
    """Mono s16le samples from a file, as floats in -1..1."""
    data = array.array("h")
    with open(path, "rb") as f:
        raw = f.read()
    data.frombytes(raw[: len(raw) // 2 * 2])
    if sys.byteorder != "little":
        data.byteswap()
    return [s / 32768.0 for s in data]


def write_wav(path, samples, rate):
    data = array.array("h", (max(-32768, min(32767, round(s * 32768))) for s in samples))
    if sys.byteorder != "little":
        data.byteswap()
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(data.tobytes())


def read_wav(path):
    """(samples as floats in -1..1 mixed down to mono, rate) of a 16-bit PCM WAV file."""
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise ValueError("%s: only 16-bit samples are read" % path)
        channels, rate = w.getnchannels(), w.getframerate()
        data = array.array("h")
        data.frombytes(w.readframes(w.getnframes()))
    if sys.byteorder != "little":
        data.byteswap()
    if channels == 1:
        return [s / 32768.0 for s in data], rate
    return [sum(data[i:i + channels]) / (32768.0 * channels)
            for i in range(0, len(data), channels)], rate


def rms_envelope(samples, rate, window_ms=1.0):
    """RMS of each consecutive window of window_ms (the last, partial one dropped)."""
    n = max(1, int(rate * window_ms / 1000))
    return [math.sqrt(sum(x * x for x in samples[i:i + n]) / n)
            for i in range(0, len(samples) - n + 1, n)]


def loud_segments(samples, rate, threshold=0.02, window_ms=1.0, max_gap_ms=0.0):
    """(start, end) sample ranges whose RMS exceeds threshold, in order.
    Loud windows separated by at most max_gap_ms of quiet are one segment."""
    n = max(1, int(rate * window_ms / 1000))
    gap = int(round(max_gap_ms / window_ms))
    segments = []
    for i, level in enumerate(rms_envelope(samples, rate, window_ms)):
        if level <= threshold:
            continue
        if segments and i - segments[-1][1] <= gap:
            segments[-1][1] = i + 1
        else:
            segments.append([i, i + 1])
    return [(a * n, b * n) for a, b in segments]


def peak(samples):
    return max((abs(s) for s in samples), default=0.0)


def goertzel_power(samples, rate, frequency):
    """Power of samples at frequency (need not be a DFT bin)."""
    coeff = 2.0 * math.cos(2.0 * math.pi * frequency / rate)
    s1 = s2 = 0.0
    for x in samples:
        s1, s2 = x + coeff * s1 - s2, s1
    return s1 * s1 + s2 * s2 - coeff * s1 * s2


def dominant_frequency(samples, rate, low=50.0, high=None, max_samples=2048):
    """The frequency (Hz) with the most power in samples, searched bin by bin
    over low..high (default: up to just below Nyquist) and then refined
    around the best bin. A Hann window keeps the edges of a short tone from
    smearing it; only the middle max_samples are looked at, which keeps pure
    Python quick and still resolves a few per cent at a few kHz."""
    if len(samples) > max_samples:
        start = (len(samples) - max_samples) // 2
        samples = samples[start:start + max_samples]
    count = len(samples)
    if count < 16:
        raise ValueError("too few samples (%d) to find a frequency" % count)
    high = high or rate / 2 * 0.98
    windowed = [x * (0.5 - 0.5 * math.cos(2 * math.pi * i / (count - 1)))
                for i, x in enumerate(samples)]
    step = rate / count  # one DFT bin

    def best(frequencies):
        return max(frequencies, key=lambda f: goertzel_power(windowed, rate, f))

    coarse = best([low + k * step for k in range(int((high - low) / step) + 1)])
    fine = step / 40
    return best([coarse - step + k * fine for k in range(81)])
