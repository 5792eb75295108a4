"""The quarvel command, driven as a user drives it, each test in a root
folder of its own: batch checking with JSON, exit statuses, the no-echo
prompt and the progress bar under a pseudo-terminal, an interrupted build,
info on damaged dictionaries, and --help everywhere.

usage: cli_test.py [unittest arguments]; QUARVEL_BIN names the executable,
QUARVEL_SHIPPED_CONFIG the shipped conf/quarvel.ini.
"""

import json
import math
import os
import pty
import random
import re
import select
import shutil
import signal
import subprocess
import tempfile
import termios
import time
import unittest

QUARVEL = os.environ["QUARVEL_BIN"]
SHIPPED_CONFIG = os.environ["QUARVEL_SHIPPED_CONFIG"]

# Words of the test dictionary, and a password no variant of which is there.
WORDS = ["dragon", "password", "monkey", "sunshine", "letmein", "shadow", "football", "tiger42",
         "99nomel"]
UNLISTED = "Zq9!vK#2mW@x"
FIELD_NAMES = ["RT_LEVEL", "PW_LEN", "PW_NCR", "REPT_NCR", "CTS_NCR", "DICT_FD_CNT", "PDICT_FD"]


def run(*args, stdin=None, root=None):
    command = [QUARVEL, *args]
    return subprocess.run(command, input=stdin, capture_output=True, timeout=120, cwd=root)


def make_root(test, settings=None):
    """A root folder: the shipped configuration (with settings changed) and
    dicts/default_dict built by quarvel build from WORDS."""
    root = tempfile.mkdtemp(prefix="quarvel-cli-")
    test.addCleanup(shutil.rmtree, root, ignore_errors=True)
    os.makedirs(os.path.join(root, "conf"))
    os.makedirs(os.path.join(root, "dicts"))
    with open(SHIPPED_CONFIG) as f:
        config = f.read()
    for key, value in (settings or {}).items():
        config, n = re.subn(r"^%s=.*$" % re.escape(key), "%s=%s" % (key, value), config,
                            flags=re.M)
        test.assertEqual(n, 1, key)
    with open(os.path.join(root, "conf", "quarvel.ini"), "w") as f:
        f.write(config)
    words = os.path.join(root, "words.txt")
    with open(words, "w") as f:
        f.write("\n".join(WORDS) + "\n")
    built = run("build", "--root", root, "--prefix", "dicts/default_dict", words)
    test.assertEqual(built.returncode, 0, built.stderr)
    return root


def result_lines(stdout):
    """The result lines of check's text output, without the advice lines
    (indented by two spaces) that follow each."""
    return [line for line in stdout.decode().splitlines() if not line.startswith("  ")]


def answer_fields(answer):
    """The fields of an answer text such as RET_CD=0000:RT_LEVEL=1:..."""
    return dict(part.split("=", 1) for part in answer.split(":"))


