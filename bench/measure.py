#!/usr/bin/env python3
"""Runs mervik, the floor and the peer on the prepared inputs and prints one results table.

The floor redraws mervik's own listing: before measuring, mervik runs once on each input
(untimed) and extract_lines turns its PDF into the floor's lines file, kept beside the input
until the mervik binary, its resource file, the extractor or the input changes.
Every contender runs on the same files in the same run, round robin, after one untimed read of
the files (warm page cache). Wall time is taken around the process; peak memory is the largest
resident set of the process and every process it waited for (wait4's rusage). The table goes to
standard output and to the results file; progress goes to standard error. Exit status: 0, or 1
when a contender failed or its output was wrong (and with --strict, when a target was missed).
"""

import argparse
import datetime
import hashlib
import json
import os
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CONTENDERS = ["mervik", "baseline", "floor", "peer"]
PEER_MAX_RUNS = 3  # the peer is 25 to 80 times slower: fewer runs of it keep the run short
PEER_COMMAND = ('set -o pipefail; enscript -q -C -M A4 -f Courier8.4546 -p - "$@" '
                '| ps2pdf - peer.pdf')
FLOOR_LINES = "floor-lines.bin"  # the floor's input, beside each input's files


def log(msg):
    print(msg, file=sys.stderr, flush=True)


class Input:
    def __init__(self, work, name):
        self.name = name
        self.dir = os.path.join(work, name)
        with open(os.path.join(self.dir, "files.txt")) as f:
            self.files = f.read().split()
        with open(os.path.join(self.dir, "meta.json")) as f:
            self.meta = json.load(f)
        self.lines = self.meta["lines"]
        self.floor_pages = self.floor_lines = None  # of the lines file, once prepared

    def warm(self):
        for f in self.files:
            with open(os.path.join(self.dir, f), "rb") as fh:
                while fh.read(1 << 20):
                    pass


class Contender:
    """How to run one contender on an input, where its PDF lands and how to check its run."""

    def __init__(self, name, args, work):
        self.name = name
        self.args = args
        self.work = work

    def command(self, inp):
        if self.name in ("mervik", "baseline"):
            # setsid: no controlling terminal, so the console goes to standard error and the
            # final key wait returns at once.
            binary = self.args.mervik if self.name == "mervik" else self.args.baseline
            return ["setsid", "-w", binary] + inp.files
        if self.name == "floor":
            return [self.args.floor, "floor.pdf", FLOOR_LINES]
        return ["bash", "-c", PEER_COMMAND, "peer"] + inp.files

    def output(self, inp):
        pdf = {"mervik": "listing.pdf", "baseline": "listing.pdf", "floor": "floor.pdf",
               "peer": "peer.pdf"}[self.name]
        return os.path.join(inp.dir, pdf)

    def check(self, inp, out_text, err_text):
        """The reason the run's result is wrong, or None."""
        pdf = self.output(inp)
        if not os.path.exists(pdf) or os.path.getsize(pdf) < 100:
            return "no PDF written"
        with open(pdf, "rb") as f:
            head = f.read(5)
            f.seek(-min(1024, os.path.getsize(pdf)), os.SEEK_END)
            tail = f.read()
        if head != b"%PDF-" or b"%%EOF" not in tail:
            return "output is not a complete PDF"
        if self.name in ("mervik", "baseline"):
            m = re.search(r"Total lines: (\d+)", err_text)
            if not m or int(m.group(1)) != inp.lines:
                return "mervik reported %s lines, expected %d" % (m and m.group(1), inp.lines)
        if self.name == "floor":
            m = re.search(r"floor: (\d+) lines, (\d+) pages", out_text)
            got = (int(m.group(1)), int(m.group(2))) if m else None
            if got != (inp.floor_lines, inp.floor_pages):
                return ("floor wrote %s lines and pages, expected mervik's %d lines on %d pages"
                        % (got, inp.floor_lines, inp.floor_pages))
        return None

    def check_text(self, inp):
        """Untimed, once per input: the floor's PDF against the lines file, or None."""
        r = subprocess.run([self.args.extract, "--check", os.path.abspath(self.output(inp)),
                            FLOOR_LINES],
                           cwd=inp.dir, capture_output=True, text=True, errors="replace")
        if r.returncode != 0:
            return "its PDF differs from mervik's: " + (r.stderr.strip() or "extract_lines failed")
        return None


