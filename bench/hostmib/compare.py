#!/usr/bin/env python3
"""Walks 1.3.6.1.2.1.25 of two agents and compares them table by table.

The reference agent is walked first, then ours; the processes of the machine
are noted some seconds before the first walk (--settle, default 16: longer
than either agent's process list can be old; ours lists the processes of the
performance data, reloaded at most every 10 seconds, and rebuilds its tables
when they are 5 seconds old) and after the second, so that rows that differ
because something started, ended or changed meanwhile (churn) are told apart
from real differences.

Rows are matched by what they describe, not by their index (the two agents
number storage, devices and file systems differently): storage by the mount
point of its file system (else its description), devices by type and
description, processes by process number, packages by package name.

usage: compare.py REFERENCE_PORT OURS_PORT [--names REFERENCE OURS] [--settle SECONDS]
Prints the table and the checks; exits 1 when a check fails.
"""

import argparse
import calendar
import os
import re
import subprocess
import sys
import time

HOST = (1, 3, 6, 1, 2, 1, 25)


def oid(text):
    return tuple(int(part) for part in text.strip(".").split(".") if part)


def parse_walk(text):
    """net-snmp output (-On -Oe -Ot -Ox) -> {oid tuple: value}.

    Values: int for numbers, bytes for strings, tuple for object identifiers.
    """
    values = {}
    last = None
    for line in text.splitlines():
        if line.startswith("."):
            name, _, rest = line.partition(" = ")
            key = oid(name)
            last = None
            if rest.startswith("Hex-STRING: "):
                values[key] = bytes.fromhex(rest[len("Hex-STRING: "):])
                last = key
            elif rest.startswith("STRING: "):
                text_value = rest[len("STRING: "):]
                if text_value.startswith('"') and text_value.endswith('"'):
                    text_value = text_value[1:-1]
                values[key] = text_value.encode()
            elif rest == '""':
                values[key] = b""
            elif rest.startswith("OID: "):
                values[key] = oid(rest[len("OID: "):])
            elif rest.startswith(("No Such", "No more")):
                continue
            else:
                number = rest.split(": ")[-1].split()[0] if rest else ""
                try:
                    values[key] = int(number)
                except ValueError:
                    values[key] = rest.encode()
        elif last is not None and line.strip():
            # A long Hex-STRING goes on over several lines.
            try:
                values[last] += bytes.fromhex(line)
            except ValueError:
                last = None
    return values


def walk(port, community="public"):
    started = time.monotonic()
    result = subprocess.run(
        ["snmpbulkwalk", "-v2c", "-c", community, "-On", "-Oe", "-Ot", "-Ox", "-t", "10", "-r", "1",
         "-Cr25", "127.0.0.1:%d" % port, ".1.3.6.1.2.1.25"],
        capture_output=True, text=True, env=dict(os.environ, MIBS=""), check=False)
    if result.returncode != 0 or "OID not increasing" in result.stderr:
        sys.exit("walk of port %d failed: %s" % (port, result.stderr.strip()[:300]))
    return parse_walk(result.stdout), time.monotonic() - started


def scalar(values, *sub):
    return values.get(HOST + sub + (0,))


def table(values, *entry):
    """The rows of the table whose entry is HOST + entry: {index: {column: value}}."""
    prefix = HOST + entry
    rows = {}
    for key, value in values.items():
        if key[:len(prefix)] == prefix and len(key) > len(prefix) + 1:
            rows.setdefault(key[len(prefix) + 1:], {})[key[len(prefix)]] = value
    return rows


def processes():
    """{pid: (start time, name, state letter)} of the machine's processes now."""
    result = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(b")") + 2:].split()
        if len(fields) > 19:
            result[int(name)] = (int(fields[19]), stat[stat.find(b"(") + 1:stat.rfind(b")")], fields[0])
    return result


def date_seconds(value):
    """DateAndTime -> seconds since the epoch (UTC when the zone is given)."""
    if not isinstance(value, bytes) or len(value) not in (8, 11):
        return None
    year = value[0] * 256 + value[1]
    try:
        moment = time.struct_time((year, value[2], value[3], value[4], value[5], value[6], 0, 0, 0))
        seconds = time.mktime(moment) if len(value) == 8 else calendar.timegm(moment)
    except (OverflowError, ValueError):
        return None
    if len(value) == 11:
        offset = (value[9] * 3600 + value[10] * 60) * (1 if value[8] == ord("+") else -1)
        seconds -= offset
    return seconds


