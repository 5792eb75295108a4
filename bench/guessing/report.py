#!/usr/bin/env python3
"""The report of the guessing benchmark: estimates against guess numbers.

usage: report.py WORK RESULTS LIMIT

WORK is the folder run.sh fills:
  testset.tsv               kind TAB password, one a line
  attacks/NAME.pos          per test password: its guess number in attack NAME, 0 = not found
  attacks/NAME.meta         key=value lines: command, candidates, seconds, cpu, exhausted
  estimates/TOOL.txt        per test password: the tool's log10 of guesses
  estimates/TOOL.version    the tool's version
  estimates/TOOL.failed     instead of the two above: why the tool gave no estimates

Writes RESULTS/guessing.txt (the tables) and RESULTS/guessing.png (estimate
against guess number, log-log, one colour per tool, with gnuplot). Exits 3
when Quarvel gave no estimates, after writing both.

A password counts as found when some attack held it within its first LIMIT
candidates; its guess number is then the smallest over the attacks.
"""
import math
import os
import statistics
import subprocess
import sys
import time

TOOLS = [("quarvel", "Quarvel"), ("zxcvbn", "zxcvbn"), ("zxcvbn-ts", "zxcvbn-ts")]
ATTACK_ORDER = [
    "wordlist", "incremental", "digits", "combinator", "repeats", "keyboard", "double", "subsets"
]
NO_ESTIMATE = 3
EASY_GUESSES = 1e6        # found within this many guesses ...
EASY_ESTIMATE = 8.0       # ... should be estimated below 10^8
STRONG_ESTIMATE = 10.0    # controls no attack found should be estimated above 10^10
TARGET_RHO, TARGET_EASY, TARGET_STRONG = 0.75, 0.98, 0.99


# --- statistics -----------------------------------------------------------------

def average_ranks(values):
    """1-based ranks of values; tied values share the mean of their ranks."""
    order = sorted(range(len(values)), key=lambda i: values[i])
    ranks = [0.0] * len(values)
    start = 0
    while start < len(order):
        end = start
        while end + 1 < len(order) and values[order[end + 1]] == values[order[start]]:
            end += 1
        mean = (start + end) / 2 + 1
        for k in range(start, end + 1):
            ranks[order[k]] = mean
        start = end + 1
    return ranks


def pearson(x, y):
    n = len(x)
    mx, my = sum(x) / n, sum(y) / n
    sxy = sum((a - mx) * (b - my) for a, b in zip(x, y))
    sxx = sum((a - mx) ** 2 for a in x)
    syy = sum((b - my) ** 2 for b in y)
    if sxx == 0 or syy == 0:
        return float("nan")
    return sxy / math.sqrt(sxx * syy)


def spearman(x, y):
    """Spearman's rank correlation, ties by average ranks (as scipy's)."""
    if len(x) != len(y):
        raise ValueError("spearman: lengths differ")
    if len(x) < 2:
        return float("nan")
    return pearson(average_ranks(x), average_ranks(y))


# --- inputs ---------------------------------------------------------------------

def read_numbers(path, kind=float):
    with open(path, encoding="ascii") as f:
        return [kind(line) for line in f if line.strip()]


def read_meta(path):
    meta = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            meta[key] = value
    return meta


def load(work):
    with open(os.path.join(work, "testset.tsv"), encoding="ascii") as f:
        rows = [line.rstrip("\n").split("\t", 1) for line in f if line.strip()]
    kinds = [k for k, _ in rows]
    passwords = [p for _, p in rows]
    attacks = {}
    names = sorted(n[:-4] for n in os.listdir(os.path.join(work, "attacks")) if n.endswith(".pos"))
    names.sort(key=lambda n: (ATTACK_ORDER.index(n) if n in ATTACK_ORDER else len(ATTACK_ORDER), n))
    for name in names:
        pos = read_numbers(os.path.join(work, "attacks", name + ".pos"), int)
        if len(pos) != len(passwords):
            sys.exit(f"attack {name}: {len(pos)} guess numbers for {len(passwords)} passwords")
        attacks[name] = (pos, read_meta(os.path.join(work, "attacks", name + ".meta")))
    estimates = {}
    for tool, _ in TOOLS:
        base = os.path.join(work, "estimates", tool)
        if os.path.exists(base + ".txt") and not os.path.exists(base + ".failed"):
            values = read_numbers(base + ".txt")
            if len(values) != len(passwords):
                sys.exit(f"{tool}: {len(values)} estimates for {len(passwords)} passwords")
            with open(base + ".version", encoding="utf-8") as f:
                estimates[tool] = (values, f.read().strip())
        else:
            reason = "no estimates"
            if os.path.exists(base + ".failed"):
                with open(base + ".failed", encoding="utf-8") as f:
                    reason = f.read().strip() or reason
            estimates[tool] = (None, reason)
    return kinds, passwords, attacks, estimates


