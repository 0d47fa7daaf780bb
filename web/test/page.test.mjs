// Drives the page in Debian's chromium as a person would, from a copy of
// index.html alone in a folder of its own, and compares what it gives with
// what the console tools made of the same images.
//   node page.test.mjs PAGE DIR D88DISK
// DIR holds GAME.D88, DATA1.D88, DATA2.D88, TWO.D88, BROKEN.D88 (a cut data
// disk), PROTECTED.D88 (data disk #1 with a write protect byte the reader
// refuses) and NODISK.D88 (100 bytes), the console tool's results
// GAME.NEW.D88 and TWO.1.D88 (-i 1), and PROTECTED.FIXED.D88, what d88disk
// repair makes of PROTECTED.D88, and d88disk convert's GAME.IMD and
// GAME.HFE of GAME.D88; disks with files d88disk made: FAT.D88 (FAT12,
// 2hd1232), N88.D88 (N88-BASIC, 2d) and HU.D88 (Hu-BASIC, 2d), each holding
// HELLO and NUMBERS.TXT, LOCKED.D88 (FAT.D88 write-protected); and
// GAME.NEW.SCP, the flux of GAME.NEW.D88.  D88DISK is the d88disk the
// page's files and images are checked against (get, ls, put, rm, format,
// convert run on the same images).  What the page saves is taken as the
// browser downloads it.  The screenshots go beside PAGE: screenshot.png (a
// completed disk), screenshot-ja.png, screenshot-files.png and
// screenshot-files-ja.png (the files of a disk), screenshot-broken.png and
// screenshot-broken-ja.png (a broken data disk), screenshot-repair.png (a
// repair offered), screenshot-losses.png (a lossy save offered) and
// screenshot-flux.png (a flux dump opened).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { basename, dirname, join, resolve } from 'node:path';
import puppeteer from 'puppeteer-core';

const [page_path, dir, d88disk_path] = process.argv.slice(2);
const d88disk = resolve(d88disk_path);
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

// What the page saves lands in a folder of downloads, each file under the
// browser's own id of it, its name kept apart.
const downloads = mkdtempSync(join(tmpdir(), 'vorkast-downloads-'));
const cdp = await browser.target().createCDPSession();
await cdp.send('Browser.setDownloadBehavior', { behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true });
const started_downloads = new Map(), finished_downloads = [];
cdp.on('Browser.downloadWillBegin', (e) => started_downloads.set(e.guid, e.suggestedFilename));
cdp.on('Browser.downloadProgress', (e) => {
  if (e.state === 'completed') finished_downloads.push({ name: started_downloads.get(e.guid), bytes: readFileSync(join(downloads, e.guid)) });
});
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

// Does action, and gives the file the browser then downloads ({ name,
// bytes }), or null when none comes within `wait` milliseconds.
async function downloaded(action, wait = 5000) {
  const before = finished_downloads.length;
  await action();
  for (let waited = 0; waited < wait && finished_downloads.length === before; waited += 50) await sleep(50);
  return finished_downloads.length > before ? finished_downloads[before] : null;
}

// d88disk's output for a command in a folder of its own with copies of
// the named images; { out, status, folder }.
function run_d88disk(args, images = [], made = {}) {
  const folder = mkdtempSync(join(tmpdir(), 'vorkast-d88disk-'));
  for (const name of images) copyFileSync(file(name), join(folder, name));
  for (const [name, bytes] of Object.entries(made)) writeFileSync(join(folder, name), bytes);
  try {
    return { out: execFileSync(d88disk, args, { cwd: folder, encoding: 'utf8' }), status: 0, folder };
  } catch (error) {
    return { out: error.stdout, status: error.status, folder };
  }
}

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
                   ['error: Tracks 0–79: it already holds its 8 KB sector; the image was completed before']);
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

// The one-click save of the disk shown as format: the file downloaded.
const save_as = (format, wait) => downloaded(() => page.click(`#save-area button[data-format="${format}"]`), wait);

