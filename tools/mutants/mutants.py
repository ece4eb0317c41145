#!/usr/bin/python3
"""Mutant sweep: does the test suite catch the faults we care about?

Each line of the list (tools/mutants/mutants.txt) names one realistic fault:

    name  path/to/file.cpp  `exact text`  `faulty replacement`

The text must occur exactly once in the file; "\\n" in either stands for a
line break, so a fault may span lines. For every mutant the sweep
writes the fault into the file, rebuilds only what it touches, runs the tests
and restores the file. A mutant is caught by the first failing test. The test
that caught a mutant last time is tried first (remembered in the build tree),
then the unit, package and end-to-end tests of the normal build, then the unit
tests of the sanitizer build (a leak or an overflow shows only there).

Usage: mutants.py LIST BUILD ASAN_BUILD [NAME ...]
(tools/mutants/mutants-windows.txt goes with the Windows build and no sanitizer build.)
MUTANT_TESTS="a b" limits the sweep to those tests (and builds only them).
Prints every mutant no test caught and exits 1 if any survived.
"""
import json
import os
import re
import signal
import subprocess
import sys
import time

LINE = re.compile(r"^(\S+)\s+(\S+)\s+`([^`]*)`\s+`([^`]*)`\s*$")
# Programs the tests that are not programs of their own start.
SUPPORT_TARGETS = ["orvale-viewer", "orvale-make-samples", "orvale_fixtures", "program_path_probe"]


def read_list(path):
    mutants = []
    for number, raw in enumerate(open(path, encoding="utf-8"), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        match = LINE.match(line)
        if not match:
            sys.exit(f"{path}:{number}: not 'name file `text` `replacement`'")
        fields = [f.replace("\\n", "\n") for f in match.groups()]
        mutants.append(dict(zip(("name", "file", "text", "fault"), fields)))
    names = [m["name"] for m in mutants]
    twice = {n for n in names if names.count(n) > 1}
    if twice:
        sys.exit(f"{path}: names used twice: {sorted(twice)}")
    return mutants


def run(cmd, timeout=None):
    """Runs a command quietly; returns True when it succeeds."""
    try:
        done = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False
    return done.returncode == 0


class Tree:
    """One configured build tree and the tests it runs."""

    def __init__(self, path, labels):
        self.path = path
        self.labels = labels
        shown = subprocess.run(["ctest", "--test-dir", path, "--show-only=json-v1"],
                               capture_output=True, text=True, check=True)
        self.tests = {}
        wanted = os.environ.get("MUTANT_TESTS", "").split()
        for test in json.loads(shown.stdout)["tests"]:
            props = {p["name"]: p["value"] for p in test.get("properties", [])}
            if not set(props.get("LABELS", [])) & set(labels) or "fuzz" in props.get("LABELS", []):
                continue
            if wanted and test["name"] not in wanted:
                continue
            # A test program not built yet has no command: it is its own target.
            # One run through an emulator (Wine) is the first file of the tree,
            # or its .exe there when not built yet.
            command = test.get("command", [os.path.join(os.path.abspath(path), test["name"])])
            program = next((c for c in command if c.startswith(os.path.abspath(path)) and
                            (os.path.isfile(c) or c.endswith(".exe"))), command[0])
            own = os.path.basename(program).removesuffix(".exe") if program.startswith(os.path.abspath(path)) \
                else None
            self.tests[test["name"]] = own
        self.targets = sorted({t for t in self.tests.values() if t})
        # The support programs this tree has (the Windows build has only the viewer).
        known = subprocess.run(["cmake", "--build", path, "--target", "help"], capture_output=True, text=True).stdout
        self.support = [t for t in SUPPORT_TARGETS if f" {t}" in known]
        if None in self.tests.values() or not wanted:
            self.targets += self.support

    def build(self, targets):
        command = ["cmake", "--build", self.path, "-j", os.environ.get("JOBS", "2"), "--target", *targets]
        # A second try tells a fault that does not compile from a build that
        # tripped over itself (a regenerated build system, a parallel job).
        return run(command) or run(command)

    def first_failure(self, only=None):
        """Builds and runs the tests (or one); returns the first that fails, '' if none."""
        names = [only] if only else list(self.tests)
        own = [self.tests[n] for n in names if self.tests[n]]
        if not self.build(own if only and own else self.support if only else self.targets):
            return "build"
        for name in names:
            if not run(["ctest", "--test-dir", self.path, "-R", f"^{name}$", "--timeout", "300"]):
                return name
        return ""


def sweep(mutants, trees, memory_path):
    memory = {}
    if os.path.exists(memory_path):
        memory = json.load(open(memory_path))
    results = []
    for index, mutant in enumerate(mutants, 1):
        path = mutant["file"]
        original = open(path, encoding="utf-8").read()
        count = original.count(mutant["text"])
        if count != 1:
            results.append((mutant["name"], f"text found {count} times in {path}", 0))
            print(f"[{index}/{len(mutants)}] {mutant['name']}: TEXT FOUND {count} TIMES", flush=True)
            continue
        started = time.time()
        caught = ""
        try:
            with open(path, "w", encoding="utf-8") as out:
                out.write(original.replace(mutant["text"], mutant["fault"]))
            hint = memory.get(mutant["name"])
            if hint and hint.split(":")[0] in trees and hint.split(":")[1] in trees[hint.split(":")[0]].tests:
                tree_name, test = hint.split(":")
                failed = trees[tree_name].first_failure(test)
                if failed and failed != "build":
                    caught = hint
            for tree_name, tree in ([] if caught else [(n, t) for n, t in trees.items() if t.tests]):
                failed = tree.first_failure()
                if failed == "build":
                    caught = "DOES NOT BUILD"
                    break
                if failed:
                    caught = f"{tree_name}:{failed}"
                    break
        finally:
            with open(path, "w", encoding="utf-8") as out:
                out.write(original)
        seconds = time.time() - started
        if caught and caught != "DOES NOT BUILD":
            memory[mutant["name"]] = caught
        results.append((mutant["name"], caught, seconds))
        shown = caught or "SURVIVED"
        print(f"[{index}/{len(mutants)}] {mutant['name']:<28} {shown:<32} {seconds:5.0f} s", flush=True)
    json.dump(memory, open(memory_path, "w"), indent=1, sort_keys=True)
    return results


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    list_path, build, asan_build, *only = sys.argv[1:]
    mutants = read_list(list_path)
    if only:
        mutants = [m for m in mutants if m["name"] in only]
    # Restore the file even when the sweep is interrupted.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))
    trees = {"build": Tree(build, ["unit", "package", "e2e"])}
    if os.path.isdir(os.path.join(asan_build, "tests")):
        trees["asan"] = Tree(asan_build, ["unit"])
    started = time.time()
    results = sweep(mutants, trees, os.path.join(build, "mutants-caught.json"))
    bad = [(n, c) for n, c, _ in results if not c or c == "DOES NOT BUILD" or c.startswith("text found")]
    caught = len(results) - len(bad)
    print(f"\n{len(results)} mutants, {caught} caught, {len(bad)} not, in {time.time() - started:.0f} s")
    for name, why in bad:
        print(f"  not caught: {name} ({why or 'survived every test'})")
    for tree in trees.values():
        tree.build(tree.targets)  # leave both trees built from the restored sources
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
