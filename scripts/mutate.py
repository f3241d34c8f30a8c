#!/usr/bin/env python3
"""Mutation check: puts small faults into src/ one at a time and runs the
suite against each, to see which faults the tests let through.

Each worker keeps a clone of the committed HEAD with a build directory of
its own, so a mutant costs one incremental build. The mutants are made here,
by kind, and a seeded sample of them is run:

  cmp     a comparison flipped (< <=, > >=, == !=)
  arith   an arithmetic operator swapped (+ -, * /, ++ --, += -=)
  int     an integer constant one up or one down
  delete  a statement removed
  string  one character dropped from a string literal
  swap    two neighbouring cells of a brace list or arguments of a call

  python3 scripts/mutate.py -n 60 --seed 1 > mutate.log

Not part of the test command: a run takes a minute or more per mutant.
"""
import argparse
import json
import os
import random
import re
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

# Read after the project's own CMakeLists: precompiled Qt headers for the
# game, its tests and what they link.
PCH = """
function(_mutate_pch dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    if(t MATCHES "^(vortana_play|vortana_records|test_rules|test_recordfiles)$")
      target_precompile_headers(${t} PRIVATE <QtCore/QtCore>)
    elseif(t MATCHES "^(vortana|vortana_window|vortana_test_support|test_.*)$")
      target_precompile_headers(${t} PRIVATE <QtWidgets/QtWidgets>)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(d IN LISTS subdirs)
    _mutate_pch(${d})
  endforeach()
endfunction()
if(CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
  cmake_language(DEFER CALL _mutate_pch ${CMAKE_SOURCE_DIR})
endif()
"""
KILLS = {}  # test name: mutants it caught
KINDS = ("cmp", "arith", "int", "delete", "string", "swap")
CMP_FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
ARITH_FLIP = {"+": "-", "-": "+", "*": "/", "/": "*", "++": "--", "--": "++", "+=": "-=", "-=": "+="}
NOT_STATEMENT = re.compile(r"\s*(#|//|using\b|namespace\b|class\b|struct\b|enum\b|return\b|break\b|"
                           r"case\b|default\b|public:|private:|protected:|template\b|[{}])")


class Mutant:
    def __init__(self, kind, path, offset, length, new, text):
        self.kind, self.path, self.offset, self.length, self.new = kind, path, offset, length, new
        self.line = text.count("\n", 0, offset) + 1
        start = text.rfind("\n", 0, offset) + 1
        end = text.find("\n", offset)
        end = len(text) if end < 0 else end
        self.before = text[start:end].strip()
        self.after = (text[start:offset] + new + text[offset + length:end]).strip()

    def apply(self, text):
        return text[:self.offset] + self.new + text[self.offset + self.length:]

    def where(self):
        return f"{self.path}:{self.line}"


def code_mask(text):
    """Per character: 'c' code, 's' inside a string literal's quotes, 'x'
    comment, character literal or preprocessor line."""
    mask = ["c"] * len(text)
    i, n = 0, len(text)
    line_start = True
    while i < n:
        ch = text[i]
        if line_start and ch == "#":
            j = i
            while j < n and not (text[j] == "\n" and text[j - 1] != "\\"):
                j += 1
            mask[i:j] = "x" * (j - i)
            i = j
            continue
        if ch == "\n":
            line_start = True
            i += 1
            continue
        if not ch.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            mask[i:j] = "x" * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            mask[i:j] = "x" * (j - i)
            i = j
        elif ch == "'" and i and text[i - 1].isdigit():
            i += 1  # a digit separator
        elif ch in "\"'":
            j = i + 1
            while j < n and text[j] != ch:
                j += 2 if text[j] == "\\" else 1
            if ch == '"':
                mask[i] = mask[j] = "x"
                mask[i + 1:j] = "s" * (j - i - 1)
            else:
                mask[i:j + 1] = "x" * (j + 1 - i)
            i = j + 1
        else:
            i += 1
    return "".join(mask)


