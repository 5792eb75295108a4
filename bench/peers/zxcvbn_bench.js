// Throughput of zxcvbn's password estimate in Node, reported in the same
// lines as quarvel-bench so that bench/compare.sh can set them side by side.
//
//   node zxcvbn_bench.js PASSWORDS [REPEAT]
//
// The zxcvbn package is looked up the usual way; compare.sh installs it in a
// private folder and points NODE_PATH at it. Estimates every non-empty line of
// PASSWORDS (REPEAT times over) with zxcvbn(password) and no user inputs.
// Prints passwords per second over the whole loop, the p50, p99 and maximum
// latency of one call, the peak resident set, and how many passwords got each
// score from 0 to 4.
'use strict';

const fs = require('fs');

function main(argv) {
  if (argv.length < 1) {
    process.stderr.write('usage: node zxcvbn_bench.js PASSWORDS [REPEAT]\n');
    return 2;
  }
  const passwords = fs.readFileSync(argv[0], 'utf8')
    .split('\n')
    .map((line) => line.replace(/\r$/, ''))
    .filter((line) => line.length > 0);
  const repeat = Math.max(1, parseInt(argv[1] || '1', 10) || 1);
  if (passwords.length === 0) {
    process.stderr.write(`no passwords in ${argv[0]}\n`);
    return 1;
  }
  // Loading the package builds its ranked dictionaries: done before timing,
  // as quarvel-bench loads its environment before timing.
  const zxcvbn = require('zxcvbn');
  const version = require('zxcvbn/package.json').version;

  const total = passwords.length * repeat;
  const latencies = new Float64Array(total);
  const scores = [0, 0, 0, 0, 0];
  let n = 0;
  const start = process.hrtime.bigint();
  for (let r = 0; r < repeat; ++r) {
    for (const password of passwords) {
      const t0 = process.hrtime.bigint();
      const result = zxcvbn(password);
      const t1 = process.hrtime.bigint();
      latencies[n++] = Number(t1 - t0) / 1e3;
      ++scores[result.score];
    }
  }
  const seconds = Number(process.hrtime.bigint() - start) / 1e9;
  latencies.sort();
  const at = (p) => latencies[Math.min(total - 1, Math.floor(p * total))];
  const out = [
    `tool             zxcvbn ${version} (node ${process.versions.node})`,
    `verifications    ${total}`,
    `passwords/s      ${(total / seconds).toFixed(0)}`,
    `latency p50      ${at(0.5).toFixed(1)} us`,
    `latency p99      ${at(0.99).toFixed(1)} us`,
    `latency max      ${latencies[total - 1].toFixed(1)} us`,
    // maxRSS is in kibibytes, as getrusage's ru_maxrss on Linux.
    `peak RSS         ${process.resourceUsage().maxRSS} KiB`,
    `scores 0-4       ${scores.join(' ')}`,
  ];
  process.stdout.write(out.join('\n') + '\n');
  return 0;
}

process.exitCode = main(process.argv.slice(2));
