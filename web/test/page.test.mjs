// Drives the page in Debian's chromium as a person would, from a copy of
// index.html alone in a folder of its own, and compares what it gives with
// what the console tool made of the same images.
//   node page.test.mjs PAGE DIR
// DIR holds GAME.D88, DATA1.D88, DATA2.D88, TWO.D88 and BROKEN.D88, the
// console tool's results GAME.NEW.D88 and TWO.1.D88 (-i 1), and BROKEN.txt,
// what it printed for BROKEN.D88 as data disk #2.
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import puppeteer from 'puppeteer-core';

const [page_path, dir] = process.argv.slice(2);
const folder = mkdtempSync(join(tmpdir(), 'vorkast-page-'));
copyFileSync(page_path, join(folder, 'index.html'));
const file = (name) => join(dir, name);

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: mkdtempSync(join(tmpdir(), 'vorkast-chromium-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
const outside = [];
await page.setRequestInterception(true);
page.on('request', (request) => {
  const url = request.url();
  if (/^(file|data|blob):/.test(url)) return request.continue();
  outside.push(url);
  return request.abort();
});
await page.setViewport({ width: 900, height: 1100 });
await page.goto('file://' + join(folder, 'index.html'));
await page.waitForFunction(() => window.Module && Module.calledRun);

async function pick(id, name) {
  const input = await page.$('#' + id);
  await input.uploadFile(file(name));
  await input.evaluate((e) => e.dispatchEvent(new Event('change')));
}

// Presses #complete; what #messages shows, and the link's name and bytes.
async function complete() {
  await page.evaluate(() => { document.querySelector('#messages').textContent = 'running'; });
  await page.click('#complete');
  await page.waitForFunction(() => document.querySelector('#messages').textContent !== 'running');
  return page.evaluate(async () => {
    const link = document.querySelector('#download');
    const shown = !link.hidden && link.href.startsWith('blob:');
    const bytes = shown ? new Uint8Array(await (await fetch(link.href)).arrayBuffer()) : new Uint8Array(0);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return { messages: document.querySelector('#messages').textContent, shown, name: link.download, data: btoa(binary) };
  });
}

const results = [];
async function check(what, body) {
  try {
    await body();
    results.push(true);
    console.log('ok   ' + what);
  } catch (error) {
    results.push(false);
    console.log('FAIL ' + what + '\n' + error.message);
  }
}

await check('the whole job equals the console tool\'s output', async () => {
  await pick('game', 'GAME.D88');
  await pick('data1', 'DATA1.D88');
  await pick('data2', 'DATA2.D88');
  const run = await complete();
  assert.equal(run.messages, '');
  assert.equal(run.shown, true);
  assert.equal(run.name, 'GAME.NEW.D88');
  assert.ok(Buffer.from(run.data, 'base64').equals(readFileSync(file('GAME.NEW.D88'))));
  await page.screenshot({ path: join(dirname(page_path), 'screenshot.png'), fullPage: true });
});

await check('a broken data image shows the console\'s chain and no link', async () => {
  await pick('data2', 'BROKEN.D88');
  const run = await complete();
  assert.equal(run.messages, readFileSync(file('BROKEN.txt'), 'utf8').trimEnd());
  assert.equal(run.shown, false);
});

await check('a game image with no room in memory shows the console\'s lines', async () => {
  await pick('data2', 'DATA2.D88');
  await page.evaluate(() => {
    window.realMalloc = Module._malloc;
    Module._malloc = (size) => (size > 100000 ? 0 : window.realMalloc(size));
  });
  const run = await complete();
  await page.evaluate(() => { Module._malloc = window.realMalloc; });
  assert.equal(run.messages, "memory exhaust!\nerror: read d88 image 'GAME.D88'");
  assert.equal(run.shown, false);
});

await check('#index offers every disk; disk 1 completes as vorkast -i 1', async () => {
  await pick('game', 'TWO.D88');
  await page.waitForFunction(() => document.querySelector('#index').options.length === 2);
  const options = await page.$$eval('#index option', (all) => all.map((o) => o.value + ' ' + o.textContent));
  assert.deepEqual(options, ['0 0: SAMPLE GAME', '1 1: ゲーム']);
  assert.equal(await page.$eval('#index', (s) => s.value), '0');
  await page.select('#index', '1');
  await pick('data2', 'DATA2.D88');
  const run = await complete();
  assert.equal(run.messages, '');
  assert.equal(run.name, 'TWO.NEW.D88');
  assert.ok(Buffer.from(run.data, 'base64').equals(readFileSync(file('TWO.1.D88'))));
});

await check('the inspector lists an image and dumps a sector', async () => {
  await pick('inspect', 'GAME.D88');
  await page.waitForSelector('#listing button.sector');
  const listing = await page.$eval('#listing', (e) => e.innerText);
  assert.match(listing, /Disk 0: SAMPLE GAME, 2D, writable, 348848 bytes/);
  assert.match(listing, /slot 79:\s*1:1\/256/);
  await page.click('#listing button.sector');
  const dump = await page.$eval('#dump', (e) => e.textContent);
  assert.match(dump, /^disk 0, slot 0, sector 1:1\/256\n0000  67 61 6D 65/);
  assert.match(dump, /\|game sector 00\/0\|/);
});

await check('the page made no request outside itself', async () => {
  assert.deepEqual(outside, []);
});

await browser.close();
const failed = results.filter((ok) => !ok).length;
console.log(`${results.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