def operator_mutants(path, text, mask):
    out = []
    # Binary operators stand between blanks; templates, pointers and
    # unary signs don't.
    for m in re.finditer(r"(?<= )(<=|>=|==|!=|<|>|\+=|-=|\+|-|\*|/)(?= )", text):
        if mask[m.start()] != "c" or mask[m.end() - 1] != "c":
            continue
        op = m.group(1)
        kind = "cmp" if op in CMP_FLIP else "arith"
        new = CMP_FLIP.get(op) or ARITH_FLIP[op]
        out.append(Mutant(kind, path, m.start(), len(op), new, text))
    for m in re.finditer(r"\+\+|--", text):
        if mask[m.start()] == "c" and mask[m.end() - 1] == "c":
            out.append(Mutant("arith", path, m.start(), 2, ARITH_FLIP[m.group()], text))
    # <= and >= written without blanks, as in for loops, count too.
    for m in re.finditer(r"(?<=[\w)])(<=|>=|==|!=)(?=[\w(-])", text):
        if mask[m.start()] == "c":
            out.append(Mutant("cmp", path, m.start(), 2, CMP_FLIP[m.group()], text))
    return out


def int_mutants(path, text, mask):
    out = []
    for m in re.finditer(r"(?<![\w.'])(0x[0-9A-Fa-f']+|\d[\d']*)(?![\w.'])", text):
        if mask[m.start()] != "c":
            continue
        lit = m.group()
        digits = lit.replace("'", "")
        octal = len(digits) > 1 and digits[0] == "0" and digits.isdigit()  # a file mode, 0666
        value = int(digits, 8) if octal else int(digits, 0)
        for v in (value + 1, value - 1):
            if v >= 0:
                shown = hex(v) if lit.startswith("0x") else "0" + oct(v)[2:] if octal else str(v)
                out.append(Mutant("int", path, m.start(), len(lit), shown, text))
    return out


def delete_mutants(path, text, mask):
    out = []
    pos = 0
    previous = "{"
    for line in text.splitlines(keepends=True):
        body = line.strip()
        # A whole statement: the line before ended one or opened a block.
        whole = previous[-1:] in (";", "{", "}", ":", ")") or previous.endswith(("else", "do"))
        if body and not body.startswith("//"):
            previous = body
        if (whole and body.endswith(";") and not NOT_STATEMENT.match(line) and mask[pos + line.index(body[0])] == "c"
                and body.count("(") == body.count(")") and body.count("{") == body.count("}")
                and not re.match(r"[\w:<>,\s*&]+\s[\w*&]+(\s*=|;|\{|\()", body)):
            start = pos + line.index(body[0])
            out.append(Mutant("delete", path, start, len(body), "", text))
        pos += len(line)
    return out


def string_mutants(path, text, mask):
    out = []
    for m in re.finditer(r"s+", mask):
        if mask[m.start() - 1] == "x":
            lit = text[m.start():m.end()]
            # Drop one character, or one escape sequence whole.
            i = 0
            while i < len(lit):
                step = 2 if lit[i] == "\\" else 1
                out.append(Mutant("string", path, m.start() + i, step, "", text))
                i += step
    return out


def swap_mutants(path, text, mask):
    """Neighbouring items of one (...) or {...} that lies on one line."""
    out = []
    pairs = {"(": ")", "{": "}"}
    stack = []
    for i, ch in enumerate(text):
        if mask[i] != "c":
            continue
        if ch in "({[":
            stack.append((ch, i, []))
        elif ch in ")}]" and stack:
            open_ch, start, commas = stack.pop()
            if pairs.get(open_ch) != ch or "\n" in text[start:i] or not commas:
                continue
            bounds = [start + 1] + [c + 1 for c in commas] + [i + 1]
            items = [(bounds[k], bounds[k + 1] - 1) for k in range(len(bounds) - 1)]
            for (a0, a1), (b0, b1) in zip(items, items[1:]):
                a, b = text[a0:a1], text[b0:b1]
                if a.strip() and b.strip() and a.strip() != b.strip():
                    lead_a = len(a) - len(a.lstrip())
                    lead_b = len(b) - len(b.lstrip())
                    new = a[:lead_a] + b.strip() + text[a1:b0 + lead_b] + a.strip() + b[len(b.rstrip()):]
                    out.append(Mutant("swap", path, a0, b1 - a0, new, text))
        elif ch == "," and stack:
            stack[-1][2].append(i)
    return out


# Built only for Windows, or only into the sanitizer build: a fault there
# never reaches the suite this runs, and would only count as a survivor.
NOT_BUILT_HERE = ("_windows.cpp", "keep_drivers.cpp")


def all_mutants(root):
    by_kind = {k: [] for k in KINDS}
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h") or path.name.endswith(NOT_BUILT_HERE):
            continue
        text = path.read_text(encoding="utf-8")
        mask = code_mask(text)
        rel = str(path.relative_to(root))
        for make in (operator_mutants, int_mutants, delete_mutants, string_mutants, swap_mutants):
            for m in make(rel, text, mask):
                by_kind[m.kind].append(m)
    return by_kind


