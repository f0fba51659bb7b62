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
built there with ccache (--copy . plants in this tree and its own build/, when every change is
committed); each fault is planted, only its test programs are rebuilt and run, and the file is put
back. A fault whose tree does not build counts as neither caught nor missed.

Operator mutants nobody chose (scripts/operatormutants.py says which):

    scripts/mutate.py --random 200 --seed 43 [--jobs 1] [--at REV] [--only WORD] [--list] [--ids ID,ID ...]
    scripts/mutate.py --again <copy>/build-cov/random-43-COMMIT.jsonl [--at REV]

build the copy once more in <copy>/build-cov (never your own build/), its libraries of src/ and service/
with coverage (-O0 --coverage), the rest as Release,
run every test program there alone to learn which lines of src/ (not src/gui) and service/ each one
runs, draw that many covered lines at random by the seed, one mutant on each, and plant them one at a
time in the same build. A mutant's test programs are those that ran its line (they link its library or
start a program that does), cheapest first, --jobs at a time; the first that fails a check, crashes or
times out catches it (and ends the others). The verdicts:
caught, missed, does not build, and equivalent (missed, but judged in tests/mutants/equivalent.txt,
a file of "ID  why" lines). Verdicts go to <copy>/build-cov/random-SEED-COMMIT.jsonl as they come, so
an interrupted run resumes where it stopped; the source is put back after each mutant, on an interrupt
too. --list shows the drawn mutants and plants nothing; --ids plants only the mutants named; --at makes
the copy of another commit than HEAD. --again plants the missed mutants of an earlier run once more, each
found by its line's text, against the tests of today (new tests, moved lines).
Not part of ./test.sh: a tool for developers.
"""
import argparse
import glob
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from queue import Empty, Queue

import operatormutants

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
    """Runs a command in a process group of its own, so a timeout also ends what it started."""
    p = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode(errors="replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        return -1, "timed out"
    except BaseException:
        os.killpg(p.pid, signal.SIGKILL)
        p.communicate()
        raise


def prepare_copy(copy, at="HEAD"):
    """A worktree of `at` beside the repository, as committed: nothing planted is left from an interrupted run."""
    commit = subprocess.run(["git", "rev-parse", "--verify", at + "^{commit}"], cwd=ROOT, capture_output=True,
                            text=True, check=True).stdout.strip()
    if not os.path.isdir(copy):
        subprocess.run(["git", "worktree", "add", "--detach", copy, commit], cwd=ROOT, check=True)
    else:
        subprocess.run(["git", "checkout", "--detach", "--force", commit], cwd=copy, check=True)


def build_env(copy):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_LOGGING_RULES="qt.multimedia*=false")
    # The shared compiler cache of the folder that holds the worktrees, when there is one.
    work = os.path.dirname(os.path.dirname(copy))
    env.setdefault("CCACHE_BASEDIR", work)
    if os.path.isdir(os.path.join(work, ".ccache")):
        env.setdefault("CCACHE_DIR", os.path.join(work, ".ccache"))
    env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    return env


class Interrupted(Exception):
    pass


def interrupt_on_term():
    """SIGTERM and SIGHUP end the run like Ctrl-C does, so the planted source is put back."""
    def stop(signum, frame):
        raise Interrupted(signal.Signals(signum).name)
    for s in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, stop)

# ---- operator mutants nobody chose ----

JUDGEMENTS = os.path.join(ROOT, "tests", "mutants", "equivalent.txt")


def in_scope(path):
    """The logic and the service: src/ without the windows, service/ with the gateway; C++ sources only."""
    return path.endswith(".cpp") and (
        (path.startswith("src/") and not path.startswith("src/gui/")) or path.startswith("service/"))


# Only the libraries under test are built for coverage (-O0 compiles a planted fault quickest);
# everything else is the plain Release build, which the shared compiler cache mostly already holds.
COVERAGE_CMAKE = """
function(zjx_mutate_coverage)
  foreach(dir src service service/gateway)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
      continue()
    endif()
    get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target ${targets})
      get_target_property(type ${target} TYPE)
      if(type MATCHES "LIBRARY|EXECUTABLE" AND NOT target MATCHES "^zjx_gui|^zjx_guiplatform$|^zjx$")
        target_compile_options(${target} PRIVATE -O0 --coverage)
        # A planted fault recompiles one file: with QtCore read once per library that takes seconds.
        if(type STREQUAL "STATIC_LIBRARY")
          target_precompile_headers(${target} PRIVATE <QtCore/QtCore> <functional> <memory> <optional>)
        endif()
      endif()
    endforeach()
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL zjx_mutate_coverage)
"""


def coverage_build(copy, env, jobs):
    build = os.path.join(copy, "build-cov")
    os.makedirs(build, exist_ok=True)
    hook = os.path.join(build, "mutate-coverage.cmake")
    open(hook, "w").write(COVERAGE_CMAKE)
    subprocess.run(["cmake", "-S", copy, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DCMAKE_PROJECT_INCLUDE=" + hook, "-DCMAKE_EXE_LINKER_FLAGS=--coverage",
                    "-DZJX_BUILD_TESTS=ON", "-DZJX_BUILD_SERVICE=ON", "-DZJX_BUILD_BENCH=OFF",
                    "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"], env=env, check=True, stdout=subprocess.DEVNULL)
    code, out = run(["nice", "-n", "19", "ninja", "-C", build, f"-j{jobs}"], copy, 4 * 3600, env)
    if code != 0:
        sys.exit("the coverage build of the copy fails:\n" + out[-3000:])
    return build


def test_programs(build):
    """The test programs as ctest runs them: name, working folder, environment."""
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, capture_output=True, text=True, check=True)
    programs = []
    for t in json.loads(out.stdout)["tests"]:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        exe = os.path.join(build, "bin", t["name"])
        if os.path.exists(exe):
            programs.append({"name": t["name"], "exe": exe, "cwd": props.get("WORKING_DIRECTORY", build),
                             "env": dict(e.split("=", 1) for e in props.get("ENVIRONMENT", []))})
    return programs


def gcda_files(build):
    for folder, _, names in os.walk(build):
        for n in names:
            if n.endswith(".gcda"):
                yield os.path.join(folder, n)


def covered_lines(copy, build):
    """{source path relative to the copy: set of line numbers run} from the .gcda files in the build."""
    wanted = []
    for path in gcda_files(build):
        rel = os.path.relpath(path, build)
        # <dir>/CMakeFiles/<target>.dir/<source>.gcda, where <dir>/<source> is the source in the copy
        head, sep, tail = rel.partition("/CMakeFiles/")
        source = os.path.normpath(os.path.join(head if sep else "", tail.split("/", 1)[-1][:-len(".gcda")]))
        if in_scope(source):
            wanted.append(path)
    lines = {}
    for start in range(0, len(wanted), 40):
        p = subprocess.run(["gcov", "-t", "-j"] + wanted[start:start + 40], cwd=build, capture_output=True, text=True)
        for doc in p.stdout.splitlines():
            if not doc.startswith("{"):
                continue
            report = json.loads(doc)
            for f in report["files"]:
                source = os.path.relpath(os.path.join(report["current_working_directory"], f["file"]), copy)
                if in_scope(source):
                    run_lines = {ln["line_number"] for ln in f["lines"] if ln["count"] > 0}
                    lines.setdefault(source, set()).update(run_lines)
    return lines


def collect_coverage(copy, build, env, commit):
    """Runs each test program alone and records the lines it runs and how long it takes (cached per commit)."""
    cache = os.path.join(build, "mutate-coverage.json")
    if os.path.exists(cache):
        data = json.load(open(cache))
        if data.get("commit") == commit:
            return data
    data = {"commit": commit, "programs": {}, "failing": []}
    for prog in test_programs(build):
        for path in gcda_files(build):
            os.remove(path)
        started = time.time()
        code, out = run(["nice", "-n", "19", prog["exe"]], prog["cwd"], 900, dict(env, **prog["env"]))
        took = time.time() - started
        if code != 0:  # a program that fails without a fault can catch nothing
            data["failing"].append(prog["name"])
            print(f"coverage: {prog['name']} FAILS without any fault ({took:.0f} s)", flush=True)
            continue
        lines = covered_lines(copy, build)
        data["programs"][prog["name"]] = {"seconds": took, "cwd": prog["cwd"], "env": prog["env"],
                                          "lines": {f: sorted(v) for f, v in lines.items()}}
        print(f"coverage: {prog['name']} runs {sum(len(v) for v in lines.values())} lines ({took:.0f} s)", flush=True)
    for path in gcda_files(build):
        os.remove(path)
    json.dump(data, open(cache, "w"))
    return data


def cheapest_first(copy, coverage, tests):
    """The test programs in the order that finds a fault soonest: what a run costs, a link included (a
    program's size stands for its link: a window test links every library and takes seconds)."""
    def cost(test):
        exe = os.path.join(copy, "build-cov", "bin", test)
        size = os.path.getsize(exe) if os.path.exists(exe) else 0
        return coverage["programs"][test]["seconds"] + 2.0 * size / 1e6
    return sorted(tests, key=cost)


def draw(copy, coverage, seed, count):
    """`count` covered lines drawn by the seed, one mutant on each (an operator first, then one of its places)."""
    by_line = {}
    for name, prog in coverage["programs"].items():
        for f, numbers in prog["lines"].items():
            for n in numbers:
                by_line.setdefault((f, n), set()).add(name)
    texts = {}
    choices = []
    for f, n in sorted(by_line):
        if f not in texts:
            texts[f] = open(os.path.join(copy, f), encoding="utf-8").read()
        found = operatormutants.mutants_of(f, texts[f], [n])
        if found:
            choices.append(((f, n), found))
    rng = random.Random(seed)
    rng.shuffle(choices)
    drawn = []
    for (f, n), found in choices[:count]:
        op = rng.choice(sorted({m["op"] for m in found}))
        m = rng.choice([m for m in found if m["op"] == op])
        m["tests"] = cheapest_first(copy, coverage, by_line[(f, n)])
        drawn.append(m)
    return drawn, len(choices)


def read_judgements(path=JUDGEMENTS):
    """{mutant id: why it is equivalent} from lines "ID  why" (# starts a comment)."""
    judged = {}
    if os.path.exists(path):
        for line in open(path, encoding="utf-8"):
            line = line.strip()
            if line and not line.startswith("#"):
                key, _, why = line.partition(" ")
                judged[key] = why.strip()
    return judged


def describe(m):
    return f"{m['id']} {m['file']}:{m['line']} [{m['op']}] {m['says']}: {m['old'].strip()}"


def first_failure(programs, parallel):
    """Runs test programs (name, command, cwd, env, time limit), `parallel` at a time, until one fails: its
    name (with " (timed out)" when it ran out of time), or None when all pass. A program is stopped at its
    first failed check, and the others with it: the verdict needs no more."""
    queue, running, lines = list(programs), {}, Queue()

    def reader(name, proc):
        for raw in proc.stdout:
            lines.put((name, raw))
        lines.put((name, None))

    def stop_all():
        for proc, _ in running.values():
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        running.clear()

    try:
        while queue or running:
            while queue and len(running) < parallel:
                name, cmd, cwd, env, limit = queue.pop(0)
                proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        start_new_session=True)
                running[name] = (proc, time.time() + limit)
                threading.Thread(target=reader, args=(name, proc), daemon=True).start()
            try:
                name, raw = lines.get(timeout=1)
            except Empty:
                name, raw = None, b""
            if raw is not None and raw.startswith(b"FAIL!"):
                stop_all()
                return name
            if raw is None and name in running:  # its output ended: the program has ended
                proc, _ = running.pop(name)
                if proc.wait() != 0:
                    stop_all()
                    return name
            for other, (proc, deadline) in list(running.items()):
                if time.time() > deadline:
                    stop_all()
                    return other + " (timed out)"
        return None
    finally:
        stop_all()