await check('the inspector opens another format and saves a disk in each with one click, the losses listed first', async () => {
  await pick('inspect', 'GAME.IMD');
  await page.waitForFunction(() => document.querySelectorAll('#map rect.sector').length === 80 * 16, { timeout: 5000 }).catch(() => {});
  assert.equal((await page.$$('#map rect.sector')).length, 80 * 16);
  assert.match(await text('#map-caption'), /^GAME\.IMD \(IMD\), disk 0: SAMPLE GAME, 2D/);
  const hfe = await save_as('hfe');
  assert.equal(hfe.name, 'GAME.HFE');
  assert.ok(hfe.bytes.equals(readFileSync(file('GAME.HFE'))));
  // what d88disk convert notes, the page says beside the saved file
  assert.equal(await text('#save-done'), 'Saved GAME.HFE. Save GAME.HFE again');
  assert.equal(await text('#save-losses'), "Notes:note lost-name — disk 0: HFE has no place for the disk's name");
  await pick('inspect', 'GAME.NEW.D88');
  assert.equal(await save_as('hfe', 1000), null);
  // the folded line names its slots once, without "(and 79 more like it)"
  assert.deepEqual(await page.$$eval('#save-losses li', (all) => all.map((e) => e.textContent)), [
    "note lost-name — disk 0: HFE has no place for the disk's name",
    'error track-too-long — disk 0, slots 0–79: track 00/00: sectors of 12288 bytes do not fit a real track of 6250 bytes at 250 kbit/s, 300 rpm; sector 00/00/01 keeps 828 of its 8192 bytes, its CRC unwritten']);
  assert.match(await text('#save-losses'), /^Saved as HFE, this disk would lose what follows:/);
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Save as HFE all the same');
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-losses.png'), fullPage: true });
  const forced = await downloaded(() => page.click('#save-losses button'));
  assert.equal(forced.name, 'GAME.NEW.HFE');
  assert.ok(forced.bytes.equals(readFileSync(join(run_d88disk(['convert', 'GAME.NEW.D88', 'GAME.NEW.HFE', '--force'], ['GAME.NEW.D88']).folder, 'GAME.NEW.HFE'))));
  // a geometry the format cannot describe: the library's line, nothing saved
  assert.equal(await save_as('hdm', 1000), null);
  assert.equal(await text('#save-losses'), "HDM cannot hold this disk:illegal data: the disk's geometry (40 x 2 x 17 x 8192 bytes) is none HDM holds: 77 x 2 x 8 x 1024 bytes");
  await accessible(page, 'a lossy save offered');
});

await check('an SCP flux dump opens with its report and saves as D88 equal to d88disk convert', async () => {
  await pick('inspect', 'GAME.NEW.SCP');
  assert.match(await text_when(page, '#map-caption', 'SCP'), /^GAME\.NEW\.SCP \(SCP\), disk 0: 2D, writable, 1005488 bytes$/);
  assert.deepEqual(await page.$$eval('#opened li', (all) => all.map((e) => e.textContent)), [
    'slots 0–79: 1 revolution, 300.0 rpm, MFM 250 kbit/s, sectors found/good: 17/16',
    'warning status — disk 0, slots 0–79: read with status 0xB0 (data CRC error) in every revolution']);
  assert.equal((await page.$$('#map rect.sector[data-n="6"]')).length, 80);
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-flux.png') });
  const d88 = await save_as('d88');
  assert.equal(d88.name, 'GAME.NEW.D88');
  const converted = run_d88disk(['convert', 'GAME.NEW.SCP', 'OUT.D88'], ['GAME.NEW.SCP']);
  assert.equal(converted.status, 0);
  assert.ok(d88.bytes.equals(readFileSync(join(converted.folder, 'OUT.D88'))), 'the D88 d88disk convert writes');
  await accessible(page, 'a flux dump');
  // a file whose name says another format than its content: read as its
  // content, with d88disk convert's note
  await drop('#inspect', [['WRONG.IMD', readFileSync(file('GAME.D88'))]]);
  assert.match(await text_when(page, '#map-caption', 'WRONG'), /^WRONG\.IMD, disk 0: SAMPLE GAME/);
  assert.equal(await text('#opened'), "note: 'WRONG.IMD' holds the format d88 by its content, not imd as its name says: read as d88");
});