class CheckTest(unittest.TestCase):
    def setUp(self):
        self.root = make_root(self, {"quarvel_search.pw_reverse": "1",
                                     "quarvel_rule.postfix_num": "2"})

    def test_json_batch(self):
        lines = ["password", "nogard12", "", UNLISTED, "x" * 300, "monkey\r", "Sunshine", "tiger",
                 "lemon"]
        out = run("check", "--root", self.root, "--json",
                  stdin="\n".join(lines).encode() + b"\n")
        self.assertEqual(out.returncode, 1, out.stderr)
        results = [json.loads(line) for line in out.stdout.decode().splitlines()]
        self.assertEqual([r["line"] for r in results], list(range(1, len(lines) + 1)))
        for r in results:
            for key in ("line", "code", "level", "fields", "stages", "match", "answer"):
                self.assertIn(key, r)
            self.assertNotIn("password", r)
            if r["code"] != 0:
                self.assertEqual(r["answer"], "RET_CD=%04d" % r["code"])
                self.assertIsNone(r["fields"])
                continue
            # The fields agree with the answer text, stage scores never rise,
            # and the level is the answer's.
            answer = answer_fields(r["answer"])
            self.assertEqual(sorted(r["fields"]), sorted(FIELD_NAMES))
            for name in FIELD_NAMES:
                self.assertEqual(str(r["fields"][name]), answer[name], name)
            self.assertEqual(len(r["stages"]), 6)
            self.assertEqual(r["stages"], sorted(r["stages"], reverse=True))
            self.assertEqual(r["level"], r["fields"]["RT_LEVEL"])
        by_line = {r["line"]: r for r in results}
        self.assertEqual(by_line[3]["code"], 2000)  # empty line
        self.assertEqual(by_line[5]["code"], 2000)  # too long
        self.assertEqual(by_line[6]["fields"]["PW_LEN"], 6)  # carriage return dropped
        for line, word in ((1, "password"), (2, "dragon"), (6, "monkey"), (7, "sunshine")):
            match = by_line[line]["match"]
            self.assertEqual(match["kind"], "dictionary", line)
            self.assertEqual(match["word"], word)
            self.assertEqual(match["slot"], 0)
            self.assertTrue(match["prefix"].endswith("default_dict"))
            self.assertEqual(by_line[line]["stages"][3] - by_line[line]["stages"][4], 1)
        self.assertIn("reversed", by_line[2]["match"]["variants"])
        # The number search: the stored word is the password with a number.
        self.assertEqual(by_line[8]["match"]["word"], "tiger42")
        self.assertEqual(by_line[8]["match"]["affix"], "42")
        self.assertEqual(by_line[8]["match"]["variants"], ["suffix"])
        self.assertEqual(by_line[9]["match"]["word"], "99nomel")
        self.assertEqual(by_line[9]["match"]["variants"], ["reversed", "suffix"])
        self.assertIsNone(by_line[4]["match"])
        self.assertNotIn(UNLISTED.encode(), out.stdout)

        shown = run("check", "--root", self.root, "--json", "--show-password",
                    stdin=(UNLISTED + "\n").encode())
        self.assertEqual(json.loads(shown.stdout)["password"], UNLISTED)

    def test_human_lines_give_a_reason_per_lost_point(self):
        out = run("check", "--root", self.root, "lemon", UNLISTED, "aaaa")
        lines = result_lines(out.stdout)
        self.assertEqual(len(lines), 3)
        self.assertTrue(lines[0].startswith("argument 1: level "), lines[0])
        self.assertIn("in dictionary ./dicts/default_dict: reversed form of the dictionary word "
                      "'99nomel' without its suffix 99", lines[0])
        self.assertTrue(lines[1].startswith("argument 2: level "), lines[1])
        self.assertNotIn(UNLISTED, out.stdout.decode())
        self.assertIn("distinct characters", lines[2])
        # One reason per lost point: base score minus the reasons' points
        # gives the final score, which the JSON output states.
        for password, line in zip(("lemon", UNLISTED, "aaaa"), lines):
            stages = json.loads(run("check", "--root", self.root, "--json", password).stdout)[
                "stages"]
            lost = sum(int(n) for n in re.findall(r"; -(\d+) ", line))
            self.assertIn("base score %d" % stages[0], line)
            self.assertEqual(stages[0] - lost, stages[5], line)

    def test_jobs_keep_the_input_order(self):
        rng = random.Random(7)
        alphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJ0123456789!@#"
        lines = []
        for i in range(10000):
            if i % 5 == 0:
                lines.append(rng.choice(WORDS) + str(rng.randrange(100)))
            else:
                lines.append("".join(rng.choice(alphabet) for _ in range(rng.randrange(1, 20))))
        data = ("\n".join(lines) + "\n").encode()
        one = run("check", "--root", self.root, "--json", stdin=data)
        three = run("check", "--root", self.root, "--json", "--jobs", "3", stdin=data)
        self.assertEqual(one.stdout, three.stdout)
        self.assertEqual(one.returncode, three.returncode)
        self.assertEqual(len(one.stdout.splitlines()), len(lines))

    def test_explain_names_each_stage_and_the_match(self):
        out = run("explain", "--root", self.root, "nogard12")
        self.assertEqual(out.returncode, 0, out.stderr)
        text = out.stdout.decode()
        for stage in range(1, 7):
            self.assertIn("Stage %d, " % stage, text)
        self.assertIn("found in dictionary 1 of 1, ./dicts/default_dict, as reversed form of the "
                      "dictionary word 'dragon', by rule '[[' (first 2 characters removed). "
                      "1 point lost.", text)
        self.assertIn("Stage 6, personal dictionary: not in use.", text)
        self.assertNotIn("nogard12", text)
        tiger = run("explain", "--root", self.root, "tiger").stdout.decode()
        self.assertIn("the dictionary word 'tiger42' without its suffix 42", tiger)

    def test_json_reasons_and_steps_are_the_lines_reasons(self):
        passwords = ["Dragon12", "lemon", "aaaa"]
        results = [json.loads(line) for line in
                   run("check", "--root", self.root, "--json", *passwords).stdout.splitlines()]
        lines = result_lines(run("check", "--root", self.root, *passwords).stdout)
        for r, line in zip(results, lines):
            # The line's reasons are the JSON's texts, point for point.
            said = "".join("; -%d %s" % (x["points"], x["text"]) for x in r["reasons"]
                           if x["points"] > 0)
            self.assertTrue(line.endswith(said), (line, said))
            self.assertEqual([x["stage"] for x in r["reasons"]],
                             sorted(x["stage"] for x in r["reasons"]))
        dragon, lemon, aaaa = results
        self.assertEqual([(x["stage"], x["code"]) for x in dragon["reasons"]], [(5, "dictionary")])
        steps = dragon["match"]["steps"]
        self.assertIn(steps[0], [{"code": "lowercased"}, {"code": "capitalised"}])
        rule = [s["code"] for s in steps].index("rule")
        self.assertEqual(steps[rule]["arg"], "]]")
        self.assertEqual(steps[rule + 1], {"code": "cut_last", "count": 2})
        self.assertCountEqual(lemon["match"]["steps"],
                              [{"code": "suffix", "arg": "99"}, {"code": "reversed"}])
        distinct = [x for x in aaaa["reasons"] if x["code"] == "few_distinct"]
        self.assertEqual(len(distinct), 1)
        self.assertEqual((distinct[0]["stage"], distinct[0]["value"]), (2, 1))
        self.assertGreater(distinct[0]["limit"], 1)


