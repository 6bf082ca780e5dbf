#!/usr/bin/env python3
"""Mutation testing: does the test suite notice a realistic mistake?

Each mutant in scripts/mutants.json replaces one piece of source text (it must
occur exactly once in its file) by a plausible mistake: a wrong sign, a dropped
factor, an off-by-one, swapped operands, a weakened comparison, a wrong
constant. The script copies the tracked sources to build/mutate/src, builds the
copy once (Debug, benchmarks and fuzzers off), checks that the unmodified suite
passes, then for each mutant applies it to the copy, rebuilds incrementally,
runs the suite (ctest: the C++ tests, the command-line tests and the Python
module's pytest suite; not the install check nor the exported names, which no
mutant changes) and restores the file. A mutant is killed when the suite fails
or a test times out, survives when it passes; a mutant that does not compile,
or whose file the build does not use, is reported apart.

    scripts/mutate.py                 every mutant
    scripts/mutate.py --only ID ...   the named mutants
    scripts/mutate.py --list          the mutants, without running anything
    scripts/mutate.py --json FILE     the results also as JSON

Exit status: 0 when every mutant was killed or is listed as known in the
mutants file ("survives": "equivalent ..." or "gap ..."), 1 otherwise.
"""

import argparse
import json
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
MUTANTS = ROOT / "scripts" / "mutants.json"


def run(command, cwd, timeout):
    """The exit code and output; on a timeout the whole process group is ended,
    so that no test of a hanging mutant keeps running."""
    with subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          start_new_session=True) as process:
        try:
            output, _ = process.communicate(timeout=timeout)
            return process.returncode, output.decode(errors="replace")
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            return -1, f"timed out after {timeout} s: {' '.join(command)}"


def copy_sources(source):
    """The tracked files (and the working tree's edits of them) into `source`."""
    files = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, stdout=subprocess.PIPE, check=True).stdout
    for name in filter(None, files.decode().split("\0")):
        origin = ROOT / name
        if not origin.is_file():
            continue
        target = source / name
        target.parent.mkdir(parents=True, exist_ok=True)
        if not target.exists() or target.read_bytes() != origin.read_bytes():
            shutil.copy2(origin, target)