def run_once(cmd, cwd, env, log_base, timeout):
    """Runs cmd; returns (wall seconds, cpu seconds, peak KiB, exit code, stdout, stderr)."""
    with open(log_base + ".out", "wb") as out, open(log_base + ".err", "wb") as err:
        start = time.perf_counter()
        p = subprocess.Popen(cmd, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                             stderr=err, start_new_session=(cmd[0] != "setsid"))

        def kill():
            for how in (lambda: os.killpg(p.pid, signal.SIGKILL), p.kill):
                try:
                    how()
                except OSError:
                    pass
        timer = threading.Timer(timeout, kill)
        timer.start()
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - start
        timer.cancel()
        p.returncode = os.waitstatus_to_exitcode(status)
    with open(log_base + ".out", errors="replace") as f:
        out_text = f.read()
    with open(log_base + ".err", errors="replace") as f:
        err_text = f.read()
    return (wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, p.returncode, out_text,
            err_text)


def quiet_environment(work):
    """The contenders' environment: a no-op xdg-open first in PATH, the C locale."""
    fakebin = os.path.join(work, "fakebin")
    os.makedirs(fakebin, exist_ok=True)
    with open(os.path.join(fakebin, "xdg-open"), "w") as f:
        f.write("#!/bin/sh\n# The benchmark opens no viewer.\nexit 0\n")
    os.chmod(os.path.join(fakebin, "xdg-open"), 0o755)
    return dict(os.environ, PATH=fakebin + os.pathsep + os.environ.get("PATH", ""), LC_ALL="C")


def file_digest(path, algorithm="sha256"):
    h = hashlib.new(algorithm)
    if os.path.exists(path):
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                h.update(block)
    return h.hexdigest()


def prepare_floor(args, inp, env):
    """Makes the floor's lines file from mervik's listing of the input, unless the one there
    was made by the same mervik, resource file, extractor and input. False on failure."""
    key = {"mervik": file_digest(args.mervik),
           "rsc": file_digest(os.path.join(os.path.dirname(args.mervik), "mervik.rsc")),
           "extract": file_digest(args.extract),
           "input": open(os.path.join(inp.dir, ".stamp")).read()}
    stamp = os.path.join(inp.dir, FLOOR_LINES + ".json")
    lines_path = os.path.join(inp.dir, FLOOR_LINES)
    if os.path.exists(stamp) and os.path.exists(lines_path):
        with open(stamp) as f:
            known = json.load(f)
        if known.get("key") == key:
            inp.floor_pages, inp.floor_lines = known["pages"], known["lines"]
            return True
    log("bench: preparing the floor's lines for %s (mervik once, then extract_lines) ..."
        % inp.name)
    mervik = Contender("mervik", args, args.work)
    base = os.path.join(args.work, "logs", inp.name + "-prepare")
    code, out, err = run_once(mervik.command(inp), inp.dir, env, base, args.timeout)[3:]
    problem = ("exit status %d" % code) if code else mervik.check(inp, out, err)
    if not problem:
        r = subprocess.run([args.extract, os.path.abspath(mervik.output(inp)), FLOOR_LINES],
                           cwd=inp.dir,
                           capture_output=True, text=True, errors="replace")
        m = re.match(r"(\d+) pages, (\d+) lines", r.stdout)
        problem = None if r.returncode == 0 and m else (r.stderr.strip() or "extract_lines failed")
    if problem:
        log("bench: cannot prepare the floor on %s: %s" % (inp.name, problem))
        return False
    inp.floor_pages, inp.floor_lines = int(m.group(1)), int(m.group(2))
    with open(stamp, "w") as f:
        json.dump({"key": key, "pages": inp.floor_pages, "lines": inp.floor_lines}, f)
    return True


def pdf_pages(path):
    if not shutil.which("pdfinfo"):
        return None
    try:
        r = subprocess.run(["pdfinfo", path], capture_output=True, text=True, timeout=120)
    except (OSError, subprocess.SubprocessError):
        return None
    m = re.search(r"^Pages:\s+(\d+)", r.stdout, re.M)
    return int(m.group(1)) if m else None


class Result:
    def __init__(self, inp, contender):
        self.input = inp
        self.contender = contender
        self.walls, self.cpus, self.peaks = [], [], []
        self.failure = None
        self.pages = None
        self.md5 = None  # of the PDF of the first good run

    @property
    def ok(self):
        return self.failure is None and bool(self.walls)

    def median(self):
        return statistics.median(self.walls)

    def cpu(self):
        return statistics.median(self.cpus)

    def peak_mib(self):
        return max(self.peaks) / 1024.0


def planned_runs(args, inp, contender):
    if contender == "baseline":
        return args.baseline_runs
    if contender == "peer":
        return args.peer_runs if args.peer_runs is not None else min(args.runs, PEER_MAX_RUNS)
    return args.runs


