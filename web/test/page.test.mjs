// Drives the page in Debian's chromium as a person would, from a copy of
// index.html alone in a folder of its own, and compares what it gives with
// what the console tool made of the same images.
//   node page.test.mjs PAGE DIR
// DIR holds GAME.D88, DATA1.D88, DATA2.D88, TWO.D88, BROKEN.D88 (a cut data
// disk), PROTECTED.D88 (data disk #1 with a write protect byte the reader
// refuses) and NODISK.D88 (100 bytes), the console tool's results
// GAME.NEW.D88 and TWO.1.D88 (-i 1), and PROTECTED.FIXED.D88, what d88disk
// repair makes of PROTECTED.D88, and d88disk convert's GAME.IMD and
// GAME.HFE of GAME.D88.  The screenshots go beside PAGE:
// screenshot.png (a completed disk), screenshot-ja.png, and
// screenshot-broken.png and screenshot-broken-ja.png (a broken data disk),
// screenshot-repair.png (a repair offered).
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, dirname, join } from 'node:path';
import puppeteer from 'puppeteer-core';

const [page_path, dir] = process.argv.slice(2);
const folder = mkdtempSync(join(tmpdir(), 'vorkast-page-'));
copyFileSync(page_path, join(folder, 'index.html'));
const file = (name) => join(dir, name);
const axe_source = readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: mkdtempSync(join(tmpdir(), 'vorkast-chromium-')),
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
         '--disable-component-update', '--disable-sync'],
});
const outside = [], errors = [];

// A fresh page in the given language, loaded and ready.
async function open_page(language) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument((l) => Object.defineProperty(navigator, 'language', { get: () => l }), language);
  await page.setRequestInterception(true);
  page.on('request', (request) => {
    const url = request.url();
    if (/^(file|data|blob):/.test(url)) return request.continue();
    outside.push(url);
    return request.abort();
  });
  page.on('pageerror', (error) => errors.push(error.message));
  await page.setViewport({ width: 1000, height: 1000 });
  await page.goto('file://' + join(folder, 'index.html'));
  await page.waitForFunction(() => window.Module && Module.calledRun);
  return page;
}
const page = await open_page('en-US');

async function pick(id, name, p = page) {
  const input = await p.$('#' + id);
  await input.uploadFile(file(name));
  await input.evaluate((e) => e.dispatchEvent(new Event('change')));
  await p.evaluate(() => new Promise((done) => setTimeout(done, 100)));  // the file is read in the background
}

// Files dropped on a target, as a person drags them from a folder.
async function drop(selector, files) {
  await page.evaluate((selector, files) => {
    const list = new DataTransfer();
    for (const f of files) list.items.add(new File([Uint8Array.from(atob(f.data), (c) => c.charCodeAt(0))], f.name));
    document.querySelector(selector).dispatchEvent(new DragEvent('drop', { dataTransfer: list, bubbles: true, cancelable: true }));
  }, selector, files.map(([name, bytes]) => ({ name, data: Buffer.from(bytes).toString('base64') })));
}

// The text of selector once it reads as expected (a pick is read in the
// background), or as it stands after five seconds.
async function text_when(p, selector, expected) {
  await p.waitForFunction((s, e) => document.querySelector(s)?.textContent.trim().match(e), { timeout: 5000 }, selector, expected)
    .catch(() => {});
  return p.$eval(selector, (e) => e.textContent.trim());
}
const shown = (selector) => page.$eval(selector, (e) => getComputedStyle(e).display !== 'none' && !e.closest('[hidden]'));
const text = (selector) => page.$eval(selector, (e) => e.textContent.trim());
const settled = () => page.evaluate(() => new Promise((done) => setTimeout(done, 100)));

// Presses #complete; what #messages shows, the link's name and bytes, and
// how long the link took to show.
async function complete() {
  const started = Date.now();
  await page.click('#complete');
  const took = Date.now() - started;
  await settled();
  return page.evaluate(async (took) => {
    const link = document.querySelector('#download');
    const shown = getComputedStyle(link).display !== 'none' && link.href.startsWith('blob:');
    const bytes = shown ? new Uint8Array(await (await fetch(link.href)).arrayBuffer()) : new Uint8Array(0);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return { messages: document.querySelector('#messages').textContent, shown, name: link.download, data: btoa(binary), took };
  }, took);
}

