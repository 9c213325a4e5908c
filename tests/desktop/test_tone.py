"""The tone as a listener hears it: kelvo-beep plays to a private PulseAudio
server whose null sink is recorded, and the recording is measured. Also what
happens without a server, with a server that dies or hangs, and with bad
arguments."""

import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import kelvo_desktop as kd
import pulse

BUILD = os.environ.get("KELVO_BUILD", "")
BEEP = os.path.join(BUILD, "kelvo-beep")
HANG_GUARD = 90  # seconds; only ever reached if something hangs


def beep(server, *args, env=None):
    """Runs kelvo-beep to completion; returns (status, stderr lines, seconds)."""
    started = time.monotonic()
    done = subprocess.run([BEEP, *map(str, args)],
                          env=server.client_env() if server else env,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=HANG_GUARD)
    return done.returncode, done.stderr.splitlines(), time.monotonic() - started


def loud_run(samples, rate):
    """The loud samples of a recording, silences between them left out."""
    out = []
    for a, b in pulse.loud_segments(samples, rate):
        out.extend(samples[a:b])
    return out


def onset_and_end(samples, level=0.001):
    first = next(i for i, s in enumerate(samples) if abs(s) > level)
    last = len(samples) - next(i for i, s in enumerate(reversed(samples)) if abs(s) > level)
    return first, last


class TonesOnASoundServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = pulse.PulseServer().start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def assertPitch(self, samples, rate, hz, what):
        found = pulse.dominant_frequency(samples, rate)
        self.assertAlmostEqual(found, hz, delta=hz * 0.03,
                               msg="%s: dominant frequency %.0f Hz, wanted %d Hz" % (what, found, hz))

    def test_each_beep_sounds_once_at_its_pitch_and_length_without_clicks(self):
        # One recording per call: the server may lay the tones of separate
        # calls close together, which would make their borders a guess.
        for hz, ms in [(4000, 5), (3250, 5), (4000, 50), (3250, 50)]:
            what = "kelvo-beep %d %d" % (hz, ms)
            with self.server.record() as rec:
                status, err, _ = beep(self.server, hz, ms)
                self.assertEqual((status, err), (0, []), what)
                rec.wait_for_more(0.2)
            samples, rate = rec.samples, rec.rate
            segments = pulse.loud_segments(samples, rate)
            self.assertEqual(len(segments), 1, "%s: loud stretches (start s, length s) %s"
                             % (what, [(a / rate, (b - a) / rate) for a, b in segments]))
            a, b = segments[0]
            # Loudness is measured in 1 ms windows, and the fades fall below
            # the threshold: a tone shows as a little shorter or longer.
            self.assertAlmostEqual((b - a) / rate * 1000, ms, delta=3, msg=what)
            self.assertPitch(samples[a:b], rate, hz, what)
            tone = samples[max(0, a - rate // 100):b + rate // 100]
            top = pulse.peak(tone)
            self.assertTrue(0.1 < top < 0.95, "%s: peak %.2f of full scale" % (what, top))
            # Faded in and out: the first and last 0.2 ms of sound stay far
            # below the peak (a bare sine reaches it within a quarter period).
            first, last = onset_and_end(tone)
            edge = rate // 5000
            self.assertLess(pulse.peak(tone[first:first + edge]), top * 0.25, what + ": click at the start")
            self.assertLess(pulse.peak(tone[last - edge:last]), top * 0.25, what + ": click at the end")

    def test_tones_of_one_call_play_in_order_before_it_returns(self):
        with self.server.record() as rec:
            status, err, seconds = beep(self.server, 4000, 50, 3250, 50, 2000, 300)
            self.assertEqual((status, err), (0, []))
            # It waits until played: it cannot be done before the tones are.
            self.assertGreaterEqual(seconds, 0.4)
            rec.wait_for_more(0.3)
        rate = rec.rate
        sound = loud_run(rec.samples, rate)
        self.assertAlmostEqual(len(sound) / rate * 1000, 400, delta=8,
                               msg="loud time of 50 + 50 + 300 ms of tones")
        ms = rate // 1000
        self.assertPitch(sound[5 * ms:45 * ms], rate, 4000, "first tone")
        self.assertPitch(sound[55 * ms:95 * ms], rate, 3250, "second tone")
        self.assertPitch(sound[150 * ms:350 * ms], rate, 2000, "third tone")

    def test_beeps_asked_for_one_at_a_time_each_sound(self):
        # Between keystrokes the stream idles (corked); each beep must wake it.
        wanted = [4000, 3250, 2000]
        with self.server.record() as rec:
            status, err, _ = beep(self.server, "--gap", 150, *sum(([hz, 20] for hz in wanted), []))
            self.assertEqual((status, err), (0, []))
            rec.wait_for_more(0.2)
        samples, rate = rec.samples, rec.rate
        segments = pulse.loud_segments(samples, rate)
        self.assertEqual(len(segments), len(wanted),
                         [(a / rate, (b - a) / rate) for a, b in segments])
        for (a, b), hz in zip(segments, wanted):
            self.assertAlmostEqual((b - a) / rate * 1000, 20, delta=3)
            self.assertPitch(samples[a:b], rate, hz, "tone at %.3f s" % (a / rate))


class SoundServerTrouble(unittest.TestCase):
    @staticmethod
    def stop(player):
        if player.poll() is None:
            player.kill()
            player.wait()

    def assertLostOnce(self, player, err):
        """The player ended well, having said once that the sound went."""
        self.assertEqual(player.returncode, 0)
        self.assertEqual(len(err), 1, err)
        self.assertRegex(err[0], r"^kelvo: sound output lost \(.+\); beeps are silent$")

    def test_no_server_gives_one_line_and_success(self):
        with tempfile.TemporaryDirectory() as nowhere:
            env = dict(os.environ, PULSE_SERVER="unix:" + os.path.join(nowhere, "native"))
            status, err, _ = beep(None, 4000, 5, 3250, 50, env=env)
        self.assertEqual(status, 0)
        self.assertEqual(len(err), 1, err)
        self.assertRegex(err[0], r"^kelvo: no sound output \(.+\); beeps are silent$")

    def test_server_killed_mid_tone_ends_the_tone_not_the_program(self):
        with pulse.PulseServer() as server, server.record() as rec:
            player = subprocess.Popen([BEEP, "1000", "4000", "2000", "50"],
                                      env=server.client_env(), stdin=subprocess.DEVNULL,
                                      stderr=subprocess.PIPE, text=True)
            try:
                rec.wait_for_sound()
                server.signal(signal.SIGKILL)
                err = player.communicate(timeout=HANG_GUARD)[1].splitlines()
            finally:
                self.stop(player)
            self.assertLostOnce(player, err)

    def test_beeps_resume_once_a_lost_server_is_back(self):
        # The first tone plays; the server dies and comes back; a beep soon
        # after the loss is dropped at once, a later one reconnects.
        with pulse.PulseServer() as server:
            player = subprocess.Popen([BEEP, "--gap", "4000", "1000", "30", "1500", "30", "2000", "30"],
                                      env=server.client_env(), stdin=subprocess.DEVNULL,
                                      stderr=subprocess.PIPE, text=True)
            try:
                with server.record() as before:
                    before.wait_for_sound()
                    server.signal(signal.SIGKILL)
                server.restart()
                with server.record() as after:
                    err = player.communicate(timeout=HANG_GUARD)[1].splitlines()
                    after.wait_for_more(0.2)
            finally:
                self.stop(player)
            self.assertLostOnce(player, err)
            heard = [round(pulse.dominant_frequency(after.samples[a:b], after.rate))
                     for a, b in pulse.loud_segments(after.samples, after.rate)]
            self.assertEqual(len(heard), 1, "tones heard after the restart: %s Hz" % heard)
            self.assertAlmostEqual(heard[0], 2000, delta=60)

    def test_hung_server_is_given_up_on(self):
        with pulse.PulseServer() as server:
            server.signal(signal.SIGSTOP)
            status, err, _ = beep(server, 4000, 50)
        self.assertEqual(status, 0)
        self.assertEqual(len(err), 1, err)
        self.assertRegex(err[0], r"^kelvo: no sound output \(.+\); beeps are silent$")

    def test_bad_arguments_are_refused_whole_by_name(self):
        with tempfile.TemporaryDirectory() as nowhere:
            env = dict(os.environ, PULSE_SERVER="unix:" + os.path.join(nowhere, "native"))
            for args, named in [([], None),
                                (["4000"], '1 "4000"'),
                                (["4000", "5", "3000"], '3 "3000"'),
                                (["x", "5"], '1 "x"'),
                                (["4000", "5ms"], '2 "5ms"'),
                                (["0", "5"], '1 "0"'),
                                (["-4000", "5"], '1 "-4000"'),
                                (["24000", "5"], '1 "24000"'),
                                (["4000", "5", "3000", "0"], '4 "0"'),
                                (["4000", "99999999999"], '2 "99999999999"'),
                                (["--gap"], '1 "--gap"'),
                                (["--gap", "soon", "4000", "5"], '2 "soon"'),
                                (["--gap", "100"], None)]:
                with self.subTest(args=args):
                    status, err, _ = beep(None, *args, env=env)
                    self.assertEqual(status, 2)
                    text = "\n".join(err)
                    self.assertIn("usage: kelvo-beep [--gap MS] FREQ MS", text)
                    if named:
                        self.assertIn("argument " + named, text)
                    # Nothing was played: the sound output was never tried.
                    self.assertNotIn("sound output", text)


if __name__ == "__main__":
    missing = pulse.pulseaudio_missing()
    if missing:
        kd.skip("%s is not installed (scripts/install-deps test installs it)" % missing)
    if not os.access(BEEP, os.X_OK):
        print("test_tone: %s is missing: build kelvo-beep and set KELVO_BUILD" % BEEP)
        sys.exit(1)
    unittest.main()