def plant_and_test(copy, build, env, coverage, m, jobs):
    """The verdict on one mutant: ("caught", by), ("missed", ""), ("no build", why)."""
    path = os.path.join(copy, m["file"])
    original = open(path, encoding="utf-8").read()
    profiles = tempfile.mkdtemp(prefix="zjx-mutant-")
    # The runs of a planted fault write their coverage apart, so no test sees the profiler's warnings.
    run_env = dict(env, GCOV_PREFIX=profiles, GCOV_PREFIX_STRIP="0")
    try:
        open(path, "w", encoding="utf-8").write(operatormutants.plant(original, m))
        code, out = run(["nice", "-n", "19", "ninja", "-C", build, f"-j{jobs}"] + m["tests"], copy, 1800, env)
        if code != 0:
            lines = [ln for ln in out.splitlines() if "error" in ln]
            return "no build", (lines[0] if lines else out.strip().splitlines()[-1])[:200]
        # Most test programs wait more than they compute: two at a time, cheapest first.
        programs = [(test, ["nice", "-n", "19", os.path.join(build, "bin", test)], coverage["programs"][test]["cwd"],
                     dict(run_env, **coverage["programs"][test]["env"]),
                     min(900, 3 * coverage["programs"][test]["seconds"] + 30)) for test in m["tests"]]
        failed = first_failure(programs, max(jobs, 1))
        return ("caught", failed) if failed else ("missed", "")
    finally:
        open(path, "w", encoding="utf-8").write(original)
        shutil.rmtree(profiles, ignore_errors=True)