// axe-core over the whole page: no violation of impact serious or critical.
async function accessible(p, when) {
  if (!(await p.evaluate(() => !!window.axe))) await p.addScriptTag({ content: axe_source });
  const result = await p.evaluate(() => axe.run(document, { resultTypes: ['violations'] }));
  const bad = result.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
  assert.deepEqual(bad.map((v) => v.id + ': ' + v.nodes.map((n) => n.target.join(' ')).slice(0, 3).join(', ')), [], when);
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

await check('before any run there is no link, and the page passes axe', async () => {
  assert.equal(await shown('#download'), false);
  assert.match(await text('#readiness'), /Pick the game image/);
  await accessible(page, 'empty page');
});

await check('readiness, then the whole job: the console tool\'s bytes, a summary, the completed disk drawn', async () => {
  await pick('game', 'GAME.D88');
  await pick('data1', 'DATA1.D88');
  await pick('data2', 'DATA2.D88');
  assert.equal(await text_when(page, '#readiness p', 'ready$'), '80 of 80 tracks ready');
  const run = await complete();
  console.log(`     the link showed ${run.took} ms after the click`);
  assert.equal(run.messages, '');
  assert.equal(run.shown, true);
  assert.equal(run.name, 'GAME.NEW.D88');
  assert.ok(Buffer.from(run.data, 'base64').equals(readFileSync(file('GAME.NEW.D88'))));
  assert.equal(await text('#summary'), `Completed 80 tracks: GAME.NEW.D88, ${readFileSync(file('GAME.NEW.D88')).length} bytes`);
  assert.match(await text('#map-caption'), /^Completed image GAME\.NEW\.D88/);
  assert.equal((await page.$$('#map rect.sector[data-n="6"]')).length, 80);
  assert.equal(await page.$eval('#map rect.sector[data-slot="0"][data-index="0"] title', (e) => e.textContent), '00/00/01, N 6, 8192 bytes');
  await accessible(page, 'after a completion');
  await page.screenshot({ path: join(dirname(page_path), 'screenshot.png'), fullPage: true });
});

await check('a new pick clears the last run; with a broken data image Complete waits, saying why', async () => {
  await pick('data2', 'BROKEN.D88');
  assert.equal(await text('#summary'), '');
  assert.equal(await shown('#download'), false);
  assert.match(await text_when(page, '#readiness p', '^0 of'), /^0 of 80 tracks ready/);
  assert.match(await text('#readiness li'), /^error: BROKEN\.D88 cannot be read/);
  assert.equal(await page.$eval('#complete', (e) => e.disabled), true);
  assert.equal(await text('#complete-why'), 'Complete waits until every selected track is ready (0 of 80).');
  assert.equal(await text('#repairs'), '');  // a cut disk loses sectors: no repair is offered
  assert.match(await text('#findings-title'), /in GAME\.NEW\.D88$/);  // the findings below name the image they are about
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-broken.png'), fullPage: true });
  const run = await complete();
  assert.equal(run.shown, false);
  assert.equal(await text('#summary'), '');
});

await check('an image the reader refuses but a repair mends is offered a repair, which the job then takes', async () => {
  await pick('data2', 'DATA2.D88');
  await pick('data1', 'PROTECTED.D88');
  assert.match(await text_when(page, '#readiness p', '^0 of'), /^0 of 80/);
  assert.match(await text('#repairs'), /^PROTECTED\.D88 is refused by the reader, and a repair mends it\. The repair would change this:disk 0 at 0x00000000: the write protect byte 0x01/);
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-repair.png') });
  await page.click('#repairs button');
  assert.equal(await text_when(page, '#readiness p', '^80'), '80 of 80 tracks ready');
  assert.match(await text('#repairs'), /^PROTECTED\.D88 is repaired: the job now takes PROTECTED\.FIXED\.D88\. Save PROTECTED\.FIXED\.D88$/);
  const saved = await page.evaluate(async () => {
    const link = document.querySelector('#repairs a');
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return { name: link.download, data: btoa(binary) };
  });
  assert.equal(saved.name, 'PROTECTED.FIXED.D88');
  assert.ok(Buffer.from(saved.data, 'base64').equals(readFileSync(file('PROTECTED.FIXED.D88'))));
  assert.equal(await page.$eval('#complete', (e) => e.disabled), false);
  await accessible(page, 'a repair taken');
});

await check('a completed image is one line of readiness; a file with no disk says so plainly', async () => {
  await pick('game', 'GAME.NEW.D88');
  assert.equal(await text_when(page, '#readiness p', '^0 of'), '0 of 80 tracks ready');
  assert.deepEqual(await page.$$eval('#readiness li', (all) => all.map((e) => e.textContent)),
                   ['error: Tracks 0–79: it already holds its 8 KB sector; the image was completed before (and 79 more like it)']);
  await pick('inspect', 'NODISK.D88');
  assert.equal(await text_when(page, '#map-caption', 'holds'), 'NODISK.D88 holds no D88 disk: it is not a D88 image, or an empty one.');
  await pick('game', 'GAME.D88');
  await pick('data1', 'DATA1.D88');
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

await check('readiness names each missing data sector and the file', async () => {
  const holed = Buffer.from(readFileSync(file('DATA1.D88')));
  for (const slot of [7, 20]) holed[holed.readUInt32LE(0x20 + 4 * slot) + 272 * 6 + 2] = 0x77;  // R 7 is gone
  await drop('#data1', [['HOLED.D88', holed]]);
  await settled();
  assert.equal(await page.$eval('#data1', (e) => e.files[0].name), 'HOLED.D88');
  assert.equal(await text_when(page, '#readiness p', '^78'), '78 of 80 tracks ready');
  assert.deepEqual(await page.$$eval('#readiness li', (all) => all.map((e) => e.textContent)),
                   ['error: Track 3: HOLED.D88 has no sector 03/01/07', 'error: Track 10: HOLED.D88 has no sector 0A/00/07']);
});

await check('three files dropped on the page land in their fields, by order or by name', async () => {
  await drop('main', [['GAME.D88', readFileSync(file('GAME.D88'))], ['A.D88', readFileSync(file('DATA1.D88'))], ['B.D88', readFileSync(file('DATA2.D88'))]]);
  await settled();
  assert.deepEqual(await page.$$eval('#game, #data1, #data2', (all) => all.map((e) => e.files[0].name)), ['GAME.D88', 'A.D88', 'B.D88']);
  await drop('main', [['DATA2.D88', readFileSync(file('DATA2.D88'))], ['X.D88', readFileSync(file('GAME.D88'))], ['DATA1.D88', readFileSync(file('DATA1.D88'))]]);
  await settled();
  assert.deepEqual(await page.$$eval('#game, #data1, #data2', (all) => all.map((e) => e.files[0].name)), ['X.D88', 'DATA1.D88', 'DATA2.D88']);
  assert.equal(await text_when(page, '#readiness p', '^80'), '80 of 80 tracks ready');
});

await check('#index offers every disk; disk 1 completes as vorkast -i 1', async () => {
  await pick('game', 'TWO.D88');
  await page.waitForFunction(() => document.querySelector('#index').options.length === 2);
  const options = await page.$$eval('#index option', (all) => all.map((o) => o.value + ' ' + o.textContent));
  assert.deepEqual(options, ['0 0: SAMPLE GAME', '1 1: ゲーム']);
  await page.select('#index', '1');
  const run = await complete();
  assert.equal(run.messages, '');
  assert.equal(run.name, 'TWO.NEW.D88');
  assert.ok(Buffer.from(run.data, 'base64').equals(readFileSync(file('TWO.1.D88'))));
});

await check('the map draws every sector; a click, or Enter, brings the sector\'s bytes into view', async () => {
  await pick('inspect', 'GAME.D88');
  await page.waitForFunction(() => document.querySelectorAll('#map rect.sector').length === 80 * 16, { timeout: 5000 }).catch(() => {});
  assert.equal((await page.$$('#map rect.sector')).length, 80 * 16);
  assert.match(await text('#findings'), /Nothing: GAME\.D88 is whole/);
  const last = '#map rect.sector[data-slot="79"][data-index="15"]';
  assert.equal(await page.$eval(last, (e) => e.querySelector('title').textContent + ' ' + e.dataset.n), '27/01/10, N 1, 256 bytes 1');
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.click(last);
  assert.match(await text('#dump'), /^disk 0, slot 79, sector 15: 27\/01\/10, N 1, 256 bytes\n0000  67 61 6D 65/);
  assert.ok(await page.$eval('#dump', (e) => e.getBoundingClientRect().top < innerHeight), 'the dump is in view');
  await page.$eval('#map rect.sector[data-slot="0"][data-index="0"]', (e) => e.focus());
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('Enter');
  assert.match(await text('#dump'), /^disk 0, slot 0, sector 1: 00\/00\/02/);
  await accessible(page, 'a disk in the picture');
});

await check('the inspector opens another format, saves a disk in each, and lists the losses before a lossy save', async () => {
  await pick('inspect', 'GAME.IMD');
  await page.waitForFunction(() => document.querySelectorAll('#map rect.sector').length === 80 * 16, { timeout: 5000 }).catch(() => {});
  assert.equal((await page.$$('#map rect.sector')).length, 80 * 16);
  const saved = async () => page.evaluate(async () => {
    const link = document.querySelector('#save-link');
    if (link.hidden) return null;
    const bytes = new Uint8Array(await (await fetch(link.href)).arrayBuffer());
    let binary = '';
    for (let i = 0; i < bytes.length; i += 8192) binary += String.fromCharCode(...bytes.subarray(i, i + 8192));
    return { name: link.download, data: btoa(binary) };
  });
  await page.select('#save-format', 'hfe');
  await page.click('#save-as');
  const hfe = await saved();
  assert.equal(hfe.name, 'GAME.HFE');
  assert.ok(Buffer.from(hfe.data, 'base64').equals(readFileSync(file('GAME.HFE'))));
  await pick('inspect', 'GAME.NEW.D88');
  await page.select('#save-format', 'hfe');
  await page.click('#save-as');
  assert.equal(await saved(), null);
  assert.match(await text('#save-losses'), /^Saved as HFE, this disk would lose what follows:slots 0–79: track-too-long: track 00\/00: sectors of 12288 bytes do not fit a real track of 6250 bytes at 250 kbit\/s, 300 rpm \(and 79 more like it\)Save as HFE all the same$/);
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-losses.png'), fullPage: true });
  await page.click('#save-losses button');
  assert.equal((await saved()).name, 'GAME.NEW.HFE');
  await accessible(page, 'a lossy save offered');
});

await check('a browser that prefers Japanese gets the page in Japanese; #lang switches back', async () => {
  const ja = await open_page('ja-JP');
  assert.equal(await ja.$eval('html', (e) => e.lang), 'ja');
  assert.equal(await ja.$eval('#complete', (e) => e.textContent), '完成させる');
  await accessible(ja, 'the Japanese page, empty');
  for (const [id, name] of [['game', 'GAME.D88'], ['data1', 'DATA1.D88'], ['data2', 'DATA2.D88']])
    await pick(id, name, ja);
  assert.equal(await text_when(ja, '#readiness p', '準備完了$'), '80 トラック中 80 トラック準備完了');
  await ja.click('#complete');
  await ja.evaluate(() => new Promise((done) => setTimeout(done, 50)));
  assert.match(await ja.$eval('#summary', (e) => e.textContent), /^80 トラックを完成させました: GAME\.NEW\.D88/);
  await accessible(ja, 'the Japanese page after a completion');
  await ja.screenshot({ path: join(dirname(page_path), 'screenshot-ja.png'), fullPage: true });

  await ja.click('#lang');
  assert.equal(await ja.$eval('html', (e) => e.lang), 'en');
  assert.equal(await ja.$eval('#complete', (e) => e.textContent), 'Complete');
  assert.match(await ja.$eval('#summary', (e) => e.textContent), /^Completed 80 tracks/);
  await ja.click('#lang');
  // the console's own lines stay as it prints them, under a Japanese heading
  await ja.evaluate(() => {
    window.realMalloc = Module._malloc;
    Module._malloc = (size) => (size > 100000 ? 0 : window.realMalloc(size));
  });
  await ja.click('#complete');
  await ja.evaluate(() => { Module._malloc = window.realMalloc; });
  assert.equal(await ja.$eval('#messages-title', (e) => e.hidden ? '' : e.textContent), 'コンソール版の出力（英語のまま）');
  assert.equal(await ja.$eval('#messages', (e) => e.textContent), "memory exhaust!\nerror: read d88 image 'GAME.D88'");
  await pick('data2', 'BROKEN.D88', ja);
  assert.match(await ja.$eval('#complete-why', (e) => e.textContent), /^選んだトラックがすべて準備できるまで/);
  await ja.screenshot({ path: join(dirname(page_path), 'screenshot-broken-ja.png'), fullPage: true });
  await pick('data2', 'DATA2.D88', ja);
});

await check('the page made no request outside itself, and no script error', async () => {
  assert.deepEqual(outside, []);
  assert.deepEqual(errors, []);
});

await browser.close();
const failed = results.filter((ok) => !ok).length;
console.log(`${results.length - failed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
