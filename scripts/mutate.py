#!/usr/bin/env python3
"""Plants hand-written faults one at a time in a clean copy of the tree and reports which the tests catch.

    scripts/mutate.py [--copy DIR] [--only WORD] [--list] [FAULTS.txt ...]

The faults are listed in tests/mutants/*.txt (or the files given), one block per fault:

    ## what the fault does                     (a title line)
    file: src/watch/watchplan.cpp
    tests: tst_watch tst_overview              (test programs to rebuild and run; "prog:Func" runs one function)
    all: yes                                   (optional: replace every occurrence, e.g. a name in writer and reader)
    - the exact text, which must occur once    (one or more "- " lines)
    + what replaces it                         (zero or more "+ " lines)

A copy of HEAD is made once as a git worktree (default: beside the repository, "<name>-mutate") and
built there with ccache; each fault is planted, only its test programs are rebuilt and run, and the
file is put back. A fault whose tree does not build counts as neither caught nor missed.
Not part of ./test.sh: a tool for developers.
"""
import argparse
import glob
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def parse(paths):
    faults = []
    for path in paths:
        current = None
        for raw in open(path, encoding="utf-8"):
            line = raw.rstrip("\n")
            if line.startswith("## "):
                current = {"title": line[3:].strip(), "old": [], "new": [], "source": os.path.basename(path)}
                faults.append(current)
            elif current is None or not line.strip() or line.startswith("#"):
                continue
            elif line.startswith("file:"):
                current["file"] = line[5:].strip()
            elif line.startswith("all:"):
                current["all"] = line[4:].strip() == "yes"
            elif line.startswith("tests:"):
                current["tests"] = line[6:].split()
            elif line.startswith("- ") or line == "-":
                current["old"].append(line[2:])
            elif line.startswith("+ ") or line == "+":
                current["new"].append(line[2:])
            else:
                sys.exit(f"{path}: cannot read line: {line}")
    for f in faults:
        if not f.get("file") or not f.get("tests") or not f["old"]:
            sys.exit(f"{f['source']}: fault '{f['title']}' needs file:, tests: and '- ' lines")
    return faults


def run(cmd, cwd, timeout, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout)
        return p.returncode, p.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return -1, "timed out"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--copy", default=os.path.join(os.path.dirname(ROOT), os.path.basename(ROOT) + "-mutate"))
    ap.add_argument("--only", help="plant only faults whose title or file contains this")
    ap.add_argument("--list", action="store_true", help="list the faults and check each applies; plant nothing")
    ap.add_argument("files", nargs="*")
    args = ap.parse_args()
    faults = parse(args.files or sorted(glob.glob(os.path.join(ROOT, "tests", "mutants", "*.txt"))))
    if args.only:
        faults = [f for f in faults if args.only in f["title"] or args.only in f["file"]]

    if args.list:
        bad = 0
        for f in faults:
            n = open(os.path.join(ROOT, f["file"]), encoding="utf-8").read().count("\n".join(f["old"]))
            good = n == 1 or (n > 1 and f.get("all"))
            bad += not good
            print(f"{'ok ' if good else 'BAD'} {f['file']}: {f['title']}" + ("" if good else f" ({n} matches)"))
        print(f"{len(faults)} faults, {bad} not applicable")
        return 1 if bad else 0

    copy = args.copy
    if not os.path.isdir(copy):
        subprocess.run(["git", "worktree", "add", "--detach", copy, "HEAD"], cwd=ROOT, check=True)
    else:  # the copy is the tree as committed: nothing planted is left from an interrupted run
        subprocess.run(["git", "checkout", "--detach", "--force", subprocess.run(
            ["git", "rev-parse", "HEAD"], cwd=ROOT, capture_output=True, text=True).stdout.strip()], cwd=copy, check=True)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_LOGGING_RULES="qt.multimedia*=false")
    # The shared compiler cache of the folder that holds the worktrees, when there is one.
    work = os.path.dirname(os.path.dirname(copy))
    env.setdefault("CCACHE_BASEDIR", work)
    if os.path.isdir(os.path.join(work, ".ccache")):
        env.setdefault("CCACHE_DIR", os.path.join(work, ".ccache"))
    env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    build = os.path.join(copy, "build")
    subprocess.run(["cmake", "-S", copy, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    programs = sorted({t.split(":")[0] for f in faults for t in f["tests"]})
    code, out = run(["nice", "cmake", "--build", build, "-j2", "--target"] + programs, copy, 3600, env)
    if code != 0:
        sys.exit("the clean copy does not build:\n" + out[-3000:])
    for prog in programs:  # a fault only counts against tests that pass without it
        code, out = run([os.path.join(build, "bin", prog)], build, 600, env)
        if code != 0:
            sys.exit(f"{prog} fails without any fault:\n" + out[-3000:])

    caught, missed, broken = [], [], []
    for i, f in enumerate(faults, 1):
        path = os.path.join(copy, f["file"])
        original = open(path, encoding="utf-8").read()
        old, new = "\n".join(f["old"]), "\n".join(f["new"])
        if not (original.count(old) == 1 or (original.count(old) > 1 and f.get("all"))):
            broken.append((f, "the text to replace is not there exactly once"))
            print(f"[{i}/{len(faults)}] NOT PLANTED  {f['title']}", flush=True)
            continue
        started = time.time()
        try:
            open(path, "w", encoding="utf-8").write(original.replace(old, new))
            targets = sorted({t.split(":")[0] for t in f["tests"]})
            code, out = run(["nice", "cmake", "--build", build, "-j2", "--target"] + targets, copy, 1800, env)
            if code != 0:
                broken.append((f, "does not build"))
                verdict = "DOES NOT BUILD"
            else:
                failing = []
                for t in f["tests"]:
                    prog, _, func = t.partition(":")
                    code, out = run([os.path.join(build, "bin", prog)] + ([func] if func else []), build, 600, env)
                    if code != 0:
                        failing.append(t)
                (caught if failing else missed).append((f, " ".join(failing)))
                verdict = ("caught by " + " ".join(failing)) if failing else "NOT CAUGHT"
        finally:
            open(path, "w", encoding="utf-8").write(original)
        print(f"[{i}/{len(faults)}] {verdict:40.40} {f['file']}: {f['title']} ({time.time() - started:.0f} s)", flush=True)

    judged = len(caught) + len(missed)
    print(f"\n{len(caught)} of {judged} faults caught ({100.0 * len(caught) / max(judged, 1):.1f} %); "
          f"{len(broken)} not judged")
    for f, why in missed:
        print(f"  not caught: {f['file']}: {f['title']}")
    for f, why in broken:
        print(f"  not judged ({why}): {f['file']}: {f['title']}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
