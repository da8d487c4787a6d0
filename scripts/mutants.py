"""Mutation testing of the program's code (driven by scripts/mutants.sh).

list:  every simple change found in the areas' sources, shuffled by a fixed seed;
       the first N are written one per line as JSON (file, line, original text, changed text).
run:   applies each listed change alone to a source tree, rebuilds what that area's tests
       need, runs them and records whether a test failed (caught), all passed (missed)
       or the change did not build. A change is found again by its line's text, so the
       same list can be run against a later tree; a line that is gone is recorded as such.
"""
import json
import os
import random
import re
import subprocess
import sys
import time

AREAS = ["link", "session", "datalog", "settings", "network", "history"]
# The tests that run for a change in each area: the test programs in these folders
# under tests/, without the end-to-end ones. The parser fuzz smoke test is left out: it
# looks for crashes, not wrong results, and unoptimised it runs for minutes.
AREA_TESTS = {
    "link": ["link"],
    "session": ["session", "link"],
    "datalog": ["datalog"],
    "settings": ["settings"],
    "network": ["network"],
    "history": ["history"],
}
REL_SWAP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
LOGIC_SWAP = {"&&": "||", "||": "&&"}
SKIP = re.compile(r"^\s*(#|//|\*|/\*)|static_assert|Q_OBJECT|Q_PROPERTY|Q_DECLARE|template\s*<")
CALL_STMT = re.compile(r"^(\s*)(emit )?[A-Za-z_][\w:.\->\[\]]*\(.*\);$")
COND = re.compile(r"^(\s*(?:\} else )?(?:if|while) \()(.*)(\) \{)$")


def blank_strings(line):
    """The line with string and character literals and trailing comments blanked."""
    out, i, n = [], 0, len(line)
    while i < n:
        c = line[i]
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        out.append(c)
        i += 1
    return "".join(out)[:n]


def balanced(s):
    depth = 0
    for c in s:
        depth += c == "("
        depth -= c == ")"
        if depth < 0:
            return False
    return depth == 0


def candidates(root):
    files = subprocess.run(["git", "-C", root, "ls-files"] + AREAS, capture_output=True,
                           text=True, check=True).stdout.split()
    out = []
    for path in sorted(f for f in files if f.endswith((".cpp", ".h"))):
        in_block = False
        with open(os.path.join(root, path), encoding="utf-8") as fh:
            lines = fh.read().split("\n")
        for no, line in enumerate(lines, 1):
            if in_block:
                in_block = "*/" not in line
                continue
            if line.lstrip().startswith("/*"):
                in_block = "*/" not in line
                continue
            if SKIP.search(line):
                continue
            code = blank_strings(line)

            def add(kind, new):
                if new != line:
                    out.append({"file": path, "line": no, "kind": kind, "old": line, "new": new})

            for m in re.finditer(r" (<=|>=|==|!=|<|>) ", code):
                op = m.group(1)
                if "<<" in code or ">>" in code or "->" + op in code:
                    continue
                add("compare", line[:m.start(1)] + REL_SWAP[op] + line[m.end(1):])
            for m in re.finditer(r" (&&|\|\|) ", code):
                add("logic", line[:m.start(1)] + LOGIC_SWAP[m.group(1)] + line[m.end(1):])
            for m in re.finditer(r"(?<![\w.])(\d+)(?![\w.'])", code):
                v = int(m.group(1))
                add("constant+1", line[:m.start()] + str(v + 1) + line[m.end():])
                if v > 0:
                    add("constant-1", line[:m.start()] + str(v - 1) + line[m.end():])
            m = COND.match(code)
            if m and balanced(m.group(2)):
                add("negate", line[:m.end(1)] + "!(" + line[m.end(1):m.end(2)] + ")" +
                    line[m.end(2):])
            m = CALL_STMT.match(code)
            if m and balanced(code) and not code.lstrip().startswith(("return", "delete")):
                add("drop-call", m.group(1) + "(void)0;")
    return out


def cmd_list(root, seed, count):
    cands = candidates(root)
    random.Random(seed).shuffle(cands)
    for i, c in enumerate(cands[:count]):
        c["id"] = i + 1
        print(json.dumps(c))
    print(f"{len(cands)} changes found, {min(count, len(cands))} listed (seed {seed})",
          file=sys.stderr)


def locate(lines, want, near):
    hits = [i for i, l in enumerate(lines) if l == want]
    return min(hits, key=lambda i: abs(i + 1 - near)) if hits else None