class ExplanationCodesTest(unittest.TestCase):
    """The codes of the extended search's hits and patterns."""

    def setUp(self):
        self.root = make_root(self, {"quarvel_search.extended": "1"})

    def check(self, password):
        return json.loads(run("check", "--root", self.root, "--json", password).stdout)

    def test_extended_hit_and_pattern(self):
        summer = self.check("Dragon2024!")
        self.assertEqual(summer["match"]["word"], "dragon")
        self.assertEqual(summer["match"]["steps"],
                         [{"code": "capitalised"},
                          {"code": "cut_end", "piece": "year", "arg": "2024"},
                          {"code": "cut_end", "piece": "symbols", "arg": "!"}])
        codes = [(x["stage"], x["code"]) for x in summer["reasons"]]
        self.assertIn((5, "dictionary"), codes)
        if summer["stages"][5] > 2:
            self.assertIn((0, "level_capped"), codes)
            explained = run("explain", "--root", self.root, "Dragon2024!").stdout.decode()
            self.assertRegex(explained, r"Level 2 of 4 \(fair\): a found password is rated at "
                             r"most level 2 \(the score gave level [34]\)\.")
        line = run("check", "--root", self.root, "Dragon2024!").stdout.decode()
        self.assertIn("the dictionary word 'dragon' (capitalised, year 2024 and '!' cut from the "
                      "end)", line)

        walk = self.check("qwertyuiop")
        self.assertEqual(walk["match"]["kind"], "pattern")
        self.assertEqual([(x["stage"], x["code"]) for x in walk["reasons"]][:1], [(5, "pattern")])
        self.assertEqual(walk["match"]["steps"],
                         [{"code": "pattern", "piece": "keyboard_walk", "arg": "qwertyuiop"}])