def measure(args, inputs, contenders, env):
    results = {}
    logs = os.path.join(args.work, "logs")
    os.makedirs(logs, exist_ok=True)
    for inp in inputs:
        for c in contenders:
            results[(inp.name, c.name)] = Result(inp, c)
        if any(c.name == "floor" for c in contenders) and not prepare_floor(args, inp, env):
            results[(inp.name, "floor")].failure = "its lines file could not be prepared"
        inp.warm()
        plan = {c.name: planned_runs(args, inp, c.name) for c in contenders}
        for i in range(max(plan.values())):
            for c in contenders:
                res = results[(inp.name, c.name)]
                if i >= plan[c.name] or res.failure:
                    continue
                pdf = c.output(inp)
                if os.path.exists(pdf):
                    os.remove(pdf)
                wall, cpu, peak, code, out, err = run_once(
                    c.command(inp), inp.dir, env, os.path.join(logs, inp.name + "-" + c.name),
                    args.timeout)
                problem = ("exit status %d" % code) if code != 0 else c.check(inp, out, err)
                if not problem and c.name == "floor" and not res.walls:
                    problem = c.check_text(inp)
                if problem:
                    res.failure = problem
                    log("bench: %s on %s FAILED: %s (see %s/%s-%s.err)"
                        % (c.name, inp.name, problem, logs, inp.name, c.name))
                    continue
                res.walls.append(wall)
                res.cpus.append(cpu)
                res.peaks.append(peak)
                if res.md5 is None:
                    res.md5 = file_digest(pdf, "md5")
                log("bench: %s on %s, run %d/%d: %.3f s, %.1f MiB"
                    % (c.name, inp.name, i + 1, plan[c.name], wall, peak / 1024.0))
        for c in contenders:
            res = results[(inp.name, c.name)]
            if res.ok and not args.quick:
                res.pages = pdf_pages(c.output(inp))
    return results


# ---------------------------------------------------------------- report

def fmt(x, digits=2):
    return "-" if x is None else ("%.*f" % (digits, x))


def ratio(a, b):
    return a / b if a is not None and b else None


def table(results, inputs, contenders):
    rows = ["| input | lines | files | contender | runs | median s | cpu s | lines/s | "
            "peak MiB | pages | time ÷ floor | time ÷ mervik | memory ÷ floor |",
            "|---|--:|--:|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|"]
    for inp in inputs:
        floor = results.get((inp.name, "floor"))
        merv = results.get((inp.name, "mervik"))
        ft = floor.median() if floor and floor.ok else None
        fm = floor.peak_mib() if floor and floor.ok else None
        mt = merv.median() if merv and merv.ok else None
        for c in contenders:
            r = results[(inp.name, c.name)]
            head = "| {} | {:,} | {:,} | {} | ".format(inp.name, inp.lines, len(inp.files),
                                                       c.name)
            if not r.ok:
                rows.append(head + "FAILED: %s | | | | | | | | |" % (r.failure or "not run"))
                continue
            t = r.median()
            rows.append(head + "%d | %.3f | %.3f | %s | %.1f | %s | %s | %s | %s |" % (
                len(r.walls), t, r.cpu(), "{:,}".format(round(inp.lines / t)), r.peak_mib(),
                r.pages if r.pages is not None else "-", fmt(ratio(t, ft)), fmt(ratio(t, mt)),
                fmt(ratio(r.peak_mib(), fm))))
    return rows


def output_table(results, inputs):
    """mervik's PDF per input by md5, and whether the baseline binary's is the same."""
    rows = ["| input | mervik's PDF (md5) | baseline's PDF (md5) | same |", "|---|---|---|---|"]
    for inp in inputs:
        m, b = results.get((inp.name, "mervik")), results.get((inp.name, "baseline"))
        mine = m.md5 if m and m.ok else None
        theirs = b.md5 if b and b.ok else None
        same = "-" if not (mine and theirs) else ("same" if mine == theirs else "**DIFFERENT**")
        rows.append("| %s | %s | %s | %s |" % (inp.name, mine or "-", theirs or "-", same))
    return rows