def sample(by_kind, count, seed):
    """A kind at random, then a mutant of that kind, without repeats."""
    rng = random.Random(seed)
    pools = {k: list(v) for k, v in by_kind.items() if v}
    picked = []
    while pools and len(picked) < count:
        kind = rng.choice(sorted(pools))
        picked.append(pools[kind].pop(rng.randrange(len(pools[kind]))))
        if not pools[kind]:
            del pools[kind]
    return picked


def run(cmd, cwd, timeout=None):
    """(status, output); on a timeout the whole process group goes, so that
    a hung test doesn't linger."""
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                         errors="replace", start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, 9)
        out, _ = p.communicate()
        raise subprocess.TimeoutExpired(cmd, timeout, out)
    return p.returncode, out


class Worker:
    def __init__(self, root, rev, home, args):
        self.root, self.rev, self.home, self.args = root, rev, home, args
        self.build = home / "build"

    def prepare(self):
        if not (self.home / ".git").exists():
            shutil.rmtree(self.home, ignore_errors=True)
            run(["git", "clone", "--quiet", "--shared", "--no-checkout", str(self.root), str(self.home)], self.root)
        run(["git", "fetch", "--quiet", str(self.root), self.rev], self.home)
        run(["git", "checkout", "--quiet", "--force", "--detach", self.rev], self.home)
        run(["git", "clean", "-fdq", "-e", "build"], self.home)
        # No optimisation and no debug information: a mutant is compiled once.
        # Qt's headers are precompiled, so a mutant costs the parsing of the
        # game's own code only; ccache turns the rebuild of the restored
        # original into a copy.
        self.build.mkdir(exist_ok=True)
        (self.build / "mutate-pch.cmake").write_text(PCH)
        cmd = ["cmake", "-S", ".", "-B", "build", "-DCMAKE_BUILD_TYPE=None", "-DCMAKE_CXX_FLAGS=-O0",
               "-DBUILD_TESTING=ON", f"-DCMAKE_PROJECT_INCLUDE={self.build / 'mutate-pch.cmake'}"]
        if shutil.which("ccache"):
            cmd.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
            os.environ["CCACHE_SLOPPINESS"] = "pch_defines,time_macros,include_file_mtime,include_file_ctime"
        rc, out = run(cmd, self.home)
        if rc:
            sys.exit("mutate: configure failed\n" + out)
        rc, out = run(["cmake", "--build", "build", "-j", str(self.args.build_jobs)], self.home)
        if rc:
            sys.exit("mutate: the unmutated code does not build\n" + out[-4000:])
        self.tests = self.suite()

    def suite(self):
        """The suite's tests in order, each with the targets it runs."""
        rc, out = run(["ctest", "--test-dir", "build", "--show-only=json-v1", "-E", self.args.exclude], self.home)
        tests = []
        for test in json.loads(out).get("tests", []):
            targets = {Path(arg).name for arg in test.get("command", []) if arg.startswith(str(self.build))}
            tests.append((test["name"], sorted(targets)))
        return tests

    def build_and_test(self):
        """(built, passed, output). Each test is built just before it runs,
        so a mutant the first tests catch costs no more than their build."""
        built = set()
        # The test that caught the most mutants so far goes first.
        order = sorted(self.tests, key=lambda t: -KILLS.get(t[0], 0))
        for name, targets in order:
            todo = [t for t in targets if t not in built]
            if todo:
                rc, out = run(["cmake", "--build", "build", "-j", str(self.args.build_jobs), "--target", *todo],
                              self.home)
                if rc:
                    return False, None, out
                built.update(todo)
            try:
                rc, out = run(["ctest", "--test-dir", "build", "-R", f"^{re.escape(name)}$", "--output-on-failure"],
                              self.home, timeout=self.args.timeout)
            except subprocess.TimeoutExpired:
                rc, out = 1, f"  1 - {name} (Timeout)"
            if rc:
                KILLS[name] = KILLS.get(name, 0) + 1
                return True, False, out
        return True, True, ""

    def run_mutant(self, m):
        path = self.home / m.path
        original = path.read_text(encoding="utf-8")
        path.write_text(m.apply(original), encoding="utf-8")
        try:
            return self.build_and_test()
        finally:
            path.write_text(original, encoding="utf-8")


