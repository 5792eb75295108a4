// Scores of zxcvbn-ts with its language packages, for bench/language_eval.sh.
//
//   node zxcvbn_ts_languages.js LINES PASSWORDS...
//
// @zxcvbn-ts/core 4 set up as its documentation says, with the dictionaries
// of @zxcvbn-ts/language-common, -en, -de, -fr and -es-es together (there
// is no Korean package), the common keyboard graphs and the English
// translations; no user inputs. Prints, for the first LINES lines of each
// file (with every dictionary it takes some 20 ms a password), its name, the
// share scored 0 to 2 and the share scored 3 or 4.
'use strict';

const fs = require('fs');
const path = require('path');
const { ZxcvbnFactory } = require('@zxcvbn-ts/core');

const packages = ['language-common', 'language-en', 'language-de', 'language-fr', 'language-es-es'];
const dictionary = {};
for (const name of packages) Object.assign(dictionary, require(`@zxcvbn-ts/${name}`).dictionary);
const factory = new ZxcvbnFactory({
  dictionary,
  graphs: require('@zxcvbn-ts/language-common').adjacencyGraphs,
  translations: require('@zxcvbn-ts/language-en').translations,
});
const versions = ['core', ...packages].map((p) => require(`@zxcvbn-ts/${p}/package.json`).version);
process.stderr.write(`@zxcvbn-ts/core ${versions[0]} (${packages.map((p, i) => `${p} ${versions[i + 1]}`).join(', ')})\n`);

const limit = parseInt(process.argv[2], 10);
for (const file of process.argv.slice(3)) {
  const lines = fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.length > 0).slice(0, limit);
  let weak = 0;
  for (const line of lines) if (factory.check(line).score <= 2) ++weak;
  const share = (n) => (100 * n / lines.length).toFixed(2);
  console.log(`${path.basename(file).padEnd(20)} ${share(weak)}% ${share(lines.length - weak)}%`);
}