class GuessEstimateTest(unittest.TestCase):
    """The estimate in JSON, on the text lines and in explain, and
    --min-guesses, with what holds whatever the library's tuning (the
    wording itself is cli_report_test's)."""

    RATES = {"online_throttled": 100 / 3600, "online": 10, "offline_slow_hash": 1e4,
             "offline_fast_hash": 1e10}

    def setUp(self):
        self.root = make_root(self, {"quarvel_search.extended": "1"})

    def test_json_estimate_is_consistent(self):
        rng = random.Random(11)
        noise = "".join(rng.choice("abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789!#%")
                        for _ in range(20))
        passwords = ["password", noise, "Dragon2024!", "qwertyuiop", ""]
        out = run("check", "--root", self.root, "--json", *passwords)
        results = [json.loads(line) for line in out.stdout.decode().splitlines()]
        self.assertLess(results[0]["guesses_log10"], 6)
        self.assertGreater(results[1]["guesses_log10"], 10)
        self.assertIsNotNone(results[0]["warning"])
        for password, r in zip(passwords[:-1], results):
            self.assertEqual(set(r["crack_seconds"]), set(self.RATES), password)
            for attack, rate in self.RATES.items():
                self.assertAlmostEqual(math.log10(r["crack_seconds"][attack]),
                                       r["guesses_log10"] - math.log10(rate), places=6)
            # The pieces cover the password left to right, without gaps.
            ends = [0] + [p["start"] + p["length"] for p in r["pieces"]]
            self.assertEqual([p["start"] for p in r["pieces"]], ends[:-1], password)
            self.assertEqual(ends[-1], len(password))
        # A password not graded has no estimate.
        for key in ("guesses_log10", "crack_seconds", "pieces", "warning", "suggestions"):
            self.assertIsNone(results[-1][key], key)

    def test_text_and_explain_show_the_estimate_and_advice(self):
        r = json.loads(run("check", "--root", self.root, "--json", "password").stdout)
        lines = run("check", "--root", self.root, "password").stdout.decode().splitlines()
        self.assertTrue(lines[0].startswith("argument 1: level 1 (weak)"), lines)
        self.assertRegex(lines[1], r"^  about 10\^%.1f guesses; online: .+, offline fast hash: "
                         % r["guesses_log10"])
        self.assertEqual(lines[2:], ["  warning: " + r["warning"]["text"]] +
                         ["  suggestion: " + s["text"] for s in r["suggestions"]])
        explained = run("explain", "--root", self.root, "password").stdout.decode()
        self.assertIn("Guess estimate: about 10^%.1f guesses; online throttled: "
                      % r["guesses_log10"], explained)
        self.assertIn("Piece 1, bytes 1-8: dictionary word 'password' (rank ", explained)
        self.assertIn("\nWarning: %s\n" % r["warning"]["text"], explained)
        self.assertTrue(explained.endswith("Answer: %s\n" % r["answer"]))

    def test_min_guesses(self):
        password = "Tq7%vLm2xPw9"
        plain = json.loads(run("check", "--root", self.root, "--json", password).stdout)
        self.assertGreaterEqual(plain["level"], 3)

        def check(offset):
            out = run("check", "--root", self.root, "--json", "--min-level", "3",
                      "--min-guesses", "%.3f" % (plain["guesses_log10"] + offset), password)
            return out.returncode, json.loads(out.stdout)

        self.assertEqual(check(-0.5), (0, plain))
        status, capped = check(0.5)
        self.assertEqual((status, capped["level"], capped["fields"]["RT_LEVEL"]), (1, 2, 2))
        self.assertEqual(capped["reasons"][-1]["code"], "few_guesses")
        for bad in ("-1", "100.5", "ten", "nan", "inf"):
            self.assertEqual(run("check", "--root", self.root, "--min-guesses", bad,
                                 password).returncode, 2, bad)


class ExitStatusTest(unittest.TestCase):
    def test_statuses(self):
        root = make_root(self)
        cases = [
            (["check", "--root", root, UNLISTED], 0),
            (["check", "--root", root, UNLISTED, "password"], 0),
            (["check", "--root", root, "--min-level", "4", UNLISTED, "password"], 1),
            (["check", "--root", root, ""], 1),
            (["check", "--root", root, "--min-level", "5", UNLISTED], 2),
            (["check", "--root", root, "--no-such-option"], 2),
            (["frobnicate"], 2),
            ([], 2),
            (["build", "--root", root, "words.txt"], 2),  # no --prefix
            (["check", "--root", os.path.join(root, "dicts"), UNLISTED], 3),  # no configuration
            (["check", "--root", os.path.join(root, "missing"), UNLISTED], 3),  # no such folder
            (["explain", "--root", os.path.join(root, "missing"), UNLISTED], 3),
            (["info", "--root", root, "--prefix", "dicts/none"], 3),
            (["dump", "--root", root, "--prefix", "dicts/none"], 3),
            (["build", "--root", root, "--prefix", "dicts/x", "no-such-list"], 1),
        ]
        for args, status in cases:
            out = run(*args, root=root)
            self.assertEqual(out.returncode, status, (args, out.stderr))
        # Without its default dictionary the environment does not open.
        for ext in (".pwd", ".pwi", ".hwm"):
            os.remove(os.path.join(root, "dicts", "default_dict" + ext))
        out = run("check", "--root", root, UNLISTED)
        self.assertEqual(out.returncode, 3)
        self.assertIn("1002", out.stderr.decode())


