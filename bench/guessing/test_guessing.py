#!/usr/bin/env python3
"""Self-check of the guessing benchmark's matcher and Spearman code, each
against a naive model. run.sh runs it before the attacks:

  GUESS_MATCHER=path/to/guess-matcher python3 -m unittest test_guessing
"""
import os
import random
import subprocess
import tempfile
import unittest

import report


def naive_positions(testset, stream, limit):
    """1-based first position of each test password in the first limit lines."""
    first = {}
    for n, line in enumerate(stream[:limit], 1):
        first.setdefault(line, n)
    return [first.get(p, 0) for p in testset]


def naive_spearman(x, y):
    """Rank = number of smaller values + (number of equal values + 1) / 2,
    then the textbook Pearson correlation of the ranks."""
    def ranks(v):
        return [sum(b < a for b in v) + (sum(b == a for b in v) + 1) / 2 for a in v]
    rx, ry = ranks(x), ranks(y)
    n = len(x)
    mx, my = sum(rx) / n, sum(ry) / n
    cov = sum((a - mx) * (b - my) for a, b in zip(rx, ry))
    return cov / (sum((a - mx) ** 2 for a in rx) * sum((b - my) ** 2 for b in ry)) ** 0.5


class MatcherTest(unittest.TestCase):
    def run_matcher(self, testset, data, limit):
        with tempfile.TemporaryDirectory() as tmp:
            tpath, opath = os.path.join(tmp, "t"), os.path.join(tmp, "o")
            with open(tpath, "w") as f:
                f.write("\n".join(testset) + "\n")
            run = subprocess.run([os.environ["GUESS_MATCHER"], tpath, str(limit), opath],
                                 input=data, capture_output=True, check=True)
            with open(opath) as f:
                return [int(x) for x in f.read().split()], run.stderr.decode()

    def test_against_naive_model(self):
        rng = random.Random(7)
        alphabet = "ab1!"
        pool = sorted({"".join(rng.choice(alphabet) for _ in range(rng.randint(1, 6)))
                       for _ in range(400)})
        testset = rng.sample(pool, 60) + ["never in the stream", "x" * 300]
        # Over 2 MiB of candidates, so that lines cross the reader's buffer;
        # long lines, duplicates and near misses (a prefix, a longer line).
        stream = []
        while sum(len(s) + 1 for s in stream) < (5 << 19):
            r = rng.random()
            stream.append(rng.choice(pool) if r < 0.9 else
                          "y" * rng.randint(1000, 70000) if r < 0.91 else
                          rng.choice(testset)[:-1] + "?")
        stream.append("x" * 300)
        data = ("\n".join(stream) + "\n").encode()
        for limit in (1, 1000, 123457, len(stream), len(stream) + 10):
            got, summary = self.run_matcher(testset, data, limit)
            self.assertEqual(got, naive_positions(testset, stream, limit), f"limit {limit}")
            self.assertIn(f"candidates {min(limit, len(stream))} ", summary)

    def test_last_line_without_line_end(self):
        got, _ = self.run_matcher(["abc", "de"], b"zz\nabc\nde", 10)
        self.assertEqual(got, [2, 3])


class SpearmanTest(unittest.TestCase):
    def test_against_naive_model(self):
        rng = random.Random(11)
        for n in (2, 3, 10, 57, 200):
            x = [rng.randint(0, 9) for _ in range(n)]          # many ties
            y = [v + rng.gauss(0, 3) for v in x]
            if n > 2:
                y[0] = y[-1]                                      # a tie in y too
            if len(set(x)) < 2:
                x[0] += 1
            self.assertAlmostEqual(report.spearman(x, y), naive_spearman(x, y), places=12)

    def test_monotone(self):
        x = [1, 5, 2, 8, 3]
        self.assertAlmostEqual(report.spearman(x, [10 ** v for v in x]), 1.0)
        self.assertAlmostEqual(report.spearman(x, [-v for v in x]), -1.0)


if __name__ == "__main__":
    unittest.main()
