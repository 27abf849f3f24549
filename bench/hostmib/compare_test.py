#!/usr/bin/env python3
"""Checks of compare.py's reading of net-snmp output and of its verdicts,
on made-up walks: identical walks pass; a file system of other size, a
missing package, a renamed long-lived process, a load over 100 and values
outside their SYNTAX fail."""

import contextlib
import io
import os
import re
import sys
import unittest

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402

WALK = """\
.1.3.6.1.2.1.25.1.1.0 = 1085436
.1.3.6.1.2.1.25.1.2.0 = Hex-STRING: 07 EA 0C 07 10 2F 24 00 2B 00 00
.1.3.6.1.2.1.25.1.5.0 = Gauge32: 2
.1.3.6.1.2.1.25.1.6.0 = Gauge32: 86
.1.3.6.1.2.1.25.2.2.0 = INTEGER: 24683748
.1.3.6.1.2.1.25.2.3.1.2.1 = OID: .1.3.6.1.2.1.25.2.1.2
.1.3.6.1.2.1.25.2.3.1.2.36 = OID: .1.3.6.1.2.1.25.2.1.4
.1.3.6.1.2.1.25.2.3.1.3.1 = Hex-STRING: 50 68 79 73 69 63 61 6C 20 6D 65 6D 6F 72 79 20
6D 65 6D
.1.3.6.1.2.1.25.2.3.1.3.36 = Hex-STRING: 2F
.1.3.6.1.2.1.25.2.3.1.4.1 = INTEGER: 1024
.1.3.6.1.2.1.25.2.3.1.4.36 = INTEGER: 4096
.1.3.6.1.2.1.25.2.3.1.5.1 = INTEGER: 24683748
.1.3.6.1.2.1.25.2.3.1.5.36 = INTEGER: 66053021
.1.3.6.1.2.1.25.3.2.1.2.196608 = OID: .1.3.6.1.2.1.25.3.1.3
.1.3.6.1.2.1.25.3.2.1.3.196608 = STRING: "AuthenticAMD: AMD EPYC"
.1.3.6.1.2.1.25.3.3.1.2.196608 = INTEGER: 42
.1.3.6.1.2.1.25.3.8.1.2.6 = Hex-STRING: 2F
.1.3.6.1.2.1.25.3.8.1.3.6 = ""
.1.3.6.1.2.1.25.3.8.1.7.6 = INTEGER: 36
.1.3.6.1.2.1.25.4.2.1.2.1 = STRING: "init"
.1.3.6.1.2.1.25.4.2.1.2.77 = STRING: "kworker/0:0-events"
.1.3.6.1.2.1.25.6.3.1.2.1 = STRING: "adduser_3.134_all"
.1.3.6.1.2.1.25.6.3.1.2.2 = STRING: "zlib1g_1:1.2.13_amd64"
.1.3.6.1.2.1.25.6.3.1.5.1 = Hex-STRING: 07 E9 05 14 00 00 00 00 2B 00 00
No more variables left in this MIB View (It is past the end of the MIB tree)
"""


def verdicts(ref_text, our_text, lived=None):
    report = compare.Report(("snmpd", "ours"))
    lived = {1: (True, True), 77: (True, True)} if lived is None else lived
    compare.compare(compare.parse_walk(ref_text), compare.parse_walk(our_text), 1.0, 0, lived, report, 2)
    with contextlib.redirect_stdout(io.StringIO()):
        report.print()
    return {re.split(r" \(|; ", text)[0]: ok for ok, text in report.checks}, report


class CompareTest(unittest.TestCase):
    def test_reads_net_snmp_output(self):
        values = compare.parse_walk(WALK)
        self.assertEqual(values[(1, 3, 6, 1, 2, 1, 25, 2, 3, 1, 3, 1)], b"Physical memory mem")
        self.assertEqual(values[(1, 3, 6, 1, 2, 1, 25, 3, 8, 1, 3, 6)], b"")
        self.assertEqual(values[(1, 3, 6, 1, 2, 1, 25, 2, 3, 1, 2, 36)], (1, 3, 6, 1, 2, 1, 25, 2, 1, 4))
        self.assertEqual(values[(1, 3, 6, 1, 2, 1, 25, 1, 1, 0)], 1085436)
        self.assertEqual(compare.date_seconds(values[(1, 3, 6, 1, 2, 1, 25, 1, 2, 0)]),
                         compare.date_seconds(bytes.fromhex("07EA0C07112F24002B0100")))
        self.assertEqual(len(values), 24)

    def test_identical_walks_pass_and_faults_fail(self):
        checks, report = verdicts(WALK, WALK)
        self.assertFalse(report.failed(), checks)
        self.assertTrue(all(not differences for *_, differences in report.lines), report.lines)

        # Other names, indexes and forms for the same things still match.
        ours = (WALK.replace("adduser_3.134_all", "Software-all: adduser, v3.134")
                .replace("25.3.8.1.7.6 = INTEGER: 36", "25.3.8.1.7.6 = INTEGER: 9")
                .replace(".36 =", ".9 =").replace("kworker/0:0-events", "kworker/0:0-mm_percpu_wq"))
        checks, report = verdicts(WALK, ours)
        self.assertFalse(report.failed(), checks)

        faults = [
            ("25.2.3.1.5.36 = INTEGER: 66053021", "25.2.3.1.5.36 = INTEGER: 66053020",
             "every file system storage row of snmpd in ours with equal bytes"),
            ('"zlib1g_1:1.2.13_amd64"', '"zlib_1.2.13"', "every package snmpd lists is in ours"),
            ('"init"', '"systemd"', "the 2 processes that lived through both walks are in ours with snmpd's names"),
            ("25.3.3.1.2.196608 = INTEGER: 42", "25.3.3.1.2.196608 = INTEGER: 101",
             "hrProcessorLoad in 0..100 for every processor of ours"),
            ("25.2.2.0 = INTEGER: 24683748", "25.2.2.0 = INTEGER: 24683740", "hrMemorySize equal"),
            ("25.1.5.0 = Gauge32: 2", "25.1.5.0 = Gauge32: 1", "hrSystemNumUsers equal"),
        ]
        for before, after, check in faults:
            with self.subTest(check=check):
                checks, _ = verdicts(WALK, WALK.replace(before, after))
                self.assertIn(check, checks)
                self.assertFalse(checks[check])

        # Values outside their object's SYNTAX.
        self.assertEqual(compare.syntax_faults(compare.parse_walk(WALK)), [])
        bad = WALK + (".1.3.6.1.2.1.25.4.1.0 = INTEGER: 0\n"
                      ".1.3.6.1.2.1.25.4.2.1.2.1 = STRING: \"%s\"\n" % ("x" * 65))
        self.assertEqual(compare.syntax_faults(compare.parse_walk(bad)),
                         ["hrSWOSIndex 0 (1)", "hrSWRunName '%s...' (1)" % ("x" * 25)])

        # A process that did not live through both walks may be missing.
        checks, _ = verdicts(WALK, WALK.replace('.1.3.6.1.2.1.25.4.2.1.2.1 = STRING: "init"\n', ""),
                             lived={77: (True, True)})
        self.assertTrue(checks["the 1 processes that lived through both walks are in ours with snmpd's names"])


if __name__ == "__main__":
    unittest.main()