def read_until(fd, pattern, timeout=30):
    """Reads fd until pattern (bytes) has been seen; answers all read."""
    data = b""
    deadline = time.time() + timeout
    while pattern not in data and time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], 0.1)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            data += chunk
    return data


def drain(fd):
    data = b""
    while True:
        ready, _, _ = select.select([fd], [], [], 0.2)
        if not ready:
            return data
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            return data
        if not chunk:
            return data
        data += chunk


class TerminalTest(unittest.TestCase):
    def test_prompt_does_not_echo(self):
        root = make_root(self)
        for command in ("check", "explain"):
            master, slave = pty.openpty()
            self.addCleanup(os.close, master)
            proc = subprocess.Popen([QUARVEL, command, "--root", root], stdin=slave,
                                    stdout=subprocess.PIPE, stderr=slave)
            os.close(slave)
            self.assertIn(b"Password: ", read_until(master, b"Password: "))
            os.write(master, (UNLISTED + "\n").encode())
            stdout, _ = proc.communicate(timeout=60)
            shown = drain(master)
            self.assertNotIn(UNLISTED.encode(), shown, command)
            self.assertNotIn(UNLISTED.encode(), stdout, command)
            self.assertEqual(proc.returncode, 0, command)
            if command == "check":
                self.assertRegex(stdout.decode(), r"^line 1: level [1-4] ")
            else:
                self.assertIn("Stage 6, ", stdout.decode())

    def test_prompt_gives_echo_back_when_interrupted(self):
        root = make_root(self)
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        proc = subprocess.Popen([QUARVEL, "check", "--root", root], stdin=slave,
                                stdout=subprocess.PIPE, stderr=slave)
        read_until(master, b"Password: ")
        self.assertFalse(termios.tcgetattr(slave)[3] & termios.ECHO)
        proc.send_signal(signal.SIGINT)
        proc.communicate(timeout=60)
        self.assertEqual(proc.returncode, 130)
        self.assertTrue(termios.tcgetattr(slave)[3] & termios.ECHO)
        os.close(slave)

    def test_progress_bar_on_a_terminal_only(self):
        root = make_root(self)
        words = os.path.join(root, "many.txt")
        with open(words, "w") as f:
            for i in range(200000):
                f.write("word%d\n" % i)
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        proc = subprocess.Popen([QUARVEL, "build", "--root", root, "--prefix", "dicts/many",
                                 words], stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        stdout, _ = proc.communicate(timeout=120)
        bar = drain(master).decode(errors="replace")
        self.assertEqual(proc.returncode, 0)
        self.assertRegex(bar, r"(reading|sorting|writing)  ")
        self.assertIn(" words", bar)
        self.assertIn("elapsed", bar)
        self.assertRegex(stdout.decode(), r"^built .*many: 200,000 words \(standard layout\) "
                                          r"from 200,000 lines")
        # Standard error that is no terminal gets no bar.
        plain = run("build", "--root", root, "--prefix", "dicts/many", words)
        self.assertEqual(plain.stderr, b"")


class InterruptedBuildTest(unittest.TestCase):
    def test_interrupted_build_leaves_the_old_dictionary(self):
        root = make_root(self)
        dicts = os.path.join(root, "dicts")
        big = os.path.join(root, "big.txt")
        rng = random.Random(3)
        with open(big, "w") as f:
            for _ in range(2500000):
                f.write("%x%s\n" % (rng.getrandbits(48), rng.choice(WORDS)))

        def snapshot():
            files = {}
            for name in sorted(os.listdir(dicts)):
                with open(os.path.join(dicts, name), "rb") as f:
                    files[name] = f.read()
            return files

        before = snapshot()
        for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143)):
            master, slave = pty.openpty()
            self.addCleanup(os.close, master)
            proc = subprocess.Popen([QUARVEL, "build", "--root", root, "--prefix",
                                     "dicts/default_dict", big], stdout=subprocess.PIPE,
                                    stderr=slave)
            os.close(slave)
            progress = read_until(master, b"words")
            self.assertIn(b"reading", progress)
            proc.send_signal(sig)
            stdout, _ = proc.communicate(timeout=120)
            self.assertEqual(proc.returncode, status, drain(master))
            self.assertEqual(stdout, b"")
            self.assertEqual(snapshot(), before)  # same files, byte for byte, nothing more
            self.assertEqual(sorted(os.listdir(root)),
                             ["big.txt", "conf", "dicts", "words.txt"])