// The rows of the file table: [name, type, attributes, size, cluster, load,
// exec, date].
const file_rows = (p = page) => p.$$eval('#files-body tr', (rows) => rows.map((r) => [...r.cells].slice(0, 8).map((c) => c.textContent)));
// The same rows as d88disk ls --json gives them for image.
function ls_rows(image) {
  const listing = JSON.parse(run_d88disk(['ls', image, '--json'], [image]).out);
  const hex = (n) => (n === null ? '-' : n.toString(16).toUpperCase().padStart(4, '0'));
  return { listing, rows: listing.files.map((f) => [f.name, f.type, f.attributes.toString(16).toUpperCase().padStart(2, '0') + (f.flags ? ' ' + f.flags : ''),
    String(f.size), f.cluster === null ? '-' : String(f.cluster), hex(f.load), hex(f.exec), f.date || '']) };
}
const row_button = (name, label) => `#files-body button[aria-label="${label} ${name}"]`;
// What the page's latest change said: its sentences, and the console's lines.
const news = () => page.$$eval('#files-news .news', (all) => all.map((e) => [e.querySelector('p').textContent, e.querySelector('pre')?.textContent ?? '']));

await check('the files of a FAT12, an N88-BASIC and a Hu-BASIC disk are listed as d88disk ls lists them', async () => {
  for (const image of ['FAT.D88', 'N88.D88', 'HU.D88']) {
    await pick('inspect', image);
    await text_when(page, '#map-caption', image);
    const { listing, rows } = ls_rows(image);
    assert.equal(await text('#fs-line'), `${listing.description} (${listing.file_system}): ${rows.length} files, ${listing.free} bytes free`, image);
    assert.deepEqual(await file_rows(), rows, image);
    assert.equal(rows.length, image === 'FAT.D88' ? 3 : 2, image);
    if (image === 'FAT.D88') assert.equal(rows[2][0], 'ゲーム.TXT');
  }
  assert.deepEqual((await file_rows())[1], ['NUMBERS.TXT', 'bin', '01', '43893', '3', '8000', '8010', '2001-02-03 04:05']);
  await accessible(page, 'the files of a disk');
});

await check('a file saved from the list is byte for byte what d88disk get extracts; the ZIP of all holds every file', async () => {
  for (const [image, name] of [['FAT.D88', 'NUMBERS.TXT'], ['N88.D88', 'HELLO.BAS'], ['HU.D88', 'HELLO.TXT']]) {
    await pick('inspect', image);
    await text_when(page, '#map-caption', image);
    const got = await downloaded(() => page.click(row_button(name, 'Save')));
    const expected = run_d88disk(['get', image, name], [image]);
    assert.equal(got.name, name);
    assert.ok(got.bytes.equals(readFileSync(join(expected.folder, name))), `${name} of ${image}`);
  }
  for (const image of ['FAT.D88', 'HU.D88']) {
    await pick('inspect', image);
    await text_when(page, '#map-caption', image);
    const zip = await downloaded(() => page.click('#zip'));
    assert.equal(zip.name, image.replace('.D88', '.zip'));
    const folder = mkdtempSync(join(tmpdir(), 'vorkast-zip-'));
    writeFileSync(join(folder, zip.name), zip.bytes);
    assert.match(execFileSync('unzip', ['-t', zip.name], { cwd: folder, encoding: 'utf8' }), /No errors detected in compressed data/);
    assert.equal(zip.bytes.readUInt16LE(6) & 0x0800, 0x0800, 'names flagged as UTF-8');
    assert.equal(zip.bytes.readUInt16LE(8), 0, 'stored');
    execFileSync('unzip', ['-q', zip.name, '-d', 'out'], { cwd: folder });
    const all = run_d88disk(['get', image, '--all', 'all'], [image]);
    const names = readdirSync(join(all.folder, 'all')).sort();
    assert.deepEqual(readdirSync(join(folder, 'out')).sort(), names);
    if (image === 'FAT.D88') assert.ok(names.includes('ゲーム.TXT'), 'a name in UTF-8');
    for (const name of names) assert.ok(readFileSync(join(folder, 'out', name)).equals(readFileSync(join(all.folder, 'all', name))), name);
    // the dates the file system keeps, as d88disk get gives the files
    const listing = execFileSync('unzip', ['-Z', '-T', zip.name], { cwd: folder, encoding: 'utf8' });
    assert.match(listing, image === 'FAT.D88' ? /19991231\.235958 NUMBERS\.TXT/ : /20010203\.040500 NUMBERS\.TXT/);
  }
});

