#!/usr/bin/env python3
"""Injects each fault of faults.txt into a copy of the tree, rebuilds the suite and records
which tests turn red: a fault that no test catches is a hole in the suite.

  scripts/faults/replay.py                      every fault, the whole suite
  scripts/faults/replay.py --only R01,K06       some faults
  scripts/faults/replay.py --record out.tsv     also writes "ID<TAB>test,test" lines
  scripts/faults/replay.py --expect out.tsv     fails if a fault caught there is caught by none now
  scripts/faults/replay.py --sanitize thread    the same under ThreadSanitizer
  scripts/faults/replay.py --jobs 3             three faults at a time, each in its own copy

Works in build-faults/, or $ORV_FAULTS_DIR (copies of the tree and their build directories);
the tree itself is never touched. The suite must be green before any fault goes in. A test counts as catching a
fault only if it fails again when run alone, so a test that flakes under load does not.
"""

import argparse
import filecmp
import json
import os
import re
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WORK = Path(os.environ.get("ORV_FAULTS_DIR", ROOT / "build-faults"))


class Fault:
    def __init__(self, ident, title):
        self.ident, self.title, self.file, self.edits = ident, title, None, []


def parse(path):
    faults, fault, old, new = [], None, [], []

    def flush():
        if fault is not None and (old or new):
            fault.edits.append(("\n".join(old) + "\n", "\n".join(new) + "\n" if new else ""))
        old.clear()
        new.clear()

    for line in path.read_text().splitlines():
        if line.startswith("## "):
            flush()
            ident, _, title = line[3:].partition(" ")
            fault = Fault(ident, title)
            faults.append(fault)
        elif line.startswith("file: "):
            fault.file = line[6:].strip()
        elif line.startswith("-"):
            if new:
                flush()
            old.append(line[1:])
        elif line.startswith("+"):
            if line[1:]:
                new.append(line[1:])
    flush()
    return faults


def sync_tree(copy):
    """Copies the tree's files into copy, leaving unchanged ones alone so builds stay incremental."""
    listed = subprocess.run(
        ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
        cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
    for name in filter(None, listed):
        src, dst = ROOT / name, copy / name
        if not src.is_file():
            continue
        if dst.exists() and filecmp.cmp(src, dst, shallow=False):
            continue
        dst.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(src, dst)  # a new mtime, so that make rebuilds what changed


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def preset(args):
    """The CMake preset of the variant: its build options, and its tests' environment."""
    return {"address": "asan", "thread": "tsan"}.get(args.sanitize, "tests")


def preset_dir(src, args):
    """The preset's build directory, in the copy: ctest --preset only looks there."""
    presets = {p["name"]: p for p in json.loads((ROOT / "CMakePresets.json").read_text())[
        "configurePresets"]}
    p = presets[preset(args)]
    while "binaryDir" not in p:
        p = presets[p["inherits"]]
    return Path(p["binaryDir"].replace("${sourceDir}", str(src)))


def build(src, build_dir, args):
    out = run(["cmake", "--preset", preset(args)], cwd=src)
    if out.returncode == 0:
        out = run(["cmake", "--build", str(build_dir), "--parallel", str(os.cpu_count())])
    return out


def red_tests(src, build_dir, args, only=None):
    # No test found is an error: it would credit no test with anything, silently.
    cmd = ["ctest", "--preset", preset(args), "--timeout", str(args.timeout), "--no-tests=error"]
    if only:
        cmd += ["-R", "^(" + "|".join(map(re.escape, only)) + ")$"]
    else:
        cmd += ["--parallel", str(os.cpu_count())]
        if args.tests:
            cmd += ["-R", args.tests]
    failed_log = build_dir / "Testing" / "Temporary" / "LastTestsFailed.log"
    failed_log.unlink(missing_ok=True)
    out = run(cmd, cwd=src)
    if out.returncode != 0 and not failed_log.exists():
        raise RuntimeError(out.stdout[-4000:] + "\nreplay.py: ctest failed without running the tests")
    if not failed_log.exists():
        return []
    return sorted(line.split(":", 1)[1] for line in failed_log.read_text().split() if ":" in line)


def try_fault(fault, src, build_dir, args):
    """The tests that the fault turns red, ["(does not build)"], or None if it is stale."""
    target = src / fault.file
    original = target.read_text()
    text = original
    for old, new in fault.edits:
        if old not in text:
            return None
        text = text.replace(old, new, 1)
    try:
        target.write_text(text)
        if build(src, build_dir, args).returncode != 0:
            return ["(does not build)"]
        red = red_tests(src, build_dir, args)
        # Alone and once more: what fails again is the fault's doing, not the load's.
        return red_tests(src, build_dir, args, only=red) if red else []
    finally:
        target.write_text(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", help="comma-separated fault IDs")
    parser.add_argument("--tests", help="ctest -R regex: run only these tests")
    parser.add_argument("--sanitize", choices=["address", "thread"])
    parser.add_argument("--timeout", type=int, default=300, help="seconds per test (default 300)")
    parser.add_argument("--jobs", type=int, default=1, help="faults tried at once (default 1)")
    parser.add_argument("--faults", type=Path, default=Path(__file__).with_name("faults.txt"))
    parser.add_argument("--record", type=Path, help="write ID<TAB>tests lines here")
    parser.add_argument("--expect", type=Path, help="an earlier record that must still hold")
    args = parser.parse_args()

    faults = parse(args.faults)
    if args.only:
        wanted = set(args.only.split(","))
        faults = [f for f in faults if f.ident in wanted]
    slots = [(WORK / f"src-{n}", preset_dir(WORK / f"src-{n}", args)) for n in range(args.jobs)]
    for src, build_dir in slots:
        src.mkdir(parents=True, exist_ok=True)
        sync_tree(src)
        out = build(src, build_dir, args)
        if out.returncode != 0:
            sys.exit(out.stdout[-4000:] + "\nreplay.py: the tree itself does not build")
    red = red_tests(*slots[0], args)
    if red:
        sys.exit(f"replay.py: the suite is red before any fault: {', '.join(red)}")

    results, started, lock = {}, time.monotonic(), threading.Lock()
    queue = list(faults)

    def worker(src, build_dir):
        while True:
            with lock:
                if not queue:
                    return
                fault = queue.pop(0)
            caught = try_fault(fault, src, build_dir, args)
            with lock:
                results[fault.ident] = caught
                if caught is None:
                    print(f"{fault.ident}  STALE: its text is no longer in {fault.file}", flush=True)
                else:
                    print(f"{fault.ident}  {fault.title}: {', '.join(caught) or 'NOT CAUGHT'}",
                          flush=True)

    threads = [threading.Thread(target=worker, args=slot) for slot in slots]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    results = {f.ident: results[f.ident] for f in faults}

    missed = [i for i, c in results.items() if c == []]
    stale = [i for i, c in results.items() if c is None]
    print(f"\n{len(results)} faults in {time.monotonic() - started:.0f} s: "
          f"{len(results) - len(missed) - len(stale)} caught, {len(missed)} not caught"
          + (f" ({', '.join(missed)})" if missed else "")
          + (f", {len(stale)} stale ({', '.join(stale)})" if stale else ""))

    if args.record:
        args.record.write_text("".join(f"{i}\t{','.join(c or [])}\n" for i, c in results.items()
                                       if c is not None))
    status = 0
    if args.expect:
        for line in args.expect.read_text().splitlines():
            ident, _, before = line.partition("\t")
            if before and results.get(ident) == []:
                print(f"LOST: {ident} was caught by {before}, now by no test")
                status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())