def overlap_with_dictionary_sources(passwords):
    """How many test passwords the default dictionary's source lists hold as
    they are (None when python3-zxcvbn cannot be read)."""
    try:
        from zxcvbn.frequency_lists import FREQUENCY_LISTS
    except ImportError:
        return None
    listed = set()
    for words in FREQUENCY_LISTS.values():
        listed.update(words)
    for path in ("/usr/share/john/password.lst", "/usr/share/dict/american-english"):
        with open(path, encoding="utf-8", errors="replace") as f:
            listed.update(line.rstrip("\n") for line in f)
    return sum(p in listed for p in passwords)


# --- figures --------------------------------------------------------------------

def figures(values, best, kinds, limit):
    found = [i for i, g in enumerate(best) if g > 0]
    rho = spearman([values[i] for i in found], [best[i] for i in found])
    easy = [i for i in found if best[i] <= EASY_GUESSES]
    easy_ok = sum(values[i] < EASY_ESTIMATE for i in easy)
    strong = [i for i, k in enumerate(kinds) if k.startswith("control:") and best[i] == 0]
    strong_ok = sum(values[i] > STRONG_ESTIMATE for i in strong)
    return {
        "rho": rho, "n_found": len(found),
        "easy": easy_ok / len(easy) if easy else float("nan"), "n_easy": len(easy),
        "easy_ok": easy_ok,
        "strong": strong_ok / len(strong) if strong else float("nan"), "n_strong": len(strong),
        "strong_ok": strong_ok,
    }


def pct(x):
    return "n/a" if math.isnan(x) else f"{100 * x:.1f}%"


def fmt_int(n):
    return f"{int(n):,}"


def fmt_guesses(g):
    return "—" if g is None else f"10^{math.log10(g):.1f}" if g >= 1000 else str(int(g))


def tables(kinds, passwords, attacks, estimates, limit):
    best = [min((pos[i] for pos, _ in attacks.values() if pos[i] > 0), default=0)
            for i in range(len(passwords))]
    lines = []
    controls = sum(k.startswith("control:") for k in kinds)
    overlap = overlap_with_dictionary_sources(passwords)
    lines.append(f"Test set: {fmt_int(len(passwords))} passwords (bench/guessing/make_testset.py, "
                 f"fixed seed): {fmt_int(len(passwords) - controls)} human-like, "
                 f"{fmt_int(controls)} strong controls.")
    if overlap is not None:
        lines.append(f"Of them, {fmt_int(overlap)} appear as they are in the default dictionary's "
                     "source lists (drawn from other lists: plain words, names, keyboard walks "
                     "and digit strings that those lists hold too).")
    lines.append(f"Attacks: up to {fmt_int(limit)} candidates each, niced (nice -n 10), one after "
                 f"the other; {os.cpu_count()} cores shared with other work; "
                 f"{time.strftime('%Y-%m-%d', time.gmtime())}.")
    lines.append("")
    lines.append("| Attack | Candidates | Found | Seconds | Candidates/s | Matcher CPU s |")
    lines.append("|---|--:|--:|--:|--:|--:|")
    for name, (pos, meta) in attacks.items():
        cand = int(meta.get("candidates", 0))
        secs = float(meta.get("seconds", "nan"))
        note = " (list exhausted)" if meta.get("exhausted") == "1" else ""
        lines.append(f"| {name}: `{meta.get('command', '?')}` | {fmt_int(cand)}{note} | "
                     f"{fmt_int(sum(p > 0 for p in pos))} | {secs:.0f} | "
                     f"{fmt_int(cand / secs) if secs > 0 else 'n/a'} | "
                     f"{float(meta.get('cpu', 'nan')):.0f} |")
    n_found = sum(g > 0 for g in best)
    lines.append(f"| any attack (smallest guess number) | | {fmt_int(n_found)} | | | |")
    lines.append("")

    lines.append(f"| Tool | Version | Spearman ρ, estimate vs guess number (found) | "
                 f"found within 10^6, estimated below 10^8 | strong controls not found, "
                 f"estimated above 10^10 |")
    lines.append("|---|---|--:|--:|--:|")
    results = {}
    for tool, label in TOOLS:
        values, version = estimates[tool]
        if values is None:
            lines.append(f"| {label} | {version} | — | — | — |")
            continue
        f = figures(values, best, kinds, limit)
        results[tool] = f
        lines.append(f"| {label} | {version} | {f['rho']:.3f} (n = {fmt_int(f['n_found'])}) | "
                     f"{pct(f['easy'])} ({f['easy_ok']} of {f['n_easy']}) | "
                     f"{pct(f['strong'])} ({f['strong_ok']} of {f['n_strong']}) |")
    lines.append("")
    if "quarvel" in results:
        q = results["quarvel"]
        peers = [results[t]["rho"] for t in ("zxcvbn", "zxcvbn-ts") if t in results]
        checks = [
            (f"ρ ≥ {TARGET_RHO} and above both peers",
             q["rho"] >= TARGET_RHO and all(q["rho"] > p for p in peers)),
            (f"found within 10^6 estimated below 10^8 ≥ {TARGET_EASY:.0%}", q["easy"] >= TARGET_EASY),
            (f"strong controls not found estimated above 10^10 ≥ {TARGET_STRONG:.0%}",
             q["strong"] >= TARGET_STRONG),
        ]
        lines.append("Quarvel's targets: " + "; ".join(
            f"{what}: {'met' if ok else 'MISSED'}" for what, ok in checks) + ".")
    else:
        lines.append(f"Quarvel: {estimates['quarvel'][1]}.")
    lines.append("")

    # By kind: how the attacks did, and each tool's median estimate.
    labels = [label for tool, label in TOOLS if estimates[tool][0] is not None]
    lines.append("| Kind | Passwords | Found | Median guess number (found) | "
                 + " | ".join(f"{l} median log10" for l in labels) + " |")
    lines.append("|---|--:|--:|--:|" + "--:|" * len(labels))
    for kind in sorted(set(kinds)):
        idx = [i for i, k in enumerate(kinds) if k == kind]
        got = [best[i] for i in idx if best[i] > 0]
        med = statistics.median(got) if got else None
        cells = [f"{statistics.median(estimates[t][0][i] for i in idx):.1f}"
                 for t, _ in TOOLS if estimates[t][0] is not None]
        lines.append(f"| {kind} | {len(idx)} | {len(got)} | {fmt_guesses(med)} | "
                     + " | ".join(cells) + " |")
    return best, results, "\n".join(lines) + "\n"