class DictionaryTest(unittest.TestCase):
    def test_info_dump_and_damage(self):
        root = make_root(self)
        prefix = os.path.join(root, "dicts", "default_dict")
        info = run("info", "--root", root, "--prefix", "dicts/default_dict", "--json")
        self.assertEqual(info.returncode, 0, info.stderr)
        state = json.loads(info.stdout)
        self.assertEqual(state["words"], len(WORDS))
        self.assertEqual(state["layout"], "standard")
        self.assertTrue(state["intact"])
        self.assertTrue(state["marks_usable"])
        self.assertEqual(state["data_bytes"], os.path.getsize(prefix + ".pwd"))

        dumped = run("dump", "--root", root, "--prefix", "dicts/default_dict")
        self.assertEqual(dumped.stdout.decode().splitlines(), sorted(WORDS))
        out_file = os.path.join(root, "words.out")
        self.assertEqual(run("dump", "--prefix", prefix, "-o", out_file).returncode, 0)
        with open(out_file) as f:
            self.assertEqual(f.read(), dumped.stdout.decode())

        # A block offset beyond the data file.
        with open(prefix + ".pwi", "r+b") as f:
            f.seek(12)
            f.write(b"\xff\xff\x00\x00")
        damaged = run("info", "--root", root, "--prefix", "dicts/default_dict")
        self.assertEqual(damaged.returncode, 1)
        self.assertIn("DAMAGED", damaged.stdout.decode())
        self.assertIn("block 0", damaged.stdout.decode())

        # A mark that disagrees with the words: readable, but not usable.
        make = run("build", "--root", root, "--prefix", "dicts/default_dict",
                   os.path.join(root, "words.txt"))
        self.assertEqual(make.returncode, 0)
        with open(prefix + ".hwm", "r+b") as f:
            f.seek(4 * ord("d"))
            f.write(b"\x05\x00\x00\x00")
        state = json.loads(run("info", "--prefix", prefix, "--json").stdout)
        self.assertFalse(state["intact"])
        self.assertFalse(state["marks_usable"])


    def test_ranked_build(self):
        root = make_root(self)
        prefix = os.path.join(root, "dicts", "ranked")
        lists = [os.path.join(root, name) for name in ("common.txt", "more.txt")]
        for path, text in zip(lists, ["Dragon\n\nmonkey\ndragon\n", "zebra\nMonkey\n"]):
            with open(path, "w") as f:
                f.write(text)
        built = run("build", "--ranked", "--prefix", prefix, *lists)
        self.assertEqual(built.returncode, 0, built.stderr)
        self.assertIn(b"(standard layout, ranked)", built.stdout)
        state = json.loads(run("info", "--prefix", prefix, "--json").stdout)
        self.assertTrue(state["ranked"])
        self.assertEqual(state["rank_problem"], "")
        with open(prefix + ".pwr", "rb") as f:
            ranks = f.read()
        # dragon, monkey, zebra in index order, at lines 1, 2 and 4 of the words.
        self.assertEqual(ranks[64:], b"\x01\0\0\0\x02\0\0\0\x04\0\0\0")
        self.assertIn(b"ranked (", run("info", "--prefix", prefix).stdout)

        # A damaged rank file is reported, not counted as damage.
        with open(prefix + ".pwr", "r+b") as f:
            f.truncate(70)
        info = run("info", "--prefix", prefix)
        self.assertEqual(info.returncode, 0)
        self.assertIn(b"ranked.pwr ignored: truncated", info.stdout)

        # Without --ranked the rank file goes; with --sha1 it is refused.
        self.assertEqual(run("build", "--prefix", prefix, *lists).returncode, 0)
        self.assertFalse(os.path.exists(prefix + ".pwr"))
        self.assertFalse(json.loads(run("info", "--prefix", prefix, "--json").stdout)["ranked"])
        self.assertEqual(run("build", "--ranked", "--sha1", "--prefix", prefix,
                             *lists).returncode, 2)