def run(cmd, timeout, cwd=None, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, env=env, timeout=timeout, capture_output=True, text=True)
        return p.returncode, p.stdout[-2000:] + p.stderr[-2000:]
    except subprocess.TimeoutExpired:
        return "timeout", ""


def area_tests(build, area):
    """The area's test programs as (ninja target, path); end-to-end ones (the whole
    program against the simulator) are left to the full suite: they would relink the
    program for every change."""
    out = subprocess.run(["ninja", "-C", build, "-t", "targets", "all"], capture_output=True,
                         text=True).stdout
    found = []
    for d in AREA_TESTS[area]:
        for m in re.finditer(rf"^tests/{d}/(\w+_tests): ", out, re.M):
            if "e2e" not in m.group(1):
                found.append((m.group(1), os.path.join(build, "tests", d, m.group(1))))
    return found


def build_and_test(build, area, log):
    tests = area_tests(build, area)
    rc, out = run(["ninja", "-C", build, "-j1"] + [t for t, _ in tests], 900)
    if rc != 0:
        log.write(out + "\n")
        return "not-built", []
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    failed = []
    for _, exe in tests:
        rc, out = run([exe, "--gtest_brief=1"], 180, cwd=os.path.dirname(exe), env=env)
        if rc != 0:
            failed.append(f"{os.path.basename(exe)}:{rc}")
            log.write(out + "\n")
            break  # one failing test is enough to count the change as caught
    return ("caught" if failed else "missed"), failed


def cmd_run(root, build, listfile, results):
    done = {}
    if os.path.exists(results):
        with open(results) as fh:
            for line in fh:
                r = json.loads(line)
                done[r["id"]] = r
    with open(listfile) as fh:
        muts = [json.loads(l) for l in fh if l.strip()]
    log = open(results + ".log", "a")
    # The unchanged tree first: an area whose tests fail unchanged cannot judge a change.
    broken = set()
    for area in AREAS:
        status, failed = build_and_test(build, area, log)
        if status != "missed":
            broken.add(area)
            print(f"mutants: {area} fails unchanged ({status} {failed}); its changes are skipped",
                  file=sys.stderr)
    with open(results, "a") as out:
        for m in muts:
            if m["id"] in done:
                continue
            area = m["file"].split("/")[0]
            path = os.path.join(root, m["file"])
            t0 = time.time()
            r = dict(id=m["id"], file=m["file"], kind=m["kind"])
            lines = open(path, encoding="utf-8").read().split("\n") if os.path.exists(path) else []
            at = locate(lines, m["old"], m["line"])
            if area in broken:
                r["status"] = "skipped"
            elif at is None:
                r["status"] = "gone"
            else:
                original = "\n".join(lines)
                lines[at] = m["new"]
                with open(path, "w", encoding="utf-8") as fh:
                    fh.write("\n".join(lines))
                try:
                    log.write(f"--- {m['id']} {m['file']}:{at + 1} {m['kind']}\n")
                    r["status"], r["failed"] = build_and_test(build, area, log)
                finally:
                    with open(path, "w", encoding="utf-8") as fh:
                        fh.write(original)
                r["line"] = at + 1
            r["seconds"] = round(time.time() - t0)
            out.write(json.dumps(r) + "\n")
            out.flush()
            log.flush()
            print(f"mutant {m['id']}: {r['status']} {m['file']}:{r.get('line', m['line'])} "
                  f"{m['kind']}", file=sys.stderr)
    summary(results)


def summary(results):
    rs = [json.loads(l) for l in open(results) if l.strip()]
    count = {}
    for r in rs:
        count[r["status"]] = count.get(r["status"], 0) + 1
    caught, missed = count.get("caught", 0), count.get("missed", 0)
    score = 100.0 * caught / (caught + missed) if caught + missed else 0.0
    print(f"mutants: {len(rs)} run: " + ", ".join(f"{v} {k}" for k, v in sorted(count.items())))
    print(f"mutation score: {score:.1f}% ({caught} of {caught + missed} built changes caught)")
    for r in rs:
        if r["status"] == "missed":
            print(f"  missed: #{r['id']} {r['file']}:{r.get('line')} {r['kind']}")


if __name__ == "__main__":
    what = sys.argv[1]
    if what == "list":
        cmd_list(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif what == "run":
        cmd_run(*sys.argv[2:6])
    elif what == "summary":
        summary(sys.argv[2])
