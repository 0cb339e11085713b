#!/usr/bin/env python3
"""gelvar-cli.exe under wine against gelvar-unit-sim, its COM1 mapped to the simulator's pty through
wine's registry; the Linux gelvar-cli on the same simulator gives the expected bytes.

Usage: wine_cli_test.py WINDOWS_CLI LINUX_CLI LINUX_SIM"""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

WINDOWS_CLI, LINUX_CLI, LINUX_SIM = sys.argv[1:4]
WORK = tempfile.mkdtemp(prefix="gelvar-wine-")
LINK = os.path.join(WORK, "com1")
ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
TIMES = re.compile(rb"\d\d/\d\d/\d\d|\d\d:\d\d:\d\d")


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


class Simulator:
    def __init__(self):
        self.process = None

    def start(self):
        self.process = subprocess.Popen([LINUX_SIM, "--link", LINK], stdout=subprocess.PIPE, text=True)
        for _ in range(2):  # the device, then the link made
            self.process.stdout.readline()

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)
        self.process.stdout.close()


def windows_cli(*args, **kwargs):
    return subprocess.Popen(["wine", WINDOWS_CLI, *args], env=ENV, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, **kwargs)


def run(command, timeout=120):
    process = subprocess.run(command, env=ENV, capture_output=True, timeout=timeout)
    return process.returncode, process.stdout, process.stderr


# The log up to its first record, and the widths of that record's fields.
def record_layout(log):
    head, _, record = log.partition(b"\r\n00001; ")
    return head, [len(field) for field in record.split(b";")]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# A port of Device Manager's Ports class, as a USB adapter's driver leaves it in the registry.
DEVICE_KEY = r"HKLM\System\CurrentControlSet\Enum\ROOT\PORTS\0000"
DEVICE_VALUES = [("", "ClassGUID", "{4d36e978-e325-11ce-bfc1-08002be10318}"), ("", "Mfg", "FTDI"),
                 ("", "FriendlyName", "USB Serial Port (COM1)"), ("\\Device Parameters", "PortName", "COM1")]