def targets(results):
    """Each target: (what, figure text, met: True/False/None when not measured)."""
    def get(inp, c):
        r = results.get((inp, c))
        return r if r and r.ok else None

    def per_line(inp):
        r = get(inp, "mervik")
        return r.median() / r.input.lines if r else None

    out = []
    for inp in "AB":
        m, f = get(inp, "mervik"), get(inp, "floor")
        x = ratio(m.median(), f.median()) if m and f else None
        out.append(("mervik's time on %s within 1.5x the floor's" % inp,
                    "%s x" % fmt(x) if x else "-", None if x is None else x <= 1.5))
    m, p = get("B", "mervik"), get("B", "peer")
    x = ratio(p.median(), m.median()) if m and p else None
    out.append(("mervik on B at least 5x faster than the peer",
                "%s x faster" % fmt(x, 1) if x else "-",
                None if x is None else x >= 5))
    for inp, base, limit in (("B", "A", 1.2), ("C", "B", 2.0)):
        a, b = per_line(inp), per_line(base)
        x = ratio(a, b)
        fig = ("%s x (%.3f vs %.3f µs/line)" % (fmt(x), a * 1e6, b * 1e6)) if x else "-"
        out.append(("mervik's time per line on %s at most %.1fx that on %s" % (inp, limit, base),
                    fig, None if x is None else x <= limit))
    for inp in "BCE":
        m, f = get(inp, "mervik"), get(inp, "floor")
        x = ratio(m.peak_mib(), f.peak_mib()) if m and f else None
        fig = ("%.2f x (%.1f vs %.1f MiB)" % (x, m.peak_mib(), f.peak_mib())) if x else "-"
        out.append(("mervik's peak memory on %s within 1.5x the floor's" % inp, fig,
                    None if x is None else x <= 1.5))
    # Many names (E) and many pages (F).
    for inp, limit in (("B", 1.10), ("E", 1.3)):
        m, f = get(inp, "mervik"), get(inp, "floor")
        x = ratio(m.median(), f.median()) if m and f else None
        out.append(("mervik's time on %s within %.2fx the floor's" % (inp, limit),
                    "%s x" % fmt(x) if x else "-", None if x is None else x <= limit))
    for inp, limit in (("E", 1.5), ("F", 1.1)):
        a, b = per_line(inp), per_line("B")
        x = ratio(a, b)
        fig = ("%s x (%.3f vs %.3f µs/line)" % (fmt(x), a * 1e6, b * 1e6)) if x else "-"
        out.append(("mervik's time per line on %s at most %.1fx that on B" % (inp, limit),
                    fig, None if x is None else x <= limit))
    return out


def git_revision():
    try:
        rev = subprocess.run(["git", "-C", HERE, "rev-parse", "--short", "HEAD"],
                             capture_output=True, text=True, timeout=10).stdout.strip()
        dirty = subprocess.run(["git", "-C", HERE, "status", "--porcelain", "--", "../src"],
                               capture_output=True, text=True, timeout=10).stdout.strip()
        return rev + (" with uncommitted changes in src/" if dirty else "")
    except (OSError, subprocess.SubprocessError):
        return "unknown"


def machine():
    cpu = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            m = re.search(r"^model name\s*:\s*(.*)$", f.read(), re.M)
            cpu = m.group(1) if m else cpu
    except OSError:
        pass
    mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    return "%s, %d cores, %.0f GiB, %s" % (cpu, os.cpu_count(), mem, platform.platform())


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return f.read().split()[0]
    except OSError:
        return "0"


