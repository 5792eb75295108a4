// The npm tarball installed offline into an empty folder, and the README's
// Node examples (the package's and the project's) run there as written.
import test from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { required } from './helpers.mjs';

// The ```js blocks of a Markdown file that import the package.
function nodeExamples(path) {
  const blocks = [...readFileSync(path, 'utf8').matchAll(/```js\n([\s\S]*?)```/g)].map((m) => m[1]);
  return blocks.filter((code) => code.includes("from 'quarvel'"));
}

test('the tarball installs offline and the README examples run', async (t) => {
  const folder = mkdtempSync(join(tmpdir(), 'quarvel-npm-'));
  t.after(() => rmSync(folder, { recursive: true, force: true }));
  writeFileSync(join(folder, 'package.json'), '{"name": "consumer", "private": true, "type": "module"}\n');
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--ignore-scripts',
    required('QUARVEL_TARBALL')], { cwd: folder, stdio: 'pipe' });
  const installed = JSON.parse(readFileSync(join(folder, 'node_modules/quarvel/package.json'), 'utf8'));
  assert.equal(installed.name, 'quarvel');

  const source = required('QUARVEL_SOURCE');
  const examples = [...nodeExamples(join(source, 'js/README.md')), ...nodeExamples(join(source, 'README.md'))];
  assert.ok(examples.length >= 2, 'a Node example in each README');
  for (const [i, code] of examples.entries()) {
    writeFileSync(join(folder, `example${i}.mjs`), code);
    const out = execFileSync(process.execPath, [`example${i}.mjs`], { cwd: folder }).toString();
    // Each example prints the level first.
    assert.match(out, /^[1-4]\b/, `example ${i} printed ${out}`);
  }
});