def relocate(copy, coverage, old):
    """A mutant of an earlier run found again in today's tree (its line by its text, the nearest one to where
    it was) with today's tests of that line; None when the line is gone or no test runs it."""
    lines = open(os.path.join(copy, old["file"]), encoding="utf-8").read().split("\n")
    places = [i + 1 for i, text in enumerate(lines) if text == old["old"]]
    if not places:
        return None
    number = min(places, key=lambda n: abs(n - old["line"]))
    tests = [name for name, prog in coverage["programs"].items() if number in prog["lines"].get(old["file"], ())]
    if not tests:
        return None
    return dict(old, line=number, tests=cheapest_first(copy, coverage, tests))


def random_main(args):
    copy = args.copy
    prepare_copy(copy, args.at)
    commit = subprocess.run(["git", "rev-parse", "HEAD"], cwd=copy, capture_output=True, text=True).stdout.strip()
    env = build_env(copy)
    interrupt_on_term()
    print(f"copy {copy} at {commit[:10]}, seed {args.seed}", flush=True)
    build = coverage_build(copy, env, args.jobs)
    coverage = collect_coverage(copy, build, env, commit)
    if args.again:
        # the missed mutants of an earlier run, against today's tests
        drawn = []
        for line in open(args.again):
            old = json.loads(line)
            if old["verdict"] == "missed":
                found = relocate(copy, coverage, old)
                if found:
                    drawn.append(found)
                else:
                    print(f"gone or no longer run: {describe(old)}", flush=True)
        print(f"{len(drawn)} missed mutants of {args.again} planted again", flush=True)
    else:
        drawn, lines = draw(copy, coverage, args.seed, args.random)
        print(f"{len(drawn)} mutants drawn from {lines} covered lines with a mutant; "
              f"{len(coverage['programs'])} test programs" +
              (f", failing without a fault (left out): {' '.join(coverage['failing'])}" if coverage["failing"] else ""),
              flush=True)
    if args.ids:
        wanted = set(args.ids.split(","))
        drawn = [m for m in drawn if m["id"] in wanted]
    if args.only:
        drawn = [m for m in drawn if args.only in m["file"] or args.only == m["op"]]
    if args.list:
        for m in drawn:
            print(describe(m) + "\n    => " + m["new"].strip().replace("\n", " ") + "\n    tests: " + " ".join(m["tests"]))
        return 0
    judged = read_judgements()
    results_path = os.path.join(build, ("again-" if args.again else "random-") + f"{args.seed}-{commit[:10]}.jsonl")
    done = {}
    if os.path.exists(results_path):
        for line in open(results_path):
            r = json.loads(line)
            done[r["id"]] = r
    with open(results_path, "a") as results:
        for i, m in enumerate(drawn, 1):
            if m["id"] in done:
                continue
            started = time.time()
            verdict, detail = plant_and_test(copy, build, env, coverage, m, args.jobs)
            done[m["id"]] = dict(m, verdict=verdict, detail=detail)
            results.write(json.dumps(done[m["id"]]) + "\n")
            results.flush()
            print(f"[{i}/{len(drawn)}] {verdict:8} {detail[:40]:40} {describe(m)[:140]} ({time.time() - started:.0f} s)",
                  flush=True)
    # put the last planted file's object back, so the build is the committed tree again
    run(["nice", "-n", "19", "ninja", "-C", build, f"-j{args.jobs}"], copy, 3600, env)
    return report([done[m["id"]] for m in drawn if m["id"] in done], judged, args.seed, commit)


