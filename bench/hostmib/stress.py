#!/usr/bin/env python3
"""Walks 1.3.6.1.2.1.25 of an agent from several clients at once while the
machine's processes and mounts change under it.

Each client walks the subtree over and over (even clients with GETBULK, odd
ones with get-next) until the time is up. Meanwhile one thread starts and
kills short-lived processes, another mounts and unmounts a tmpfs (skipped with
a notice where mounting is not permitted).

A walk passes when the client ends it normally (no error, no timeout), its
names increase strictly, and it reaches every group of the MIB that a walk
before the run reached (it is complete). Prints the counts; exits 1 when a
walk failed or the churn could not be made.

usage: stress.py PORT [--seconds 60] [--clients 8] [--processes 1000] [--mounts 50]
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SUBTREE = "1.3.6.1.2.1.25"
PREFIX = (1, 3, 6, 1, 2, 1, 25)


def walk(port, bulk):
    tool = "snmpbulkwalk" if bulk else "snmpwalk"
    result = subprocess.run(
        [tool, "-v2c", "-c", "public", "-On", "-Oq", "-t", "5", "-r", "1", "127.0.0.1:%d" % port,
         "." + SUBTREE],
        capture_output=True, text=True, errors="replace", env=dict(os.environ, MIBS=""), check=False)
    names = []
    problem = None
    for line in result.stdout.splitlines():
        if not line.startswith("."):
            continue  # the rest of a value that goes on over several lines
        name = line.split(" ", 1)[0]
        try:
            names.append(tuple(int(part) for part in name[1:].split(".")))
        except ValueError:
            problem = "unreadable name %r" % name[:80]
    if result.returncode != 0 or result.stderr.strip():
        problem = "%s exit %d: %s" % (tool, result.returncode, result.stderr.strip()[:200])
    elif "No Such" in result.stdout or "No more variables" in result.stdout:
        problem = "exception in the walk"
    for a, b in zip(names, names[1:]):
        if not a < b:
            problem = "names not increasing: .%s then .%s" % (".".join(map(str, a)), ".".join(map(str, b)))
            break
    return names, problem


def groups(names):
    """The groups under 1.3.6.1.2.1.25 a walk reached: {(group, item)}."""
    return {name[len(PREFIX):len(PREFIX) + 2] for name in names if name[:len(PREFIX)] == PREFIX}


class Run:
    def __init__(self, args, expected):
        self.args = args
        self.expected = expected
        self.end = time.monotonic() + args.seconds
        self.lock = threading.Lock()
        self.walks = [0] * args.clients
        self.bindings = 0
        self.failures = []
        self.processes = 0
        self.mounts = 0
        self.notices = []

    def running(self):
        return time.monotonic() < self.end

    def client(self, number):
        bulk = number % 2 == 0
        while self.running():
            names, problem = walk(self.args.port, bulk)
            if problem is None:
                missing = self.expected - groups(names)
                if missing:
                    problem = "incomplete: no %s" % ", ".join(
                        "25.%d.%d" % g for g in sorted(missing)[:5])
            with self.lock:
                self.walks[number] += 1
                self.bindings += len(names)
                if problem is not None:
                    self.failures.append("client %d walk %d: %s" % (number, self.walks[number], problem))

    def churn_processes(self):
        """Starts and kills args.processes processes, evenly over the run,
        each living 0 to 200 ms."""
        count = self.args.processes
        interval = self.args.seconds * 0.9 / max(count, 1)
        alive = []
        started = time.monotonic()
        for n in range(count):
            if not self.running():
                break
            alive.append((time.monotonic() + random.uniform(0, 0.2),
                          subprocess.Popen(["sleep", "60"], stdin=subprocess.DEVNULL)))
            self.processes += 1
            now = time.monotonic()
            for entry in [e for e in alive if e[0] <= now]:
                entry[1].send_signal(signal.SIGKILL)
                entry[1].wait()
                alive.remove(entry)
            delay = started + (n + 1) * interval - time.monotonic()
            if delay > 0:
                time.sleep(delay)
        for _, process in alive:
            process.send_signal(signal.SIGKILL)
            process.wait()
        if self.processes < count:
            self.notices.append("only %d of %d processes started in the time" % (self.processes, count))

    def churn_mounts(self):
        """Mounts and unmounts a tmpfs args.mounts times, evenly over the run."""
        count = self.args.mounts
        interval = self.args.seconds * 0.9 / max(count, 1)
        directory = tempfile.mkdtemp(prefix="hostmib_stress_mnt_")
        try:
            started = time.monotonic()
            for n in range(count):
                if not self.running():
                    break
                result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "hostmib_stress", directory],
                                        capture_output=True, text=True, check=False)
                if result.returncode != 0:
                    self.notices.append("mounting a tmpfs is not permitted here, skipped: %s"
                                        % result.stderr.strip()[:120])
                    return
                time.sleep(interval / 2)
                subprocess.run(["umount", directory], check=True)
                self.mounts += 1
                delay = started + (n + 1) * interval - time.monotonic()
                if delay > 0:
                    time.sleep(delay)
            if self.mounts < count:
                self.notices.append("only %d of %d mounts in the time" % (self.mounts, count))
        finally:
            subprocess.run(["umount", directory], capture_output=True, check=False)
            shutil.rmtree(directory, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--clients", type=int, default=8)
    parser.add_argument("--processes", type=int, default=1000)
    parser.add_argument("--mounts", type=int, default=50)
    args = parser.parse_args()

    names, problem = walk(args.port, True)
    if problem is not None:
        sys.exit("the walk before the run failed: %s" % problem)
    expected = groups(names)
    run = Run(args, expected)
    threads = [threading.Thread(target=run.client, args=(n,)) for n in range(args.clients)]
    threads += [threading.Thread(target=run.churn_processes), threading.Thread(target=run.churn_mounts)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started

    print("%.0f s, %d clients: %d walks (%s), %d bindings, %d failed" % (
        elapsed, args.clients, sum(run.walks), " ".join(map(str, run.walks)), run.bindings,
        len(run.failures)))
    print("churn: %d processes started and killed, %d tmpfs mounts and unmounts" % (
        run.processes, run.mounts))
    print("every walk had to reach the %d groups of the walk before the run: %s" % (
        len(expected), " ".join("25.%d.%d" % g for g in sorted(expected))))
    for notice in run.notices:
        print("notice: " + notice)
    for failure in run.failures[:20]:
        print("FAIL " + failure)
    return 1 if run.failures or run.processes < args.processes else 0


if __name__ == "__main__":
    sys.exit(main())
