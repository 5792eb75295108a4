// Time from navigation to the first verdict the meter shows, in Debian's
// headless Chromium (playwright-core, installed globally by
// scripts/install-deps.sh), on a local static server of the site.
//
//   node bench/web/first_verdict.mjs SITE_DIR [RUNS]
//
// Each run is a new browser context (an empty cache) that opens a page with
// a filled password field and a <quarvel-meter>; the page notes
// performance.now() (milliseconds since navigation started) when the
// meter's first 'quarvel-verdict' event fires. Prints each run and the
// median.
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { join, normalize } from 'node:path';
import { pathToFileURL } from 'node:url';

const [site, runs = '7'] = process.argv.slice(2);
const page = `<!doctype html><meta charset="utf-8"><link rel="stylesheet" href="meter.css">
<script>document.addEventListener('quarvel-verdict',
  () => { window.firstVerdict ??= performance.now(); }, { capture: true });</script>
<script type="module" src="meter.js"></script>
<input id="p" type="password" value="5ummer2024!!"><quarvel-meter for="p"></quarvel-meter>`;
const types = { html: 'text/html', js: 'text/javascript', mjs: 'text/javascript', css: 'text/css',
  wasm: 'application/wasm' };
const server = createServer((request, response) => {
  const url = new URL(request.url, 'http://x').pathname;
  if (url === '/first-verdict.html') return response.writeHead(200, { 'content-type': 'text/html' }).end(page);
  const file = normalize(join(site, url));
  if (!file.startsWith(site) || !existsSync(file)) return response.writeHead(404).end();
  const type = types[file.split('.').pop()] ?? 'application/octet-stream';
  response.writeHead(200, { 'content-type': type }).end(readFileSync(file));
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const root = execFileSync('npm', ['root', '-g']).toString().trim();
const { chromium } = await import(pathToFileURL(join(root, 'playwright-core/index.mjs')).href);
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox'] });
const times = [];
for (let i = 0; i < Number(runs); ++i) {
  const context = await browser.newContext();
  const tab = await context.newPage();
  await tab.goto(`http://127.0.0.1:${server.address().port}/first-verdict.html`);
  await tab.waitForFunction(() => window.firstVerdict !== undefined);
  times.push(await tab.evaluate(() => window.firstVerdict));
  await context.close();
}
await browser.close();
server.close();
times.forEach((t, i) => console.log(`run ${i + 1}: ${t.toFixed(0)} ms`));
console.log(`median ${[...times].sort((a, b) => a - b)[times.length >> 1].toFixed(0)} ms`);
