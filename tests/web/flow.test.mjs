// The workbench in a real browser: Debian's Chromium driven by playwright-core.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {RATE, archiveBytes, editorWav, scratch, standardArchive, unpacked, wavData} from './fixture.mjs';
import {audioReport, closeBrowser, config, dropFile, inkedColumns, launchBrowser, openPage, openWorkbench,
        saveAndWait, screenshot} from './harness.mjs';

// Every file of `after` is the same as in `before`, but for the names given.
function sameBut(before, after, changed) {
  for (const [name, bytes] of before) {
    if (changed.includes(name)) continue;
    assert.ok(after.has(name), `${name} is still unpacked`);
    assert.ok(after.get(name).equals(bytes), `${name} is unchanged`);
  }
}

before(launchBrowser);
after(closeBrowser);

describe('the archive at a glance and one entry', {timeout: 1_200_000}, () => {
  let dir, server, page;
  before(async () => {
    dir = scratch('glance');
    standardArchive(dir);
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    page = await openPage((await server.address).url);
  });
  after(async () => { await page.context().close(); await server.stop(); });

  test('the table and the strip show every record, the gap and the overlap', async () => {
    assert.equal(await page.locator('#records tbody tr').count(), 5);
    assert.equal(await page.locator('#strip .range').count(), 5);
    assert.equal(await page.locator('#strip .gap').count(), 1);
    assert.equal(await page.locator('#strip .overlap').count(), 1);
    const summary = await page.textContent('#summary');
    assert.match(summary, /5 records/);
    assert.match(summary, /64 bytes in gaps/);
    assert.match(summary, /100 bytes overlapping/);
    assert.match(await page.textContent('#records tbody tr[data-n="4"]'), /overlaps record 5/);
    await screenshot(page, 'workbench-archive');
  });

  test('the filter narrows the table as you type, and a header sorts it', async () => {
    await page.fill('#filter', 'dig');
    assert.deepEqual(await page.$$eval('#records tbody tr', rows => rows.map(r => r.dataset.n)), ['2', '3']);
    await page.fill('#filter', 'sound chirp');
    assert.deepEqual(await page.$$eval('#records tbody tr', rows => rows.map(r => r.dataset.n)), ['3']);
    await page.fill('#filter', '');
    await page.click('th[data-key="length"]');
    await page.click('th[data-key="length"]');
    assert.deepEqual(await page.$$eval('#records tbody tr', rows => rows.map(r => r.dataset.n)), ['2', '3', '4', '5', '1']);
    await page.click('th[data-key="n"]');
  });

  test('a sound plays for its length at 11025 samples a second, its waveform drawn', async () => {
    await page.click('#strip .range[data-n="2"]');
    await page.waitForSelector('#waveform[data-samples]');
    const report = await audioReport(page, '#player');
    assert.equal(report.played, true);
    assert.ok(Math.abs(report.duration - 4410 / RATE) <= 1 / RATE, `duration ${report.duration}`);
    const ink = await inkedColumns(page, '#waveform');
    assert.ok(ink.width > 100 && ink.inked === ink.width, `${ink.inked} of ${ink.width} columns drawn`);
    assert.match(await page.textContent('#sound-facts'), /4410 samples.*0\.400 s/);
    await screenshot(page, 'workbench-sound');
  });

  test('text shows as text, anything else as hex; both can be downloaded', async () => {
    await page.click('#records tbody tr[data-n="1"]');
    assert.match(await (await page.waitForSelector('#text-view')).textContent(), /^Quillfane workbench test archive\.\r?\nSecond line\./);
    await page.click('#records tbody tr[data-n="4"]');
    assert.match(await (await page.waitForSelector('#hex-view')).textContent(), /^00000000  03 0a 11 18 1f/);
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('.downloads a')]);
    assert.equal(download.suggestedFilename(), 'LEVEL.MAP');
    const saved = fs.readFileSync(await download.path());
    assert.deepEqual([...saved.subarray(0, 3)], [3, 10, 17]);
    assert.equal(saved.length, 300);
    assert.deepEqual(page.problems, []);
  });
});