def failed_tests(out):
    return sorted(set(re.findall(r"^\s*\d+ - (\S+) \(", out, re.M)))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("-n", "--count", type=int, default=60, help="mutants to run (default 60)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--workers", type=int, default=1, help="clones building and testing at once")
    ap.add_argument("--build-jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=200, help="seconds for one test of one mutant")
    ap.add_argument("--exclude", default="^(package|lint_.*|setup_archive)$",
                    help="ctest -E regex (default: the package, lint and set-up tests, which no fault in src/ changes)")
    ap.add_argument("--workdir", default=None, help="where the clones live (default: build-mutate/ in the repo)")
    ap.add_argument("--only", default="", help="comma-separated numbers of the sample to run")
    ap.add_argument("--list", action="store_true", help="print the sample and stop")
    ap.add_argument("--budget", type=float, default=0, help="minutes after which no new mutant starts (0: none)")
    args = ap.parse_args()

    root = Path(subprocess.check_output(["git", "rev-parse", "--show-toplevel"], text=True).strip())
    rev = subprocess.check_output(["git", "rev-parse", "HEAD"], cwd=root, text=True).strip()
    if subprocess.check_output(["git", "status", "--porcelain", "--", "src"], cwd=root, text=True).strip():
        print("mutate: note: uncommitted changes in src/ are not part of the run", flush=True)
    by_kind = all_mutants(root)
    # The mutants come from the committed sources, which the clones hold.
    picked = list(enumerate(sample(by_kind, args.count, args.seed), 1))
    if args.only:
        wanted = {int(x) for x in args.only.split(",")}
        picked = [(i, m) for i, m in picked if i in wanted]
    print(f"mutate: {sum(map(len, by_kind.values()))} mutants possible ("
          + ", ".join(f"{k} {len(v)}" for k, v in by_kind.items()) + f"); running {len(picked)}, seed {args.seed}",
          flush=True)
    if args.list:
        for i, m in picked:
            print(f"#{i} {m.kind} {m.where()}: {m.before}  ->  {m.after}")
        return 0

    workdir = Path(args.workdir) if args.workdir else root / "build-mutate"
    workers = [Worker(root, rev, workdir / f"w{k}", args) for k in range(args.workers)]
    for w in workers:
        w.prepare()
        t0 = time.time()
        built, passed, out = w.build_and_test()
        if not (built and passed):
            print(out[-4000:])
            sys.exit("mutate: the unmutated suite fails; nothing to measure")
        print(f"mutate: baseline in {w.home.name} built and passed in {time.time() - t0:.0f} s", flush=True)

    results = {}
    lock = threading.Lock()
    # A header rebuilds most of the program: those mutants go last, so that
    # a budget that runs out leaves the fewest undone.
    queue = sorted(picked, key=lambda im: im[1].path.endswith(".h"))

    deadline = time.time() + args.budget * 60 if args.budget else None

    def work(w):
        while True:
            with lock:
                if not queue or (deadline and time.time() > deadline):
                    return
                i, m = queue.pop(0)
            t0 = time.time()
            built, passed, out = w.run_mutant(m)
            status = "invalid" if not built else "survived" if passed else "killed"
            with lock:
                results[i] = (m, status)
                by = ", ".join(failed_tests(out)) if status == "killed" else ""
                print(f"#{i} {status:8} {time.time() - t0:5.0f} s  {m.kind:6} {m.where()}: {m.before}  ->  {m.after}"
                      + (f"  [{by}]" if by else ""), flush=True)

    threads = [threading.Thread(target=work, args=(w,)) for w in workers]
    for t in threads:
        t.start()
    for t in threads:
        t.join()

    killed = sum(1 for _, s in results.values() if s == "killed")
    survived = [(i, m) for i, (m, s) in sorted(results.items()) if s == "survived"]
    invalid = sum(1 for _, s in results.values() if s == "invalid")
    print(f"\nsurvivors ({len(survived)}):")
    for i, m in survived:
        print(f"  #{i} {m.kind} {m.where()}: {m.before}  ->  {m.after}")
    total = killed + len(survived)
    score = 100.0 * killed / total if total else 0.0
    if len(results) < len(picked):
        print(f"budget spent: {len(results)} of the {len(picked)} mutants ran")
    print(f"score: {killed} of {total} killed, {score:.1f}% ({invalid} did not compile and are not counted)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