def show(value, limit=28):
    if isinstance(value, bytes):
        if any(c < 32 or c == 127 for c in value):
            return value.hex(" ")
        text = value.decode("utf-8", "replace")
        return repr(text if len(text) <= limit else text[:limit - 3] + "...")
    if isinstance(value, tuple):
        return "." + ".".join(map(str, value))
    return str(value)


class Report:
    def __init__(self, names):
        self.names = names
        self.lines = []
        self.checks = []

    def row(self, table_name, ref_rows, our_rows, matched, differences):
        self.lines.append((table_name, ref_rows, our_rows, matched, differences))

    def check(self, ok, text):
        self.checks.append((ok, text))

    def print(self):
        ref, ours = self.names
        head = ("table", ref, ours, "matched", "columns that differ beyond churn")
        print("%-19s %7s %7s %8s  %s" % head)
        for name, ref_rows, our_rows, matched, differences in self.lines:
            differences = differences or ["-"]
            print("%-19s %7s %7s %8s  %s" % (name, ref_rows, our_rows, matched, differences[0]))
            for difference in differences[1:]:
                print("%46s%s" % ("", difference))
        print()
        for ok, text in self.checks:
            print("%-4s %s" % ("ok" if ok else "FAIL", text))

    def failed(self):
        return any(not ok for ok, _ in self.checks)


def compare_columns(ref_rows, our_rows, pairs, columns, rules=None):
    """For matched row pairs, the columns whose values differ: ["name n/m (ref vs ours)"]."""
    rules = rules or {}
    out = []
    for column, name in columns.items():
        rule = rules.get(column)
        differing = []
        for ref_index, our_index in pairs:
            a = ref_rows[ref_index].get(column)
            b = our_rows[our_index].get(column)
            if rule is not None and a is not None and b is not None:
                same = rule(a, b)
            else:
                same = a == b
            if not same:
                differing.append((a, b))
        if differing:
            a, b = differing[0]
            out.append("%s %d/%d (%s vs %s)" % (name, len(differing), len(pairs), show(a), show(b)))
    return out


def keyed(rows, key_of):
    """{key: index}, duplicates numbered in index order."""
    result = {}
    for index in sorted(rows):
        key = key_of(index, rows[index])
        if key is None:
            continue
        n = 0
        while (key, n) in result:
            n += 1
        result[(key, n)] = index
    return result


def match(ref_rows, our_rows, key_of_ref, key_of_ours=None):
    ref_keys = keyed(ref_rows, key_of_ref)
    our_keys = keyed(our_rows, key_of_ours or key_of_ref)
    pairs = [(ref_keys[k], our_keys[k]) for k in sorted(ref_keys, key=repr) if k in our_keys]
    return pairs, ref_keys, our_keys


