// Guess estimates of the zxcvbn peers for the guessing benchmark.
//
//   node estimate.js zxcvbn|zxcvbn-ts PASSWORDS > estimates.txt
//
// Writes one line per non-empty line of PASSWORDS, in order: log10 of the
// number of guesses the tool estimates. The packages are looked up the usual
// way; run.sh installs them in build-bench/peers/ and points NODE_PATH there.
//
//   zxcvbn     zxcvbn 4.4.2: zxcvbn(password).guesses_log10, no user inputs
//   zxcvbn-ts  @zxcvbn-ts/core 4 set up for English as its documentation
//              says: the dictionaries of @zxcvbn-ts/language-common and
//              @zxcvbn-ts/language-en, the common keyboard graphs and the
//              English translations; ZxcvbnFactory(options).check(password)
//              .guessesLog10, no user inputs
//
// The tool's name and version go to standard error.
'use strict';

const fs = require('fs');

function estimator(tool) {
  if (tool === 'zxcvbn') {
    const zxcvbn = require('zxcvbn');
    const version = require('zxcvbn/package.json').version;
    return { version: `zxcvbn ${version}`, estimate: (p) => zxcvbn(p).guesses_log10 };
  }
  if (tool === 'zxcvbn-ts') {
    const { ZxcvbnFactory } = require('@zxcvbn-ts/core');
    const common = require('@zxcvbn-ts/language-common');
    const en = require('@zxcvbn-ts/language-en');
    const options = {
      dictionary: { ...common.dictionary, ...en.dictionary },
      graphs: common.adjacencyGraphs,
      translations: en.translations,
    };
    const factory = new ZxcvbnFactory(options);
    const versions = ['core', 'language-common', 'language-en']
      .map((p) => require(`@zxcvbn-ts/${p}/package.json`).version);
    return {
      version: `@zxcvbn-ts/core ${versions[0]} (language-common ${versions[1]}, language-en ${versions[2]})`,
      estimate: (p) => factory.check(p).guessesLog10,
    };
  }
  throw new Error(`unknown tool ${tool}: zxcvbn or zxcvbn-ts`);
}

function main(argv) {
  if (argv.length !== 2) {
    process.stderr.write('usage: node estimate.js zxcvbn|zxcvbn-ts PASSWORDS\n');
    return 2;
  }
  const { version, estimate } = estimator(argv[0]);
  const passwords = fs.readFileSync(argv[1], 'utf8')
    .split('\n')
    .map((line) => line.replace(/\r$/, ''))
    .filter((line) => line.length > 0);
  const out = [];
  for (const password of passwords) {
    const value = estimate(password);
    if (typeof value !== 'number' || !Number.isFinite(value)) {
      throw new Error(`${argv[0]} gave no number for a password`);
    }
    out.push(value.toFixed(4));
  }
  process.stdout.write(out.join('\n') + '\n');
  process.stderr.write(`${version}\n`);
  return 0;
}

process.exitCode = main(process.argv.slice(2));