describe('changes staged in the page and saved', {timeout: 1_200_000}, () => {
  let dir, server, page, before0;
  before(async () => {
    dir = scratch('changes');
    standardArchive(dir);
    before0 = unpacked(config.unpack, dir);
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    page = await openPage((await server.address).url);
  });
  after(async () => { await page.context().close(); await server.stop(); });

  test('a 44.1 kHz 16-bit stereo WAV dropped on a sound is converted, plays, and is what an unpack gives after Save', async () => {
    const frames = 22050;
    await page.click('#records tbody tr[data-n="3"]');
    await dropFile(page, '#replace-drop', 'voice.wav', editorWav(frames));
    await page.waitForSelector('#replace-preview audio');
    const preview = await audioReport(page, '#replace-preview audio');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#replace-preview a.converted')]);
    assert.equal(download.suggestedFilename(), 'voice-11025.wav');
    const converted = fs.readFileSync(await download.path());
    const samples = wavData(converted);
    assert.ok(Math.abs(samples.length - frames / 4) <= 1, `${samples.length} samples`);
    assert.equal(preview.played, true);
    assert.ok(Math.abs(preview.duration - samples.length / RATE) <= 1 / RATE, `preview lasts ${preview.duration}`);
    await screenshot(page, 'workbench-replace-preview');
    await page.click('#replace-stage');
    assert.equal(await page.locator('#staged li').count(), 1);
    await screenshot(page, 'workbench-staged');
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    const now = unpacked(config.unpack, dir);
    assert.ok(wavData(now.get('CHIRP.WAV')).equals(samples), 'CHIRP.WAV holds the converted samples');
    assert.equal(now.get('CHIRP.DIG').length, samples.length);
    sameBut(before0, now, ['CHIRP.DIG', 'CHIRP.WAV']);
    assert.equal(await page.textContent('#records tbody tr[data-n="3"] td:nth-child(4)'), String(samples.length));
  });

  test('add, remove and rename, each saved and then seen in an unpack', async () => {
    const cases = [
      {what: 'add', changed: ['NEW.TXT'], stage: async () => {
        await dropFile(page, '#add-drop', 'notes.txt', Buffer.from('added by the workbench\r\n'));
        await page.fill('#add-name', 'NEW.TXT');
        await page.waitForSelector('#add-name-check.good');
        await page.waitForSelector('#add-stage:not([disabled])');
        await page.click('#add-stage');
      }, check: (old, now) => assert.equal(now.get('NEW.TXT').toString(), 'added by the workbench\r\n')},
      {what: 'remove', changed: ['LEVEL.MAP'], stage: async () => {
        await page.click('#records tbody tr[data-n="4"]');
        await page.click('#remove-stage');
      }, check: (old, now) => assert.equal(now.has('LEVEL.MAP'), false)},
      {what: 'rename', changed: ['README.TXT', 'INFO.TXT'], stage: async () => {
        await page.click('#records tbody tr[data-n="1"]');
        await page.fill('#rename-name', 'INFO.TXT');
        await page.waitForSelector('#rename-check.good');
        await page.click('#rename-stage');
      }, check: (old, now) => {
        assert.equal(now.has('README.TXT'), false);
        assert.ok(now.get('INFO.TXT').equals(old.get('README.TXT')));
      }},
    ];
    for (const c of cases) {
      const old = unpacked(config.unpack, dir);
      await c.stage();
      const result = await saveAndWait(page);
      assert.equal(result.bad, false, `${c.what}: ${result.text}`);
      const now = unpacked(config.unpack, dir);
      c.check(old, now);
      sameBut(old, now, c.changed);
    }
  });

  test('a name the list cannot take is named as you type', async () => {
    await page.fill('#add-name', 'MUCH.TOO.LONG.NAME');
    await page.waitForSelector('#add-name-check.bad');
    assert.match(await page.textContent('#add-name-check'), /12 bytes/);
    await page.fill('#add-name', 'CHIRP.DIG');
    await page.waitForSelector('#add-name-check.bad');
    await page.fill('#add-name', '');
  });

  test('a staged change can be undone', async () => {
    await page.click('#records tbody tr[data-n="2"]');
    await page.click('#remove-stage');
    assert.equal(await page.locator('#staged li').count(), 1);
    await page.click('#staged li button.undo');
    assert.equal(await page.locator('#staged li').count(), 0);
    assert.equal(await page.isDisabled('#save'), true);
  });
});

describe('two pages on one archive', {timeout: 1_200_000}, () => {
  test("a second page's Save after the first one's is refused, nothing written", async () => {
    const dir = scratch('two');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const {url} = await server.address;
    const first = await openPage(url);
    const second = await openPage(url);
    for (const page of [first, second]) {
      await page.click('#records tbody tr[data-n="4"]');
      await page.click('#remove-stage');
    }
    assert.equal((await saveAndWait(first)).bad, false);
    const saved = archiveBytes(dir);
    const refused = await saveAndWait(second);
    assert.equal(refused.bad, true);
    assert.match(refused.text, /changed on disk since this page loaded it/);
    assert.ok(archiveBytes(dir).equals(saved), 'nothing written');
    await screenshot(second, 'workbench-refused');
    await first.context().close();
    await second.context().close();
    await server.stop();
  });
});

describe('read-only and Close', {timeout: 1_200_000}, () => {
  test('--read-only offers no change and refuses Save; Close ends the server with status 0', async () => {
    const dir = scratch('readonly');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'), ['--read-only']);
    const page = await openPage((await server.address).url);
    await page.click('#records tbody tr[data-n="2"]');
    assert.equal(await page.isVisible('#replace-drop'), false);
    assert.equal(await page.isVisible('#add'), false);
    const refused = await page.evaluate(async () => {
      const form = new FormData();
      form.append('version', document.body.dataset.ready);
      form.append('changes', 'remove 4');
      return (await fetch('/api/save', {method: 'POST', body: form})).status;
    });
    assert.equal(refused, 403);
    await page.click('#close');
    assert.equal(await server.exited, 0);
    assert.match(server.output(), /closed/);
    await page.context().close();
  });
});