class WineCli(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        subprocess.run(["wine", "reg", "add", r"HKLM\Software\Wine\Ports", "/v", "COM1", "/t", "REG_SZ",
                        "/d", LINK, "/f"], env=ENV, check=True, capture_output=True)
        subprocess.run(["wineserver", "-k"], env=ENV)
        cls.sim = Simulator()
        cls.sim.start()

    @classmethod
    def tearDownClass(cls):
        cls.sim.stop()

    def test_read_parameters_prints_the_bytes_the_linux_program_prints(self):
        linux = run([LINUX_CLI, "--device", LINK, "read-parameters"])
        windows = run(["wine", WINDOWS_CLI, "--com", "1", "read-parameters"])
        self.assertEqual(linux, windows)
        self.assertEqual(windows[0], 0)

    def test_a_short_log_holds_the_linux_programs_header_and_record_layout(self):
        files = [os.path.join(WORK, name) for name in ("linux.log", "windows.log")]
        # Each against a unit just started. Its values drift every 2 s from the first request on, and a
        # loaded machine may take that long more under wine: the record's fields are compared by width.
        self.sim.stop()
        self.sim.start()
        run([LINUX_CLI, "--device", LINK, "log", "--file", files[0], "--records", "1"])
        self.sim.stop()
        self.sim.start()
        status = run(["wine", WINDOWS_CLI, "--com", "1", "log", "--file", wine_path(files[1]), "--records", "1"])[0]
        self.assertEqual(status, 0)
        linux, windows = (TIMES.sub(b"<time>", open(path, "rb").read()) for path in files)
        self.assertIn(b"\r\n00001; <time>; <time>;", windows)
        self.assertEqual(record_layout(linux), record_layout(windows))

    def test_a_unit_gone_and_back_during_a_log_loses_no_record(self):
        log = os.path.join(WORK, "lost.log")
        cli = windows_cli("--com", "1", "log", "--file", wine_path(log), "--interval", "1", "--for", "70s")
        time.sleep(8)
        self.sim.stop()
        time.sleep(3)
        self.sim.start()
        _, errors = cli.communicate(timeout=120)
        self.assertEqual(cli.returncode, 0, errors)
        self.assertIn(b"E> COM Port Lost", errors)
        self.assertIn(b"I> COM Port Reopened", errors)
        records = re.findall(rb"\r\n(\d{5}); ", open(log, "rb").read())
        self.assertEqual(records, [b"00001", b"00002"])

    # wine turns SIGINT into the console's Ctrl-C event.
    def test_ctrl_c_ends_a_log_with_the_log_stored_and_status_0(self):
        log = os.path.join(WORK, "stopped.log")
        cli = windows_cli("--com", "1", "log", "--file", wine_path(log), "--interval", "1")
        deadline = time.time() + 60
        while time.time() < deadline and b"00001; " not in (open(log, "rb").read() if os.path.exists(log) else b""):
            time.sleep(0.5)
        cli.send_signal(signal.SIGINT)
        _, errors = cli.communicate(timeout=30)
        self.assertEqual(cli.returncode, 0, errors)
        self.assertIn(b"I> Log stored in file ", errors)
        self.assertIn(b"\r\n00001; ", open(log, "rb").read())

    def test_ports_lists_com1_by_its_friendly_name_or_else_by_the_serialcomm_map(self):
        plain = run(["wine", WINDOWS_CLI, "ports"])[1]
        for key, name, value in DEVICE_VALUES:
            subprocess.run(["wine", "reg", "add", DEVICE_KEY + key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                           env=ENV, check=True, capture_output=True)
        try:
            named = run(["wine", WINDOWS_CLI, "ports"])[1]
            json = run(["wine", WINDOWS_CLI, "ports", "--json"])[1]
        finally:
            subprocess.run(["wine", "reg", "delete", DEVICE_KEY, "/f"], env=ENV, capture_output=True)
        self.assertRegex(plain, rb"(?m)^\\\\\.\\COM1  serial port \\Device\\Serial\d+$")
        self.assertIn(b"\\\\.\\COM1  FTDI USB Serial Port (COM1)\n", named)
        self.assertIn(b'{"path":"\\\\\\\\.\\\\COM1","description":"FTDI USB Serial Port (COM1)"}', json)

    def test_watch_publishes_each_pass_to_a_broker_and_goes_offline_at_ctrl_c(self):
        port = free_port()
        config = os.path.join(WORK, "mosquitto.conf")
        with open(config, "w") as out:
            out.write(f"listener {port} 127.0.0.1\nallow_anonymous true\n")
        broker = subprocess.Popen(["mosquitto", "-c", config], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            time.sleep(1)
            subscriber = subprocess.Popen(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "wine/unit/state",
                                           "-C", "1", "-W", "90"], stdout=subprocess.PIPE)
            cli = windows_cli("--com", "1", "watch", "--mqtt", f"mqtt://127.0.0.1:{port}/wine/unit")
            state = subscriber.communicate(timeout=120)[0]
            cli.send_signal(signal.SIGINT)
            cli.communicate(timeout=30)
            status = run(["mosquitto_sub", "-h", "127.0.0.1", "-p", str(port), "-t", "wine/unit/status", "-C", "1",
                          "-W", "10"])[1]
        finally:
            broker.terminate()
            broker.wait(10)
        self.assertEqual(cli.returncode, 0)
        self.assertRegex(state, rb'^\{"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ","units":\{')
        self.assertEqual(status, b"offline\n")

    def test_an_unmapped_com_port_is_an_open_error_with_status_3(self):
        status, _, errors = run(["wine", WINDOWS_CLI, "--com", "9", "test"])
        self.assertEqual(status, 3)
        self.assertIn(b"Error open COM9:\n  \\\\.\\COM9: ", errors)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