def load_mutants():
    mutants = json.loads(MUTANTS.read_text())
    seen = set()
    for mutant in mutants:
        for key in ("id", "file", "find", "replace", "what"):
            if key not in mutant:
                sys.exit(f"{MUTANTS}: a mutant lacks '{key}': {mutant}")
        if mutant["id"] in seen:
            sys.exit(f"{MUTANTS}: mutant id '{mutant['id']}' given twice")
        seen.add(mutant["id"])
        if mutant["find"] == mutant["replace"]:
            sys.exit(f"{MUTANTS}: mutant '{mutant['id']}' changes nothing")
    return mutants


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--only", nargs="+", metavar="ID", help="run only these mutants")
    parser.add_argument("--list", action="store_true", help="list the mutants and stop")
    parser.add_argument("--work", type=Path, default=ROOT / "build" / "mutate", help="scratch folder")
    parser.add_argument("--timeout", type=int, default=900, help="seconds for one build or one test run")
    parser.add_argument("--test-timeout", type=int, default=300, help="seconds for one test of the suite")
    parser.add_argument("--json", type=Path, metavar="FILE", help="write the results to FILE as JSON")
    args = parser.parse_args()

    mutants = load_mutants()
    if args.only:
        unknown = set(args.only) - {m["id"] for m in mutants}
        if unknown:
            sys.exit(f"unknown mutant ids: {', '.join(sorted(unknown))}")
        mutants = [m for m in mutants if m["id"] in args.only]
    if args.list:
        for m in mutants:
            print(f"{m['id']:36} {m['file']}: {m['what']}")
        return 0

    source = args.work / "src"
    build = args.work / "build"
    source.mkdir(parents=True, exist_ok=True)
    copy_sources(source)
    for m in mutants:
        text = (source / m["file"]).read_text()
        if text.count(m["find"]) != 1:
            sys.exit(f"mutant {m['id']}: its text occurs {text.count(m['find'])} times in {m['file']}, not once")

    configure = ["cmake", "-S", str(source), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
                 "-DKEX_BUILD_BENCHMARKS=OFF", "-DKEX_BUILD_FUZZERS=OFF"]
    build_command = ["cmake", "--build", str(build), "-j2"]
    # Left out: the install check (slow, and no mutant changes what is installed)
    # and the check of the exported names (no mutant changes them; it can fail
    # at random under load, which would count as a kill).
    skipped = "^(install_consumer|exported_symbols)$"
    test_command = ["ctest", "--test-dir", str(build), "-j2", "--stop-on-failure", "--timeout",
                    str(args.test_timeout), "-E", skipped]
    base_started = time.monotonic()
    for step, command in (("configure", configure), ("build", build_command), ("test", test_command)):
        code, output = run(command, ROOT, args.timeout)
        if code != 0:
            print(output[-4000:])
            sys.exit(f"the unmodified sources fail to {step}; nothing was mutated")
    # Without pybind11 the Python tests would silently drop out of the suite.
    listed = run(["ctest", "--test-dir", str(build), "-N", "-E", skipped], ROOT, args.timeout)[1]
    for needed in ("python_module", "python_examples"):
        if f" {needed}\n" not in listed:
            sys.exit(f"the suite lacks the test {needed}; install pybind11-dev and python3-dev")
    suite_seconds = time.monotonic() - base_started
    print(f"unmodified sources built and tested in {suite_seconds / 60.0:.1f} min", flush=True)

    results = []
    started = time.monotonic()
    for m in mutants:
        path = source / m["file"]
        original = path.read_text()
        path.write_text(original.replace(m["find"], m["replace"]))
        mutant_started = time.monotonic()
        try:
            code, output = run(build_command, ROOT, args.timeout)
            if code != 0:
                verdict = "does not compile"
            elif "ninja: no work to do" in output:
                verdict = "not built"
            else:
                code, output = run(test_command, ROOT, args.timeout)
                verdict = "killed" if code != 0 else "SURVIVED"
        finally:
            path.write_text(original)
        seconds = time.monotonic() - mutant_started
        known = m.get("survives", "")
        results.append((m, verdict, seconds))
        note = f"  (known: {known})" if verdict == "SURVIVED" and known else ""
        print(f"{verdict:17} {m['id']:36} {seconds:5.0f} s  {m['what']}{note}", flush=True)

    killed = sum(1 for _, verdict, _ in results if verdict == "killed")
    survived = [m for m, verdict, _ in results if verdict == "SURVIVED"]
    broken = [m for m, verdict, _ in results if verdict in ("does not compile", "not built")]
    scored = killed + len(survived)
    minutes = (time.monotonic() - started) / 60.0
    print(f"\n{killed} of {scored} mutants killed ({100.0 * killed / max(scored, 1):.1f} %), "
          f"{len(broken)} did not compile or were not built, {minutes:.1f} min")
    if args.json:
        args.json.parent.mkdir(parents=True, exist_ok=True)
        args.json.write_text(json.dumps({
            "killed": killed, "scored": scored, "minutes": round(minutes, 1),
            "unmodifiedMinutes": round(suite_seconds / 60.0, 1),
            "mutants": [{"id": m["id"], "file": m["file"], "what": m["what"], "verdict": verdict,
                         "seconds": round(seconds, 1), "survives": m.get("survives", "")}
                        for m, verdict, seconds in results]}, indent=2) + "\n")
    unexplained = [m["id"] for m in survived if not m.get("survives")]
    stale = [m["id"] for m, verdict, _ in results if verdict == "killed" and m.get("survives")]
    if stale:
        print("killed now, but listed as surviving (drop their 'survives'): " + ", ".join(stale))
    if broken:
        print("mutants that do not compile or are not built (fix them in the mutants file): " +
              ", ".join(m["id"] for m in broken))
    if unexplained:
        print("surviving mutants without an explanation: " + ", ".join(unexplained))
    return 1 if unexplained or broken else 0


if __name__ == "__main__":
    sys.exit(main())