// A file dropped on the list of files, made in the page with its date.
async function drop_files(files) {
  await page.evaluate((files) => {
    const list = new DataTransfer();
    for (const f of files)
      list.items.add(new File([Uint8Array.from(atob(f.data), (c) => c.charCodeAt(0))], f.name, { lastModified: new Date(...f.date).getTime() }));
    document.querySelector('#files-drop').dispatchEvent(new DragEvent('drop', { dataTransfer: list, bubbles: true, cancelable: true }));
  }, files.map(([name, bytes, date]) => ({ name, data: Buffer.from(bytes).toString('base64'), date })));
  await sleep(200);
}
const readme = Buffer.from('A file the page adds.\r\n'.repeat(300));

await check('a file dropped on the list is added as d88disk put adds it; the saved image gives it back through d88disk get', async () => {
  await pick('inspect', 'FAT.D88');
  await text_when(page, '#map-caption', 'FAT');
  await drop_files([['readme.txt', readme, [2025, 0, 2, 3, 4, 6]]]);
  assert.deepEqual(await news(), [['Added readme.txt as README.TXT.', "'readme.txt' stored as 'README.TXT'"]]);
  assert.equal(await text('#changes'), '1 change not saved yet: save the image to keep it.');
  assert.deepEqual((await file_rows()).map((r) => r[0]), ['HELLO.TXT', 'NUMBERS.TXT', 'ゲーム.TXT', 'README.TXT']);
  const saved = await save_as('d88');
  assert.equal(saved.name, 'FAT.D88');
  assert.equal(await text('#changes'), '');
  // d88disk put of the same file with the same date makes the same image,
  // and gets the file back from the page's
  const put = run_d88disk(['put', 'FAT.D88', 'readme.txt', '--date', '2025-01-02T03:04:06'], ['FAT.D88'], { 'readme.txt': readme, 'SAVED.D88': saved.bytes });
  assert.equal(put.status, 0, put.out);
  assert.ok(saved.bytes.equals(readFileSync(join(put.folder, 'FAT.D88'))), 'the image d88disk put makes');
  execFileSync(d88disk, ['get', 'SAVED.D88', 'README.TXT', 'BACK.TXT'], { cwd: put.folder });
  assert.ok(readFileSync(join(put.folder, 'BACK.TXT')).equals(readme));
  // picked through the file input, on Hu-BASIC as text
  await pick('inspect', 'HU.D88');
  await text_when(page, '#map-caption', 'HU');
  await page.click('#put-options summary');
  await page.select('#put-type', 'asc');
  await (await page.$('#add-files')).uploadFile(file('NOTE.TXT'));  // which fires its change event
  await settled();
  await page.select('#put-type', '');
  assert.deepEqual(await news(), [['Added NOTE.TXT.', '']]);
  assert.deepEqual((await file_rows()).map((r) => r.slice(0, 4)), [['HELLO.TXT', 'asc', '04', '18'], ['NUMBERS.TXT', 'bin', '01', '43893'], ['NOTE.TXT', 'asc', '04', '8']]);
});

// The image shown, as the page saves it as D88.
const saved_d88 = async () => (await save_as('d88')).bytes;

