// The meter page in Debian's Chromium, headless, driven by playwright-core:
// served by a static server of the test's own on the loopback address, it
// grades a weak and a strong password as they are typed, sends no request
// to any other origin, and runs the README's browser example as written.
import test from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import { pathToFileURL } from 'node:url';
import { required } from './helpers.mjs';

const site = required('QUARVEL_SITE');
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.css': 'text/css', '.ini': 'text/plain', '.wasm': 'application/wasm' };

// Serves the site, and the pages of extra by path ("/x.html": its text).
// wasm: how the WebAssembly is served ('missing', 'untyped', or as it is).
function serve(extra = {}, wasm = 'served') {
  const server = createServer((request, response) => {
    const url = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    if (url in extra) {
      response.writeHead(200, { 'content-type': 'text/html' }).end(extra[url]);
      return;
    }
    if (url.endsWith('.wasm') && wasm !== 'served') {
      if (wasm === 'missing') {
        response.writeHead(404).end();
      } else {
        response.writeHead(200, { 'content-type': 'application/octet-stream' });
        response.end(readFileSync(join(site, url)));
      }
      return;
    }
    const path = normalize(join(site, url));
    const file = path.endsWith('/') ? join(path, 'index.html') : path;
    if (!file.startsWith(site) || !existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'content-type': TYPES[extname(file)] ?? 'application/octet-stream' });
    response.end(readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

async function browser() {
  const root = execFileSync('npm', ['root', '-g']).toString().trim();
  const { chromium } = await import(pathToFileURL(join(root, 'playwright-core/index.mjs')).href);
  return chromium.launch({ executablePath: '/usr/bin/chromium', headless: true,
    args: ['--no-sandbox'] });
}

test('the meter grades as the person types, and sends nothing away', async (t) => {
  const server = await serve();
  const origin = `http://127.0.0.1:${server.address().port}`;
  const chrome = await browser();
  t.after(async () => { await chrome.close(); server.close(); });
  const page = await chrome.newPage({ viewport: { width: 390, height: 844 } });
  const requested = [];
  page.on('request', (request) => requested.push(request.url()));
  // The module compiles its WebAssembly as it streams in: a fall-back to
  // another way says so on the console.
  const complaints = [];
  page.on('console', (message) => {
    if (/wasm|WebAssembly/i.test(message.text())) complaints.push(message.text());
  });
  await page.goto(`${origin}/index.html`);
  const level = page.locator('quarvel-meter .qm-level');
  await level.filter({ hasText: 'Type a password' }).waitFor();

  // Keyboard only: the field takes focus with Tab.
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'password');
  await page.keyboard.type('5ummer2024!!');
  await level.filter({ hasText: 'Level 1' }).or(level.filter({ hasText: 'Level 2' })).waitFor();
  const reasons = await page.locator('quarvel-meter .qm-reasons li').allTextContents();
  assert.ok(reasons.some((r) => r.startsWith('−1: it is a dictionary word')), reasons.join(' | '));
  assert.match(await page.locator('quarvel-meter .qm-match').textContent(),
    /the dictionary word 'summer' \('5' read as 's', year 2024 and '!!' cut from the end\)/);
  await page.screenshot({ path: join(required('QUARVEL_BUILD_DIR'), 'meter-weak.png'), fullPage: true });

  await page.fill('#password', '');
  await page.keyboard.type('v7#Rq!2mXp&9Lz-ocelot');
  await level.filter({ hasText: 'Level 4' }).waitFor();
  assert.equal(await page.getAttribute('quarvel-meter .qm-bar', 'aria-valuenow'), '4');
  await page.screenshot({ path: join(required('QUARVEL_BUILD_DIR'), 'meter.png'), fullPage: true });

  // The embedding page's own <quarvel-meter>, bound to its field.
  await page.goto(`${origin}/embed.html`);
  await page.fill('#new-password', 'password');
  await page.locator('quarvel-meter .qm-level').filter({ hasText: 'Level 1' }).waitFor();

  const away = requested.filter((url) => new URL(url).origin !== origin);
  assert.deepEqual(away, []);
  assert.ok(requested.some((url) => url.endsWith('/quarvel/data/default_dict.pwd')));
  assert.ok(requested.some((url) => url.endsWith('/quarvel/quarvel-wasm.wasm')));
  assert.deepEqual(complaints, []);
});

test("the README's browser example runs as written", async (t) => {
  const readme = readFileSync(join(required('QUARVEL_SOURCE'), 'README.md'), 'utf8');
  const example = /```html\n([\s\S]*?)```/.exec(readme.slice(readme.indexOf('### JavaScript')))[1];
  const server = await serve({ '/readme-example.html': `<!doctype html><body>${example}</body>` });
  const chrome = await browser();
  t.after(async () => { await chrome.close(); server.close(); });
  const page = await chrome.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/readme-example.html`);
  await page.waitForFunction(() => /^level [1-4]$/.test(document.body.textContent));
});

// A server that does not type the WebAssembly gets it compiled after the
// download, with a warning; one that does not have it gets a meter that
// says so, not one that waits for ever.
test('the meter copes with a WebAssembly served untyped, or not at all', async (t) => {
  const chrome = await browser();
  t.after(() => chrome.close());
  for (const wasm of ['untyped', 'missing']) {
    const server = await serve({}, wasm);
    t.after(() => server.close());
    const page = await chrome.newPage();
    const warnings = [];
    page.on('console', (message) => warnings.push(message.text()));
    await page.goto(`http://127.0.0.1:${server.address().port}/index.html`);
    const level = page.locator('quarvel-meter .qm-level');
    if (wasm === 'untyped') {
      await page.fill('#password', 'password');
      await level.filter({ hasText: 'Level 1' }).waitFor();
      assert.ok(warnings.some((w) => w.includes('WebAssembly compiled after download')), warnings.join(' | '));
    } else {
      await level.filter({ hasText: 'meter unavailable' }).waitFor();
    }
    await page.close();
  }
});