def report(args, results, inputs, contenders):
    peer = args.peer_runs if args.peer_runs is not None else min(args.runs, PEER_MAX_RUNS)
    runs = "%d runs each (the peer %d)" % (args.runs, peer)
    lines = ["# mervik benchmark results", "",
             "Generated by `bench/run.sh%s` on %s." % (" --quick" if args.quick else "",
                                                       datetime.date.today().isoformat()),
             "Machine: %s; load average at the start %s. mervik: %s, built Release. %s; "
             "median wall time reported."
             % (machine(), args.load_at_start, git_revision(),
                "Quick mode: one run each" if args.quick else runs),
             ""]
    lines += table(results, inputs, contenders)
    lines += ["", "time ÷ floor and memory ÷ floor: the row's median time (peak memory) over the "
              "floor's on the same input; time ÷ mervik: over mervik's. cpu s: median user + "
              "system time, children included (the peer runs two processes at once).", ""]
    lines += ["## Output", "", "Every PDF mervik wrote, by md5; with `--baseline` beside the one "
              "the baseline binary wrote from the same input."
              + (" Baseline: %s." % args.baseline_label if args.baseline else ""), ""]
    lines += output_table(results, inputs) + [""]
    if not args.quick:
        lines += ["## Targets", "", "| target | figure | result |", "|---|---|---|"]
        for what, fig, met in targets(results):
            verdict = "not measured" if met is None else ("met" if met else "**not met**")
            lines.append("| %s | %s | %s |" % (what, fig, verdict))
        lines.append("")
    lines += ["## Inputs", ""]
    for inp in inputs:
        lines.append("- %s: %s; %s lines, %d files, %.1f MiB." % (
            inp.name, inp.meta["description"], "{:,}".format(inp.lines), len(inp.files),
            inp.meta["bytes"] / 2**20))
    lines += ["", "## Contenders", "",
              "- mervik: `setsid -w mervik FILE...` with the classes of the shipped examples/mervik.rsc "
              "and the classic listing's options (`links off`, `outline files`, no emphasis: "
              "what the floor draws; bench/options.py weighs each option) beside "
              "the binary, no terminal, a no-op xdg-open first in PATH; writes listing.pdf.",
              "- floor: `floor floor.pdf floor-lines.bin`, bench/floor.cpp: mervik's own "
              "listing lines (taken from its PDF by bench/extract_lines.cpp, untimed) drawn on "
              "the same pages through libharu the same way (same header, rule, outline, fonts, "
              "sizes and positions, one ShowText per line, compression on), and nothing else. "
              "Its time includes reading the lines file.",
              "- baseline (with `--baseline PATH`): another mervik binary, run like mervik "
              "(the same resource file beside it), to show that its PDF is the same.",
              "- peer: `enscript -q -C -M A4 -f Courier8.4546 -p - FILE... | ps2pdf - peer.pdf` "
              "(one PDF for all files, line numbers on)."]
    return lines


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--work", default=os.path.join(HERE, "work"))
    ap.add_argument("--mervik", required=True, help="the mervik binary (its mervik.rsc beside)")
    ap.add_argument("--floor", required=True, help="the floor binary")
    ap.add_argument("--extract", default=None,
                    help="the extract_lines binary (default: beside the floor)")
    ap.add_argument("--inputs", default="ABCDEF")
    ap.add_argument("--baseline", default=None,
                    help="a mervik binary to compare with (its PDF md5 beside mervik's)")
    ap.add_argument("--baseline-runs", type=int, default=1)
    ap.add_argument("--contenders", default=",".join(CONTENDERS))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--peer-runs", type=int, default=None)
    ap.add_argument("--quick", action="store_true", help="input A, one run each, no targets")
    ap.add_argument("--results", default=None, help="where the table goes (markdown)")
    ap.add_argument("--timeout", type=float, default=900, help="seconds allowed for one run")
    ap.add_argument("--strict", action="store_true", help="exit 1 when a target is missed")
    args = ap.parse_args()
    if args.quick:
        args.inputs, args.runs, args.peer_runs, args.baseline_runs = "A", 1, 1, 1
    if args.results is None:
        args.results = (os.path.join(args.work, "results-quick.md") if args.quick
                        else os.path.join(HERE, "results.md"))
    args.mervik = os.path.abspath(args.mervik)
    args.baseline_label = args.baseline
    if args.baseline:
        # Run beside the same resource file, under the same name (the PDF's Creator).
        home = os.path.join(args.work, "baseline")
        os.makedirs(home, exist_ok=True)
        target = os.path.join(home, "mervik")
        if os.path.abspath(args.baseline) != target:
            shutil.copy2(args.baseline, target)
        rsc = os.path.join(os.path.dirname(args.mervik), "mervik.rsc")
        if os.path.exists(rsc):
            shutil.copy2(rsc, os.path.join(home, "mervik.rsc"))
        args.baseline = target
    args.floor = os.path.abspath(args.floor)
    args.extract = os.path.abspath(args.extract or
                                   os.path.join(os.path.dirname(args.floor), "extract_lines"))

    env = quiet_environment(args.work)

    args.load_at_start = load_average()
    if float(args.load_at_start) > 0.5:
        log("bench: warning: load average %s: other work is running, times will be noisy"
            % args.load_at_start)
    inputs = [Input(args.work, n) for n in "ABCDEF" if n in args.inputs.upper()]
    names = [n.strip() for n in args.contenders.split(",") if n.strip()]
    if args.baseline and "baseline" not in names:
        names.append("baseline")
    contenders = [Contender(n, args, args.work) for n in CONTENDERS if n in names
                  and (n != "baseline" or args.baseline)]
    results = measure(args, inputs, contenders, env)
    lines = report(args, results, inputs, contenders)
    text = "\n".join(lines) + "\n"
    print(text)
    with open(args.results, "w") as f:
        f.write(text)
    log("bench: table written to %s" % args.results)

    failed = [r for r in results.values() if not r.ok]
    if failed:
        return 1
    if args.strict and not args.quick and any(m is False for _, _, m in targets(results)):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