await check('refused changes say what d88disk says, offer the explicit choice, and leave the image as it was', async () => {
  // a name already there: kept, unless replaced on purpose
  await pick('inspect', 'FAT.D88');
  await text_when(page, '#map-caption', 'FAT');
  await drop_files([['hello.txt', readme, [2025, 0, 2, 3, 4, 6]]]);
  const exists = run_d88disk(['put', 'FAT.D88', 'hello.txt'], ['FAT.D88'], { 'hello.txt': readme });
  assert.equal(exists.status, 1);
  assert.deepEqual(await news(), [['FAT.D88 already holds HELLO.TXT (file, 18 bytes); it is kept unless you replace it.', exists.out.trim()]]);
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Replace HELLO.TXT');
  assert.equal(await text('#changes'), '');
  assert.ok((await saved_d88()).equals(readFileSync(file('FAT.D88'))), 'unchanged');
  await page.click('#files-news button');
  assert.deepEqual(await news(), [['Replaced HELLO.TXT.', "'hello.txt' stored as 'HELLO.TXT'"]]);
  const replaced = run_d88disk(['put', 'FAT.D88', 'hello.txt', '--overwrite', '--date', '2025-01-02T03:04:06'], ['FAT.D88'], { 'hello.txt': readme });
  assert.ok((await saved_d88()).equals(readFileSync(join(replaced.folder, 'FAT.D88'))), 'what d88disk put --overwrite makes');

  // a full disk
  await pick('inspect', 'N88.D88');
  await text_when(page, '#map-caption', 'N88');
  const big = Buffer.alloc(300000, 0x41);
  await drop_files([['BIG.BIN', big, [2025, 0, 2, 3, 4, 6]]]);
  const full = run_d88disk(['put', 'N88.D88', 'BIG.BIN'], ['N88.D88'], { 'BIG.BIN': big });
  assert.equal(full.status, 1);
  assert.match(full.out, /^illegal data: the disk is full: 'BIG\.BIN' needs/);
  assert.deepEqual(await news(), [['BIG.BIN is not added; the disk is as it was:', full.out.trim()]]);
  assert.ok((await saved_d88()).equals(readFileSync(file('N88.D88'))), 'unchanged');

  // a disk that holds files: formatted only when asked again
  await page.select('#format-fs', '0');
  await page.click('#format');
  const refused = run_d88disk(['format', 'N88.D88', '--fs', 'n88'], ['N88.D88']);
  assert.equal(refused.status, 1);
  assert.deepEqual(await news(), [['The disk holds 2 files (N88-BASIC 2D): a format erases them. Nothing is changed unless you format it all the same.', refused.out.trim()]]);
  assert.equal(await page.evaluate(() => document.activeElement.textContent), 'Format all the same');
  assert.ok((await saved_d88()).equals(readFileSync(file('N88.D88'))), 'unchanged');
  await page.click('#files-news button');
  assert.deepEqual(await news(), [['Formatted the disk as N88-BASIC 2D.', '']]);
  const formatted = run_d88disk(['format', 'N88.D88', '--fs', 'n88', '--force'], ['N88.D88']);
  const empty = JSON.parse(execFileSync(d88disk, ['ls', 'N88.D88', '--json'], { cwd: formatted.folder, encoding: 'utf8' }));
  assert.equal(await text('#fs-line'), `N88-BASIC 2D (n88): 0 files, ${empty.free} bytes free`);
  assert.equal(await text('#files-body'), 'The directory holds no file.');
  assert.ok((await saved_d88()).equals(readFileSync(join(formatted.folder, 'N88.D88'))), 'what d88disk format --force makes');
  // and undone
  await page.click('#undo');
  assert.ok((await saved_d88()).equals(readFileSync(file('N88.D88'))), 'undone');

  // a disk without a file system: a format lays one down
  await pick('inspect', 'GAME.D88');
  assert.equal(await text_when(page, '#fs-line', 'No'), 'No N88-BASIC, Hu-BASIC or FAT12 file system is on this disk; a format lays one down.');
  await page.select('#format-fs', '1');
  await page.click('#format');
  const holds = run_d88disk(['format', 'GAME.D88', '--fs', 'hu'], ['GAME.D88']);
  assert.deepEqual(await news(), [['The disk holds data in 1280 sectors and no file system the page knows: a format erases it. Nothing is changed unless you format it all the same.', holds.out.trim()]]);

  // a write-protected disk
  await pick('inspect', 'LOCKED.D88');
  await text_when(page, '#map-caption', 'LOCKED');
  await drop_files([['NEW.TXT', readme, [2025, 0, 2, 3, 4, 6]]]);
  const locked = run_d88disk(['put', 'LOCKED.D88', 'NEW.TXT'], ['LOCKED.D88'], { 'NEW.TXT': readme });
  assert.deepEqual(await news(), [['The disk is write-protected: nothing on it is changed.', locked.out.trim()]]);
  await page.click(row_button('HELLO.TXT', 'Delete'));
  assert.equal((await news())[0][0], 'The disk is write-protected: nothing on it is changed.');
  assert.ok((await saved_d88()).equals(readFileSync(file('LOCKED.D88'))), 'unchanged');
});

