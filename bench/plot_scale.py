"""Plots bench/results/scale.csv (written by bench/scale_bench.sh).

    python3 bench/plot_scale.py scale.csv scale.png
"""
import csv
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

rows = list(csv.DictReader(open(sys.argv[1])))
words = [int(r["words"]) for r in rows]


def column(name, scale=1.0):
    return [float(r[name]) * scale for r in rows]


panels = [
    ("quarvel_check, checks/s", column("checks_per_s"), "linear"),
    ("first check after open, ms", column("first_check_ms"), "log"),
    ("RSS after the checks, MiB", column("rss_kib", 1 / 1024), "linear"),
    ("PWOpen+FindPW+PWClose per second (after the first)", column("pwopen_findpw_per_s"), "log"),
]
fig, axes = plt.subplots(2, 2, figsize=(11, 7))
limits = [(1 << 22, "2^22"), (1 << 24, "2^24")]
for ax, (title, values, yscale) in zip(axes.flat, panels):
    ax.plot(words, values, marker="o")
    ax.set_xscale("log")
    ax.set_yscale(yscale)
    if yscale == "linear":
        ax.set_ylim(bottom=0, top=max(values) * 1.15)
    ax.set_title(title, fontsize=10)
    ax.set_xlabel("words in the dictionary")
    for x, label in limits:
        ax.axvline(x, color="grey", linestyle=":", linewidth=1)
        ax.text(x, ax.get_ylim()[1], label, fontsize=8, ha="center", va="bottom")
    ax.grid(True, which="both", alpha=0.3)
fig.suptitle("Quarvel at scale: one sweep of dictionary sizes")
fig.tight_layout()
fig.savefig(sys.argv[2], dpi=100)