def compare(ref, ours, elapsed, churn, lived, report, cpus):
    slack_ticks = int(elapsed * 100) + 200
    ref_run, our_run = table(ref, 4, 2, 1), table(ours, 4, 2, 1)
    # Processes that lived through both walks but are not in the reference's:
    # they started after it last listed the processes (it keeps the list a
    # while).
    missing_ref = sorted(pid for pid in lived if (pid,) not in ref_run)

    # hrSystem
    system_columns = {1: "hrSystemUptime", 2: "hrSystemDate", 3: "hrSystemInitialLoadDevice",
                      4: "hrSystemInitialLoadParameters", 5: "hrSystemNumUsers",
                      6: "hrSystemProcesses", 7: "hrSystemMaxProcesses"}
    ref_system = {c: scalar(ref, 1, c) for c in system_columns}
    our_system = {c: scalar(ours, 1, c) for c in system_columns}
    # Processes one agent lists and the other not, that did not live from
    # the first snapshot to the last: started or ended around the walks, or
    # kept in a list a while after their end.
    one_sided = {i[0] for i in set(ref_run) ^ set(our_run) if i[0] not in lived}
    process_slack = 5 + churn + len(missing_ref) + len(one_sided)

    def date_close(a, b):
        sa, sb = date_seconds(a), date_seconds(b)
        return sa is not None and sb is not None and abs(sa - sb) <= elapsed + 2

    differences = compare_columns(
        {0: ref_system}, {0: our_system}, [(0, 0)], system_columns,
        {1: lambda a, b: abs(a - b) <= slack_ticks, 2: date_close,
         6: lambda a, b: abs(a - b) <= process_slack})
    report.row("hrSystem", sum(v is not None for v in ref_system.values()),
               sum(v is not None for v in our_system.values()),
               sum(ref_system[c] is not None and our_system[c] is not None for c in system_columns),
               differences)
    report.check(ref_system[5] is not None and ref_system[5] == our_system[5],
                 "hrSystemNumUsers equal (%s, %s)" % (ref_system[5], our_system[5]))
    report.check(ref_system[6] is not None and our_system[6] is not None
                 and abs(ref_system[6] - our_system[6]) <= process_slack,
                 "hrSystemProcesses within %d (%s, %s)" % (process_slack, ref_system[6], our_system[6]))
    date = our_system[2]
    report.check(isinstance(date, bytes) and len(date) == 11,
                 "hrSystemDate carries the zone offset (%d octets)" % (len(date) if isinstance(date, bytes) else 0))

    # hrStorage: memory size, then the storage table matched by mount point.
    memory = (scalar(ref, 2, 2), scalar(ours, 2, 2))
    report.row("hrMemorySize", int(memory[0] is not None), int(memory[1] is not None),
               int(None not in memory), [] if memory[0] == memory[1] else
               ["hrMemorySize (%s vs %s)" % memory])
    report.check(memory[0] is not None and memory[0] == memory[1],
                 "hrMemorySize equal (%s KB, %s KB)" % memory)

    def storage_key(values):
        file_systems = table(values, 3, 8, 1).values()
        linked = {row.get(7): row.get(2) for row in file_systems if row.get(7)}
        mount_points = {row.get(2) for row in file_systems if isinstance(row.get(2), bytes)}

        def key(index, row):
            if linked.get(index[0]) is not None:
                return ("fs", linked[index[0]])
            descr = row.get(3)
            # A description that is a mount point, or one followed by " (...)".
            if isinstance(descr, bytes):
                for mount in mount_points:
                    if descr == mount or descr.startswith(mount + b" ("):
                        return ("fs", mount)
            return ("descr", descr)
        return key

    ref_storage, our_storage = table(ref, 2, 3, 1), table(ours, 2, 3, 1)
    pairs, ref_keys, our_keys = match(ref_storage, our_storage, storage_key(ref), storage_key(ours))

    def byte_size(row):
        return (row.get(4) or 0) * (row.get(5) or 0)

    def close(a, b):
        return abs(a - b) <= max(a // 100, 16 << 20)

    def fs_row(a):
        return ref_keys_kind(ref_keys, a) == "fs"

    differences = compare_columns(ref_storage, our_storage, pairs, {2: "hrStorageType"})
    # File systems: the same bytes; memory rows change by the second.
    size_differs = [(a, b) for a, b in pairs
                    if (byte_size(ref_storage[a]) != byte_size(our_storage[b]) if fs_row(a)
                        else not close(byte_size(ref_storage[a]), byte_size(our_storage[b])))]
    if size_differs:
        a, b = size_differs[0]
        differences.append("units x size %d/%d (%s: %d vs %d)" % (
            len(size_differs), len(pairs), show(ref_storage[a].get(3)), byte_size(ref_storage[a]),
            byte_size(our_storage[b])))
    used_differs = []
    for a, b in pairs:
        ra, rb = ref_storage[a], our_storage[b]
        used_a, used_b = (ra.get(4) or 0) * (ra.get(6) or 0), (rb.get(4) or 0) * (rb.get(6) or 0)
        if not close(used_a, used_b) and not close(used_b, used_a):
            used_differs.append((ra.get(3), used_a, used_b))
    if used_differs:
        differences.append("units x used %d/%d (%s: %d vs %d)" % (
            (len(used_differs), len(pairs)) + (show(used_differs[0][0]),) + used_differs[0][1:]))
    only_ref = sorted(show(k[0][1]) for k in ref_keys if k not in our_keys)
    only_ours = sorted(show(k[0][1]) for k in our_keys if k not in ref_keys)
    if only_ref:
        differences.append("only in %s: %s" % (report.names[0], ", ".join(only_ref)))
    if only_ours:
        differences.append("only in %s: %s" % (report.names[1], ", ".join(only_ours)))
    report.row("hrStorageTable", len(ref_storage), len(our_storage), len(pairs), differences)
    fs_pairs = [(a, b) for a, b in pairs if ref_keys_kind(ref_keys, a) == "fs"]
    # Data file systems: those outside the kernel's interface trees.
    fs_ref = [k for k in ref_keys if k[0][0] == "fs" and not is_kernel_tree(k[0][1])]
    missing = [show(k[0][1]) for k in fs_ref if k not in our_keys]
    unequal = [show(ref_storage[a].get(3)) for a, b in fs_pairs
               if byte_size(ref_storage[a]) != byte_size(our_storage[b])]
    kernel = sorted(show(k[0][1]) for k in ref_keys if k[0][0] == "fs" and is_kernel_tree(k[0][1]))
    unequal = [name for name in unequal if not is_kernel_tree(name.strip("'").encode())]
    report.check(bool(fs_ref) and not missing and not unequal,
                 "every file system storage row of %s in %s with equal bytes (%d rows%s%s)" % (
                     report.names[0], report.names[1], len(fs_ref),
                     "; missing " + ", ".join(missing) if missing else "",
                     "; unequal " + ", ".join(unequal) if unequal else ""))
    if kernel:
        report.check(True, "(not counted as data file systems: %s)" % ", ".join(kernel))

    # hrDeviceTable and the tables that extend it.
    ref_devices, our_devices = table(ref, 3, 2, 1), table(ours, 3, 2, 1)

    # Devices by type and their order among the devices of that type.
    def device_key(index, row):
        return row.get(2)

    pairs, ref_keys, our_keys = match(ref_devices, our_devices, device_key)
    differences = compare_columns(ref_devices, our_devices, pairs, {
        3: "hrDeviceDescr", 4: "hrDeviceID", 5: "hrDeviceStatus", 6: "hrDeviceErrors"})
    by_type = {}
    for rows, side in ((ref_devices, 0), (our_devices, 1)):
        for row in rows.values():
            kind = row.get(2, ())
            by_type.setdefault(kind[-1] if kind else 0, [0, 0])[side] += 1
    unmatched_types = ["type %d: %d vs %d" % (t, n[0], n[1]) for t, n in sorted(by_type.items())
                       if n[0] != n[1]]
    if unmatched_types:
        differences.append("rows by type differ (" + ", ".join(unmatched_types) + ")")
    report.row("hrDeviceTable", len(ref_devices), len(our_devices), len(pairs), differences)
    device_of = {}
    for (key, n), index in ref_keys.items():
        device_of[("ref", index)] = (key, n)
    for (key, n), index in our_keys.items():
        device_of[("ours", index)] = (key, n)

    def via_device(side):
        return lambda index, row: device_of.get((side, index[:1]))

    extensions = [
        # Both average the load over the last minute; they sample it at
        # other moments.
        ("hrProcessorTable", (3, 3, 1), {1: "hrProcessorFrwID", 2: "hrProcessorLoad"},
         {2: lambda a, b: abs(a - b) <= 25}),
        ("hrNetworkTable", (3, 4, 1), {1: "hrNetworkIfIndex"}, {}),
        ("hrPrinterTable", (3, 5, 1), {1: "hrPrinterStatus", 2: "hrPrinterDetectedErrorState"}, {}),
        ("hrDiskStorageTable", (3, 6, 1), {1: "hrDiskStorageAccess", 2: "hrDiskStorageMedia",
                                           3: "hrDiskStorageRemoveble", 4: "hrDiskStorageCapacity"}, {}),
    ]
    for name, entry, columns, rules in extensions:
        ref_rows, our_rows = table(ref, *entry), table(ours, *entry)
        ref_k = keyed(ref_rows, via_device("ref"))
        our_k = keyed(our_rows, via_device("ours"))
        pairs = [(ref_k[k], our_k[k]) for k in ref_k if k in our_k]
        report.row(name, len(ref_rows), len(our_rows), len(pairs),
                   compare_columns(ref_rows, our_rows, pairs, columns, rules))
        if name == "hrProcessorTable":
            loads = [row.get(2) for row in our_rows.values()]
            report.check(bool(loads) and all(isinstance(v, int) and 0 <= v <= 100 for v in loads),
                         "hrProcessorLoad in 0..100 for every processor of %s (%s)" % (
                             report.names[1], ", ".join(map(str, loads)) or "none"))

    ref_parts, our_parts = table(ref, 3, 7, 1), table(ours, 3, 7, 1)

    def part_key(side):
        return lambda index, row: (device_of.get((side, index[:1])), row.get(2))

    pairs, _, _ = match(ref_parts, our_parts, part_key("ref"), part_key("ours"))
    report.row("hrPartitionTable", len(ref_parts), len(our_parts), len(pairs),
               compare_columns(ref_parts, our_parts, pairs, {3: "hrPartitionID", 4: "hrPartitionSize"}))

    ref_fs, our_fs = table(ref, 3, 8, 1), table(ours, 3, 8, 1)
    pairs, ref_keys, our_keys = match(ref_fs, our_fs, lambda index, row: row.get(2))
    differences = compare_columns(ref_fs, our_fs, pairs, {
        3: "hrFSRemoteMountPoint", 4: "hrFSType", 5: "hrFSAccess", 6: "hrFSBootable",
        8: "hrFSLastFullBackupDate", 9: "hrFSLastPartialBackupDate"})
    only_ref = sorted(show(k[0]) for k in ref_keys if k not in our_keys)
    only_ours = sorted(show(k[0]) for k in our_keys if k not in ref_keys)
    if only_ref:
        differences.append("only in %s: %s" % (report.names[0], ", ".join(only_ref)))
    if only_ours:
        differences.append("only in %s: %s" % (report.names[1], ", ".join(only_ours)))
    report.row("hrFSTable", len(ref_fs), len(our_fs), len(pairs), differences)

    # hrSWRun: processes by number. Those that lived through both walks
    # (same start time before the first and after the second) are in both.
    os_index = (scalar(ref, 4, 1), scalar(ours, 4, 1))
    report.row("hrSWOSIndex", int(os_index[0] is not None), int(os_index[1] is not None),
               int(None not in os_index), [] if os_index[0] == os_index[1] else
               ["hrSWOSIndex (%s vs %s)" % os_index])
    pairs = [(i, i) for i in sorted(ref_run) if i in our_run]
    # Names are compared where the process kept its name through the walks.
    # Names and states are compared where the process kept them through the
    # walks (as /proc showed it before the first and after the second).
    differences = compare_columns(ref_run, our_run, [p for p in pairs if lived.get(p[0][0], (0, 0))[0]],
                                  {2: "hrSWRunName"}, {2: same_name})
    differences += compare_columns(ref_run, our_run, pairs, {
        3: "hrSWRunID", 4: "hrSWRunPath", 5: "hrSWRunParameters", 6: "hrSWRunType"})
    differences += compare_columns(ref_run, our_run, [p for p in pairs if lived.get(p[0][0], (0, 0))[1]],
                                   {7: "hrSWRunStatus"})
    # A process that started after the reference built its list is not in
    # its walk; kernel workers rename themselves as they change queues.
    expected = sorted(pid for pid in lived if (pid,) in ref_run)
    missing = [pid for pid in expected if (pid,) not in our_run]
    report.row("hrSWRunTable", len(ref_run), len(our_run), len(pairs), differences)
    names_differ = [pid for pid in expected if (pid,) in our_run and lived[pid][0]
                    and not same_name(ref_run[(pid,)].get(2), our_run[(pid,)].get(2))]
    report.check(bool(expected) and not missing and not names_differ,
                 "the %d processes that lived through both walks are in %s with %s's names%s%s" % (
                     len(expected), report.names[1], report.names[0],
                     "; missing pids " + " ".join(map(str, missing[:10])) if missing else "",
                     "; other names for pids " + " ".join(map(str, names_differ[:10])) if names_differ else ""))
    if missing_ref:
        report.check(True, "(%d more lived through both walks but started after %s listed "
                           "its processes)" % (len(missing_ref), report.names[0]))

    ref_perf, our_perf = table(ref, 5, 1, 1), table(ours, 5, 1, 1)
    pairs = [(i, i) for i in sorted(ref_perf) if i in our_perf]
    # Each agent may answer from data some seconds old (ours: the refresh
    # age, 5 s by default).
    cpu_slack = int((elapsed + 10) * 100 * cpus)

    def mem_close(a, b):
        return abs(a - b) <= max(a // 4, 4096)

    report.row("hrSWRunPerfTable", len(ref_perf), len(our_perf), len(pairs),
               compare_columns(ref_perf, our_perf, pairs,
                               {1: "hrSWRunPerfCPU", 2: "hrSWRunPerfMem"},
                               {1: lambda a, b: abs(a - b) <= cpu_slack, 2: mem_close}))

    # hrSWInstalled: packages by name: "name_version_architecture" (snmpd),
    # "Section: name, vversion" (ours).
    def package(index, row):
        name = row.get(2)
        if not isinstance(name, bytes):
            return None
        if b": " in name:
            name = name.split(b": ", 1)[1]
        return re.split(rb"[_,\s:]", name, maxsplit=1)[0]

    ref_sw, our_sw = table(ref, 6, 3, 1), table(ours, 6, 3, 1)
    pairs, ref_keys, our_keys = match(ref_sw, our_sw, package)
    differences = compare_columns(ref_sw, our_sw, pairs, {
        3: "hrSWInstalledID", 4: "hrSWInstalledType", 5: "hrSWInstalledDate"},
        {5: lambda a, b: date_seconds(a) is not None and date_seconds(a) == date_seconds(b)})
    # What only ours lists, by kind (the text before ": " in its names).
    kinds = {}
    for key, index in our_keys.items():
        if key not in ref_keys:
            name = our_sw[index].get(2, b"")
            kind = name.split(b": ", 1)[0].decode("utf-8", "replace") if b": " in name else "other"
            kinds[kind] = kinds.get(kind, 0) + 1
    if kinds:
        differences.append("only in %s: %d (%s)" % (report.names[1], sum(kinds.values()), ", ".join(
            "%d %s" % (n, kind) for kind, n in sorted(kinds.items()))))
    report.row("hrSWInstalledTable", len(ref_sw), len(our_sw), len(pairs), differences)
    missing = sorted(k[0].decode("utf-8", "replace") for k in ref_keys if k not in our_keys)
    report.check(bool(ref_keys) and not missing,
                 "every package %s lists is in %s (%d packages%s)" % (
                     report.names[0], report.names[1], len(ref_keys),
                     "; missing " + ", ".join(missing[:10]) if missing else ""))


def is_kernel_tree(mount):
    return isinstance(mount, bytes) and any(
        mount == top or mount.startswith(top + b"/") for top in (b"/proc", b"/sys"))


def same_name(a, b):
    """Process names: equal, or kernel workers of the same number (a worker
    names the queue it serves at the moment after its number)."""
    if a == b:
        return True
    if isinstance(a, bytes) and isinstance(b, bytes) and a.startswith(b"kworker/"):
        return a.split(b"-")[0] == b.split(b"-")[0]
    return False


# The SYNTAX limits of HOST-RESOURCES-MIB, by object (under 1.3.6.1.2.1.25):
# ("size", largest length) for strings, ("range", lowest, highest) for numbers,
# ("enum", values...) for enumerations, ("date",) for DateAndTime.
POSITIVE = ("range", 1, 2147483647)
NATURAL = ("range", 0, 2147483647)
SYNTAX = {
    (1, 2): ("date",), (1, 3): POSITIVE, (1, 4): ("size", 128), (1, 7): NATURAL,
    (2, 2): NATURAL,
    (2, 3, 1, 1): POSITIVE, (2, 3, 1, 3): ("size", 255), (2, 3, 1, 4): POSITIVE,
    (2, 3, 1, 5): NATURAL, (2, 3, 1, 6): NATURAL,
    (3, 2, 1, 1): POSITIVE, (3, 2, 1, 3): ("size", 64), (3, 2, 1, 5): ("enum", 1, 2, 3, 4, 5),
    (3, 3, 1, 2): ("range", 0, 100), (3, 4, 1, 1): NATURAL, (3, 5, 1, 1): ("enum", 1, 2, 3, 4, 5),
    (3, 6, 1, 1): ("enum", 1, 2), (3, 6, 1, 2): ("enum", 1, 2, 3, 4, 5, 6, 7, 8),
    (3, 6, 1, 3): ("enum", 1, 2), (3, 6, 1, 4): NATURAL,
    (3, 7, 1, 1): POSITIVE, (3, 7, 1, 2): ("size", 128), (3, 7, 1, 4): NATURAL, (3, 7, 1, 5): NATURAL,
    (3, 8, 1, 1): POSITIVE, (3, 8, 1, 2): ("size", 128), (3, 8, 1, 3): ("size", 128),
    (3, 8, 1, 5): ("enum", 1, 2), (3, 8, 1, 6): ("enum", 1, 2), (3, 8, 1, 7): NATURAL,
    (3, 8, 1, 8): ("date",), (3, 8, 1, 9): ("date",),
    (4, 1): POSITIVE, (4, 2, 1, 1): POSITIVE, (4, 2, 1, 2): ("size", 64), (4, 2, 1, 4): ("size", 128),
    (4, 2, 1, 5): ("size", 128), (4, 2, 1, 6): ("enum", 1, 2, 3, 4), (4, 2, 1, 7): ("enum", 1, 2, 3, 4),
    (5, 1, 1, 1): NATURAL, (5, 1, 1, 2): NATURAL,
    (6, 3, 1, 1): POSITIVE, (6, 3, 1, 2): ("size", 64), (6, 3, 1, 4): ("enum", 1, 2, 3, 4),
    (6, 3, 1, 5): ("date",),
}
NAMES = {
    (1, 3): "hrSystemInitialLoadDevice", (1, 4): "hrSystemInitialLoadParameters",
    (3, 3, 1, 1): "hrProcessorFrwID", (4, 1): "hrSWOSIndex", (4, 2, 1, 4): "hrSWRunPath",
    (4, 2, 1, 5): "hrSWRunParameters", (4, 2, 1, 2): "hrSWRunName", (6, 3, 1, 2): "hrSWInstalledName",
    (3, 2, 1, 3): "hrDeviceDescr", (3, 3, 1, 2): "hrProcessorLoad",
}


def syntax_faults(values):
    """["object: value"] for the values outside their object's SYNTAX."""
    faults = {}
    for key, value in sorted(values.items()):
        rest = key[len(HOST):]
        if key[:len(HOST)] != HOST:
            continue
        for length in (4, 2):
            rule = SYNTAX.get(rest[:length])
            if rule is not None and len(rest) > length:
                break
        else:
            continue
        name = NAMES.get(rest[:length], "25." + ".".join(map(str, rest[:length])))
        kind = rule[0]
        if kind == "size":
            ok = isinstance(value, bytes) and len(value) <= rule[1]
        elif kind == "range":
            ok = isinstance(value, int) and rule[1] <= value <= rule[2]
        elif kind == "enum":
            ok = value in rule[1:]
        else:
            ok = isinstance(value, bytes) and len(value) in (8, 11)
        if not ok:
            faults.setdefault(name, []).append(show(value))
    return ["%s %s (%d)" % (name, bad[0], len(bad)) for name, bad in faults.items()]


def ref_keys_kind(keys, index):
    for (key, _), i in keys.items():
        if i == index:
            return key[0]
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("reference_port", type=int)
    parser.add_argument("ours_port", type=int)
    parser.add_argument("--names", nargs=2, default=("snmpd", "ours"))
    parser.add_argument("--settle", type=float, default=16)
    args = parser.parse_args()

    early = processes()
    time.sleep(args.settle)
    before = processes()
    ref, ref_time = walk(args.reference_port)
    ours, our_time = walk(args.ours_port)
    after = processes()
    # pid -> (whether its name stayed the same, whether its state did), for
    # the processes that lived through both walks.
    lived = {pid: (after[pid][1] == seen[1], after[pid][2] == seen[2]) for pid, seen in before.items()
             if pid in after and after[pid][0] == seen[0] and early.get(pid, (None,))[0] == seen[0]}
    churn = len(set(before) ^ set(after))
    report = Report(args.names)
    print("walks: %s %d bindings in %.2f s, %s %d bindings in %.2f s; %d processes lived from "
          "%.0f s before the walks to their end, %d started or ended" % (
              args.names[0], len(ref), ref_time, args.names[1], len(ours), our_time, len(lived),
              args.settle, churn))
    print()
    compare(ref, ours, ref_time + our_time, churn, lived, report, os.cpu_count() or 1)
    for name, values in zip(args.names, (ref, ours)):
        faults = syntax_faults(values)
        report.check(not faults or name == args.names[0],
                     "every value of %s within its object's SYNTAX%s" % (
                         name, "; outside: " + "; ".join(faults) if faults else ""))
    report.print()
    return 1 if report.failed() else 0


if __name__ == "__main__":
    sys.exit(main())