def plot(work, results_dir, kinds, best, estimates, limit):
    """Writes one data file per tool and draws them with gnuplot."""
    plot_dir = os.path.join(work, "plot")
    os.makedirs(plot_dir, exist_ok=True)
    beyond = limit * 10  # where passwords no attack found are drawn
    series = []
    for tool, label in TOOLS:
        values = estimates[tool][0]
        if values is None:
            continue
        path = os.path.join(plot_dir, tool + ".dat")
        with open(path, "w", encoding="ascii") as f:
            for i, v in enumerate(values):
                # A small spread keeps the points of one guess number apart.
                jitter = 10 ** (((i * 7919) % 101 - 50) / 400)
                x = best[i] if best[i] > 0 else beyond * 10 ** (((i * 104729) % 101) / 101 * 0.6)
                f.write(f"{x * (jitter if best[i] > 0 else 1):.6g} {10 ** min(v, 300):.6g}\n")
        series.append((path, label))
    if not series:
        return
    # Translucent points (alpha in the first byte), Quarvel drawn last.
    colours = {"Quarvel": "#60d62728", "zxcvbn": "#601f77b4", "zxcvbn-ts": "#602ca02c"}
    series.sort(key=lambda s: s[1] == "Quarvel")
    term = "pngcairo size 1000,760 font ',11'"
    if subprocess.run(["gnuplot", "-e", "set terminal pngcairo"], capture_output=True).returncode:
        term = "png size 1000,760"
    top = max(max(estimates[t][0]) for t, _ in TOOLS if estimates[t][0] is not None)
    xtics = ", ".join(f"'10^{{{k}}}' 1e{k}" for k in range(0, int(math.log10(limit)) + 1))
    plots = ", ".join(
        f"'{path}' using 1:2 with points pt 7 ps 0.4 lc rgb '{colours[label]}' "
        f"title '{label}'" for path, label in series)
    script = f"""
set terminal {term}
set output '{os.path.join(results_dir, 'guessing.png')}'
set title "Estimated guesses against the attacks' guess number ({len(best):,} passwords)"
set logscale xy
set format y '10^{{%L}}'
set xlabel 'guess number: first position in the attacks (the smallest over them)'
set ylabel 'estimated guesses'
set xrange [1:{beyond * 10:g}]
set yrange [1:1e{math.ceil(top) + 2}]
set xtics ({xtics}, 'not found' {beyond * 2:g})
set key top left opaque samplen 1
set grid
set arrow from {limit:g}, graph 0 to {limit:g}, graph 1 nohead dt 2 lc rgb '#555555'
plot (x <= {limit:g} ? x : 1/0) with lines dt 3 lc rgb '#555555' title 'estimate = guess number', {plots}
"""
    with open(os.path.join(plot_dir, "guessing.gp"), "w", encoding="utf-8") as f:
        f.write(script)
    subprocess.run(["gnuplot", os.path.join(plot_dir, "guessing.gp")], check=True)


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: report.py WORK RESULTS LIMIT")
    work, results_dir, limit = sys.argv[1], sys.argv[2], int(float(sys.argv[3]))
    kinds, passwords, attacks, estimates = load(work)
    best, _, text = tables(kinds, passwords, attacks, estimates, limit)
    os.makedirs(results_dir, exist_ok=True)
    with open(os.path.join(results_dir, "guessing.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    sys.stdout.write(text)
    plot(work, results_dir, kinds, best, estimates, limit)
    if estimates["quarvel"][0] is None:
        return NO_ESTIMATE
    return 0


if __name__ == "__main__":
    sys.exit(main())