def report(results, judged, seed, commit):
    groups = {"caught": [], "missed": [], "equivalent": [], "no build": []}
    for r in results:
        if r["verdict"] == "missed" and r["id"] in judged:
            groups["equivalent"].append(r)
        else:
            groups[r["verdict"]].append(r)
    built = len(results) - len(groups["no build"])
    judgeable = built - len(groups["equivalent"])
    share = 100.0 * len(groups["caught"]) / max(judgeable, 1)
    print(f"\nseed {seed}, commit {commit[:10]}: {len(results)} mutants, {built} build, {len(groups['no build'])} do not, "
          f"{len(groups['equivalent'])} equivalent; caught {len(groups['caught'])} of {judgeable} ({share:.1f} %), "
          f"missed {len(groups['missed'])}")
    by_op = {}
    for r in results:
        v = "equivalent" if r["verdict"] == "missed" and r["id"] in judged else r["verdict"]
        by_op.setdefault(r["op"], {}).setdefault(v, 0)
        by_op[r["op"]][v] += 1
    for op in sorted(by_op):
        print(f"  {op:5} " + ", ".join(f"{k} {v}" for k, v in sorted(by_op[op].items())))
    for r in groups["missed"]:
        print(f"  missed: {describe(r)}\n          => {r['new'].strip().replace(chr(10), ' ')}")
    for r in groups["equivalent"]:
        print(f"  equivalent: {describe(r)}\n          because {judged[r['id']]}")
    return 0


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--copy", default=os.path.join(os.path.dirname(ROOT), os.path.basename(ROOT) + "-mutate"))
    ap.add_argument("--only", help="plant only faults whose title or file contains this")
    ap.add_argument("--list", action="store_true", help="list the faults and check each applies; plant nothing")
    ap.add_argument("--random", type=int, metavar="N", help="plant N operator mutants drawn by --seed")
    ap.add_argument("--seed", type=int, default=1, help="the draw of --random (say it with the figures)")
    ap.add_argument("--ids", help="with --random: plant only these mutants (ids as printed, comma-separated)")
    ap.add_argument("--at", default="HEAD", help="with --random: the commit the copy is made of")
    ap.add_argument("--again", metavar="RESULTS", help="plant the missed mutants of an earlier run's .jsonl again")
    ap.add_argument("--jobs", type=int, default=1, help="with --random: build jobs (the machine is shared)")
    ap.add_argument("files", nargs="*")
    args = ap.parse_args()
    if args.random or args.again:
        try:
            return random_main(args)
        except (KeyboardInterrupt, Interrupted) as e:
            sys.exit(f"interrupted ({e or 'Ctrl-C'}); the source is back as committed")
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
    if os.path.realpath(copy) == os.path.realpath(ROOT):
        # In place, in the tree's own build: only a tree whose changes are committed, each file put back.
        if subprocess.run(["git", "status", "--porcelain", "--untracked-files=no"], cwd=ROOT, capture_output=True,
                          text=True).stdout.strip():
            sys.exit("commit or stash the changes first: the faults are planted in this tree")
    else:
        prepare_copy(copy)
    env = build_env(copy)
    interrupt_on_term()
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
