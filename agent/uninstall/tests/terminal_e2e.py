#!/usr/bin/env python3
"""purgewiz in a pseudo-terminal, its screen read with a terminal emulator:
the question, the progress window's caption and status texts in order,
Escape answered with "You can't cancel uninstallation now.", the final
message, exit status 0. Usage: terminal_e2e.py BUILD_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile

import pexpect
import pyte

build = os.path.abspath(sys.argv[1])
scratch = tempfile.mkdtemp(prefix="wl-purgewiz-tty-")
env = dict(os.environ)
env.update({
    "WARDENLINE_REGISTRY": scratch + "/registry.db",
    "WARDENLINE_SYSTEM_PREFIX": scratch + "/sys",
    "XDG_CONFIG_DIRS": scratch + "/xdg",
    "XDG_DATA_DIRS": scratch + "/share",
    "WARDENLINE_PURGEWIZ_SECOND_MS": "250",
    "TERM": "xterm",
})
COLS, ROWS = 80, 24


def fail(message):
    print("terminal test: " + message, file=sys.stderr)
    sys.exit(1)


try:
    # An agent to remove, and an SNMP service that an init script controls.
    root = scratch + "/root"
    os.makedirs(root + "/INI")
    os.makedirs(scratch + "/sys/etc/init.d")
    state = scratch + "/snmp.state"
    script = scratch + "/sys/etc/init.d/snmpsvc"
    with open(script, "w") as f:
        f.write("#!/bin/sh\ncase $1 in start) touch %s;; stop) rm -f %s;; "
                "status) test -f %s;; esac\n" % (state, state, state))
    os.chmod(script, 0o755)
    open(state, "w").close()
    with open(scratch + "/machine.reg", "w") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvex\\Wardenline\\CurrentVersion]\n"
                "\"PathName\"=\"%s\"\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\"
                "CurrentVersion]\n\"CurrentVersion\"=\"4.0\"\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\"
                "CurrentControlSet\\Services\\SNMP\\Parameters]\n\"x\"=dword:00000001\n" % root)
    subprocess.run([build + "/bin/wlreg", "import", scratch + "/machine.reg"], env=env, check=True)
    subprocess.run([build + "/bin/wlprogman", "[CreateGroup(Wardenline Agent)][AddItem(/bin/true,Log)]"],
                   env=env, check=True)
    config = root + "/UNINST.INI"
    with open(config, "w") as f:
        f.write("[Program Group]\nName=Wardenline Agent\nCount=1\n1=Log\n")

    screen = pyte.Screen(COLS, ROWS)
    stream = pyte.ByteStream(screen)
    pending = bytearray()  # read, not yet shown on the screen
    child = pexpect.spawn(build + "/bin/purgewiz", [config], env=env, dimensions=(ROWS, COLS))

    def text():
        rows = []
        for row in screen.display:
            row = row.strip().strip("│┤├x").strip()
            if row:
                rows.append(row)
        return " ".join(rows)

    def wait_for(wanted, timeout=30):
        """Feeds the output byte by byte until the screen shows `wanted`."""
        if wanted in text():
            return
        while True:
            if not pending:
                try:
                    pending.extend(child.read_nonblocking(4096, timeout=timeout))
                except (pexpect.TIMEOUT, pexpect.EOF):
                    fail("never saw %r; screen:\n%s" % (wanted, "\n".join(screen.display)))
            # Up to the next escape sequence: every state the program drew
            # between two cursor moves is looked at.
            while pending:
                end = pending.find(b"\x1b", 1)
                end = len(pending) if end < 0 else end
                stream.feed(bytes(pending[:end]))
                del pending[:end]
                if wanted in text():
                    return

    wait_for("Are you sure you want to uninstall Wardenline Agent for Windows NT Server software?")
    wait_for("Uninstall Confirmation")
    child.send("\r")  # Yes has the focus
    wait_for("Wardenline Agent Uninstallation")
    for status in ["Please wait for uninstallation removing Wardenline Agent from the system.",
                   "deleting program group and items.", "Deleting Windows NT services.",
                   "Deleting registry.", "Restart SNMP Service."]:
        wait_for(status)
    child.send("\x1b")
    wait_for("You can't cancel uninstallation now.")
    child.send("\r")
    wait_for("Deleting files.")
    wait_for("Wardenline Agent for Windows NT Server software has been uninstalled from the system.")
    child.send("\r")
    child.expect(pexpect.EOF, timeout=30)
    child.close()
    if child.exitstatus != 0:
        fail("exit status %s" % child.exitstatus)
    if os.path.exists(root):
        fail("the install root is still there")

    # The window's close command (F4) ends the run before its next step.
    os.makedirs(root + "/INI")
    with open(config, "w") as f:
        f.write("[Program Group]\nName=Wardenline Agent\n")
    screen.reset()
    pending.clear()
    child = pexpect.spawn(build + "/bin/purgewiz", [config], env=env, dimensions=(ROWS, COLS))
    wait_for("Uninstall Confirmation")
    child.send("\r")
    wait_for("Restart SNMP Service.")
    child.send("\x1bOS")  # F4
    child.expect(pexpect.EOF, timeout=30)
    child.close()
    if child.exitstatus != 0 or not os.path.exists(config):
        fail("closing the window did not end the run before the files went")
    print("terminal test: ok")
finally:
    shutil.rmtree(scratch, ignore_errors=True)
