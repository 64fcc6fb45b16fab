"""scripts/demo.sh when another program holds a port of the simulated card on 127.0.0.1: the demo
names the port and stops instead of running its commands against that program.

The test runs in a network namespace of its own when it may make one (root), so that it neither
disturbs nor depends on programs that use 127.0.0.1 on this machine; otherwise it uses the
machine's loopback, where a port already held by someone else must be refused all the same."""

import ctypes
import errno
import os
import shutil
import socket
import subprocess
import unittest

from vorltest import VORLSIM

REPO = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
DEMO = os.path.join(REPO, "scripts", "demo.sh")
BUILD = os.path.dirname(os.path.dirname(os.path.abspath(VORLSIM))) if VORLSIM else ""
CLONE_NEWNET = 0x40000000


def private_network():
    """Moves this process into a new network namespace with its loopback up; False when it may
    not."""
    if shutil.which("ip") is None:
        return False
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.unshare(CLONE_NEWNET) != 0:
        return False
    return subprocess.run(["ip", "link", "set", "lo", "up"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def hold(port):
    """A listener on 127.0.0.1:port, or None when another program holds the port already."""
    listener = socket.socket()
    # As any server does: connections that ended on the port a moment ago do not hold it.
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        listener.bind(("127.0.0.1", port))
    except OSError as e:
        listener.close()
        if e.errno == errno.EADDRINUSE:
            return None
        raise
    listener.listen()
    return listener


class DemoTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not BUILD or not os.path.exists(os.path.join(BUILD, "cli", "vorlcli")):
            raise unittest.SkipTest("needs a native build with vorlsim and vorlcli")
        cls.private = private_network()

    def run_demo(self):
        return subprocess.run(["bash", DEMO, BUILD], capture_output=True, text=True, timeout=120)

    def test_a_taken_port_is_named_and_stops_the_demo(self):
        for port in (6577, 6578):
            with self.subTest(port=port):
                listener = hold(port)
                try:
                    demo = self.run_demo()
                finally:
                    if listener:
                        listener.close()
                self.assertNotEqual(demo.returncode, 0, "held here: %s\n%s%s" % (
                    listener is not None, demo.stdout, demo.stderr))
                self.assertIn("demo.sh: port %d on 127.0.0.1 is taken by another program" % port,
                              demo.stderr)
                self.assertNotIn("$ ", demo.stdout)  # not one command ran

    def test_free_ports_run_the_commands(self):
        if not self.private:
            self.skipTest("the machine's own ports 6577 and 6578 may be in use")
        demo = self.run_demo()
        self.assertEqual(demo.returncode, 0, demo.stderr)
        self.assertIn("User 2: operator Password: Operator1", demo.stdout)


if __name__ == "__main__":
    unittest.main()