await check('a file deleted as d88disk rm deletes it; folders and the keyboard', async () => {
  await pick('inspect', 'HU.D88');
  await text_when(page, '#map-caption', 'HU');
  // every action is a button reached by Tab, and works by Enter
  await page.focus(row_button('NUMBERS.TXT', 'Delete'));
  await page.keyboard.press('Enter');
  assert.deepEqual(await news(), [['Deleted NUMBERS.TXT.', '']]);
  assert.equal(await page.evaluate(() => document.activeElement.id), 'files-news', 'the keyboard stays by what was done');
  const removed = run_d88disk(['rm', 'HU.D88', 'NUMBERS.TXT'], ['HU.D88']);
  assert.ok((await saved_d88()).equals(readFileSync(join(removed.folder, 'HU.D88'))), 'what d88disk rm makes');
  assert.equal(await text('#undo'), 'Undo deleting NUMBERS.TXT');
  await accessible(page, 'a file deleted');
  await page.click('#undo');
  assert.deepEqual((await file_rows()).map((r) => r[0]), ['HELLO.TXT', 'NUMBERS.TXT']);
});

await check('completing, then opening another disk, keeps the completed image\'s link and summary; the picker names the image shown', async () => {
  await pick('game', 'GAME.D88');
  await pick('data1', 'DATA1.D88');
  await pick('data2', 'DATA2.D88');
  await text_when(page, '#readiness p', '^80');
  const run = await complete();
  assert.equal(run.shown, true);
  await text_when(page, '#map-caption', 'Completed');
  assert.equal(await page.$eval('#inspect', (e) => e.files[0].name), 'GAME.NEW.D88');
  await pick('inspect', 'FAT.D88');
  await text_when(page, '#map-caption', 'FAT');
  assert.equal(await shown('#download'), true);
  assert.equal(await page.$eval('#download', (e) => e.download), 'GAME.NEW.D88');
  assert.match(await text('#summary'), /^Completed 80 tracks: GAME\.NEW\.D88/);
  assert.equal(await page.$eval('#inspect', (e) => e.files[0].name), 'FAT.D88');
  await drop_files([['readme.txt', readme, [2025, 0, 2, 3, 4, 6]]]);
  await page.evaluate(() => window.scrollTo(0, 0));
  const area = await page.evaluate(() => {
    const top = document.querySelector('section[aria-labelledby="inspect-title"]').getBoundingClientRect().top + scrollY;
    const bottom = document.querySelector('#files-area').getBoundingClientRect().bottom + scrollY;
    return { x: 0, y: top - 8, width: innerWidth, height: bottom - top + 24 };
  });
  await page.screenshot({ path: join(dirname(page_path), 'screenshot-files.png'), clip: area, captureBeyondViewport: true });
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
  // the files of a disk, in Japanese, and a refusal
  await pick('inspect', 'HU.D88', ja);
  assert.equal(await text_when(ja, '#fs-line', 'Hu'), `Hu-BASIC 2D（hu）: ファイル 2 個、空き ${ls_rows('HU.D88').listing.free} バイト`);
  assert.deepEqual(await ja.$$eval('#files-table thead th', (all) => all.map((e) => e.textContent)),
                   ['名前', '種類', '属性', 'サイズ', 'クラスタ', 'ロード', '実行', '日付', '操作']);
  await ja.click('#format');
  assert.match(await ja.$eval('#files-news', (e) => e.textContent), /^このディスクにはファイルが 2 個（Hu-BASIC 2D）があり、フォーマットすると消えます。/);
  await accessible(ja, 'the files of a disk, in Japanese');
  await ja.evaluate(() => window.scrollTo(0, 0));
  const area = await ja.evaluate(() => {
    const top = document.querySelector('section[aria-labelledby="inspect-title"]').getBoundingClientRect().top + scrollY;
    const bottom = document.querySelector('#files-area').getBoundingClientRect().bottom + scrollY;
    return { x: 0, y: top - 8, width: innerWidth, height: bottom - top + 24 };
  });
  await ja.screenshot({ path: join(dirname(page_path), 'screenshot-files-ja.png'), clip: area, captureBeyondViewport: true });
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