class BreachTest(unittest.TestCase):
    """A hashed list built from a published-style list, named in the
    configuration, and what check --json and explain say of a match."""

    def test_build_check_and_explain(self):
        import hashlib
        root = make_root(self, {"breach.file.prefix.1": "dicts/breach"})
        leaked = os.path.join(root, "leaked.txt")
        with open(leaked, "w", newline="") as f:
            f.write(hashlib.sha1(b"Hunter2").hexdigest().upper() + ":3861\r\n")
            f.write(hashlib.sha1(b"rarely").hexdigest() + ":2\r\n")
            f.write(hashlib.sha1(b"kettle9").hexdigest() + ":50\n")
            f.write("not a hash\r\n")
        failed = run("build", "--root", root, "--sha1", "--prefix", "dicts/breach", leaked)
        self.assertEqual(failed.returncode, 1)
        self.assertIn(b"leaked.txt:4: not a SHA-1 hash line (3007)", failed.stderr)
        built = run("build", "--root", root, "--sha1", "--min-count", "3", "--skip-malformed",
                    "--prefix", "dicts/breach", leaked)
        self.assertEqual(built.returncode, 0, built.stderr)
        self.assertIn(b"2 hashes from 4 lines", built.stdout)
        self.assertIn(b"1 below the minimum count", built.stdout)
        self.assertIn(b"1 malformed lines skipped (the first: line 4)", built.stdout)

        out = run("check", "--root", root, "--json", "Hunter2", "rarely", "Kettle9!!")
        results = [json.loads(line) for line in out.stdout.decode().splitlines()]
        exact, rare, variant = results
        self.assertEqual(exact["match"]["kind"], "breach")
        self.assertEqual(exact["match"]["breach_count"], 3861)
        self.assertEqual(exact["match"]["variant"], "as given")
        self.assertEqual(exact["nist"]["failures"], ["too_short", "blocklist"])
        self.assertIsNone(rare["match"])
        self.assertEqual(rare["nist"], {"ok": False, "failures": ["too_short"], "length": 6,
                                        "min_length": 15})
        self.assertEqual(variant["match"]["kind"], "breach")
        self.assertEqual(variant["match"]["word"], "kettle9")
        self.assertEqual(variant["match"]["breach_count"], 50)
        self.assertEqual(variant["fields"]["DICT_FD_CNT"], 2)

        explained = run("explain", "--root", root, "Hunter2").stdout.decode()
        self.assertIn("seen 3,861 times in the leaked-password list 'dicts/breach'", explained)
        self.assertIn("NIST SP 800-63B: not satisfied: too short (7 characters, 15 required); "
                      "in the blocklist.", explained)


class HelpTest(unittest.TestCase):
    def test_help_everywhere(self):
        top = run("--help")
        self.assertEqual(top.returncode, 0)
        for command in ("check", "explain", "build", "dump", "info"):
            self.assertIn(command, top.stdout.decode())
        self.assertIn("Exit status", top.stdout.decode())
        options = {"check": ["--root", "--json", "--min-level", "--min-guesses", "--jobs",
                             "--show-password"],
                   "explain": ["--root", "PASSWORD"],
                   "build": ["--prefix", "--memory", "--temp-dir", "WORDLIST"],
                   "dump": ["--prefix", "--output"],
                   "info": ["--prefix", "--json"]}
        for command, names in options.items():
            out = run(command, "--help")
            self.assertEqual(out.returncode, 0, command)
            text = out.stdout.decode()
            self.assertIn("Usage", text)
            for name in names:
                self.assertIn(name, text, command)
            self.assertIn("Exit status", text)
        version = run("--version")
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout.decode(), r"^quarvel \d+\.\d+\.\d+")


if __name__ == "__main__":
    unittest.main()
