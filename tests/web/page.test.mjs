// The page by hand and by keyboard: drops from the desktop, rows chosen and
// removed together, every action by keyboard, the hex view, a phone's width.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {scramble, scratch, tone, wavData, writeArchive} from './fixture.mjs';
import {closeBrowser, config, launchBrowser, openPage, openWorkbench, saveAndWait, screenshot} from './harness.mjs';
import {dragsSeen, dropFromDisk, dropMade, filesOnDisk, focused, gameWav, tabUntil, unpackedTree, watchDrops} from './page_helpers.mjs';

const TIMEOUT = {timeout: 180000};

// Records 1..7 (names of 12 bytes at most); two sounds in a folder, a big binary record for the hex view.
function pageArchive(dir) {
  writeArchive(dir, [
    ['README.TXT', Buffer.from('The page test archive.\r\n')],
    ['SFX\\BOOM.DIG', scramble(tone(4410, 40))],
    ['SFX\\HUM.DIG', scramble(tone(2205, 17))],
    ['LEVEL.MAP', Uint8Array.from({length: 300}, (_, k) => (k * 7 + 3) & 0xff)],
    ['BIG.BIN', Uint8Array.from({length: 5000}, (_, k) => (k * 13 + 1) & 0xff)],
    ['NOTES.TXT', Buffer.from('notes\r\n')],
    ['TITLE.PIC', Buffer.alloc(64, 0x41)],
  ]);
  // An unpack makes no folder but data/ itself.
  fs.mkdirSync(path.join(dir, 'data', 'SFX'), {recursive: true});
  return path.join(dir, 'GAME.RD');
}

async function opened(name) {
  const dir = scratch(name);
  const server = openWorkbench(pageArchive(dir));
  const page = await openPage((await server.address).url);
  return {dir, server, page, unpack: () => unpackedTree(config.unpack, dir, ['SFX'])};
}

async function staged(page) {
  return page.$$eval('#staged li', items => items.map(li => li.firstChild.textContent));
}

async function chosen(page) {
  return page.$$eval('#records tbody tr.chosen', rows => rows.map(r => Number(r.dataset.n)));
}

async function heading(page, text) {
  await page.waitForFunction(text => document.querySelector('#entry h2')?.textContent === text, text);
}

before(launchBrowser);
after(closeBrowser);

describe('drops', TIMEOUT, () => {
  let w;
  before(async () => { w = await opened('drops'); });
  after(async () => { await w.page.context().close(); await w.server.stop(); });

  test('a file dropped on a row stages its replacement; a drop on the background keeps the page', async () => {
    const {page} = w;
    const url = page.url();
    await watchDrops(page);
    const disk = filesOnDisk('row', {'anything.bin': Buffer.from('replaced by a drop on its row\r\n'),
                                     'stray.dat': Buffer.from('matches nothing')});
    await dropFromDisk(page, '#records tbody tr[data-n="6"] td:nth-child(5)', [path.join(disk, 'anything.bin')]);
    await page.waitForSelector('#staged li');
    assert.deepEqual(await staged(page), ['replace #6 NOTES.TXT: anything.bin: 31 bytes, taken as they are']);
    for (const where of ['#summary', 'header h1', '#strip']) {
      await dropFromDisk(page, where, [path.join(disk, 'stray.dat')]);
      await page.waitForSelector('#additions[open]');
      assert.equal(page.url(), url, `a drop on ${where} navigated`);
      const drags = await dragsSeen(page);
      assert.ok(drags.some(d => d.type === 'drop'), `no drop reached the page on ${where}`);
      assert.deepEqual(drags.filter(d => !d.cancelled), [], `a drag over ${where} was left to the browser`);
      assert.match(await page.textContent('#additions-list'), /stray\.dat/);
      await page.click('#additions-cancel');
    }
    assert.equal((await staged(page)).length, 1, 'the staged change is kept');
    assert.equal(await page.evaluate(() => document.body.dataset.ready !== undefined), true);
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    assert.equal(w.unpack().get('NOTES.TXT').toString(), 'replaced by a drop on its row\r\n');
  });

  test('several files: names matched ignoring case and slash, a .WAV for its .DIG, the rest offered as additions', async () => {
    const {page} = w;
    const boom = Buffer.from('not a sound any more');
    const hum = tone(3000, 23);
    const added = tone(1500, 11);
    // A data folder as an unpack leaves it, dropped whole: its paths name the records.
    const disk = filesOnDisk('several', {
      'data/sfx/boom.dig': boom,
      'data/SFX/Hum.WAV': gameWav(hum),
      'data/readme.txt': Buffer.from('read me again\r\n'),
      'data/NEW1.TXT': Buffer.from('first new\r\n'),
      'data/SFX/NEW2.WAV': gameWav(added),
    });
    await dropFromDisk(page, '#summary', [path.join(disk, 'data')]);
    await page.waitForSelector('#additions[open]');
    assert.deepEqual((await staged(page)).sort(), [
      'replace #1 README.TXT: readme.txt: 15 bytes, taken as they are',
      'replace #2 SFX\\BOOM.DIG: boom.dig: 20 bytes, taken as they are',
      'replace #3 SFX\\HUM.DIG: Hum.WAV: 8-bit mono 11025 Hz already, 3000 samples, 0.272 s',
    ]);
    const names = () => page.$$eval('#additions-list .add-as', inputs => inputs.map(i => i.value));
    assert.deepEqual((await names()).sort(), ['NEW1.TXT', 'SFX\\NEW2.WAV']);
    // add's -wav2dig: the .WAV goes in as a sound.
    await page.check('#additions-wav2dig');
    assert.deepEqual((await names()).sort(), ['NEW1.TXT', 'SFX\\NEW2.DIG']);
    await page.waitForSelector('#additions-stage:not([disabled])');
    await screenshot(page, 'page-additions');
    await page.click('#additions-stage');
    await page.waitForSelector('#additions[open]', {state: 'detached'});
    assert.equal((await staged(page)).length, 5);
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    const now = w.unpack();
    assert.ok(now.get('SFX\\BOOM.DIG').equals(boom));
    assert.ok(wavData(now.get('SFX\\HUM.WAV')).equals(Buffer.from(hum)), 'the .WAV in the game format keeps its samples exactly');
    assert.equal(now.get('README.TXT').toString(), 'read me again\r\n');
    assert.equal(now.get('NEW1.TXT').toString(), 'first new\r\n');
    assert.ok(wavData(now.get('SFX\\NEW2.WAV')).equals(Buffer.from(added)));
  });

  test('files made in the page with either slash, a name that clashes within the drop, one record taking one file', async () => {
    const {page} = w;
    await dropMade(page, '#records', [
      ['Sfx/Boom.Dig', Buffer.from('slash one way')],
      ['sfx\\boom.wav', gameWav(tone(100, 9))],
      ['LEVEL.map', Buffer.from('level')],
      ['a/NEW3.TXT', Buffer.from('x')],
      ['b/new3.txt', Buffer.from('y')],
    ]);
    await page.waitForSelector('#additions[open]');
    assert.deepEqual((await staged(page)).sort(), [
      'replace #2 SFX\\BOOM.DIG: Sfx/Boom.Dig: 13 bytes, taken as they are',
      'replace #4 LEVEL.MAP: LEVEL.map: 5 bytes, taken as they are',
    ]);
    assert.match(await page.textContent('#messages'), /sfx\\boom\.wav: #2 SFX\\BOOM\.DIG is replaced by Sfx\/Boom\.Dig from this drop already/);
    // Both would go in as A\NEW3.TXT and B\NEW3.TXT; named alike, the second would hide the first.
    const inputs = page.locator('#additions-list .add-as');
    await inputs.nth(0).fill('NEW3.TXT');
    await inputs.nth(1).fill('New3.Txt');
    await page.waitForFunction(() => document.querySelectorAll('#additions-list .check.bad').length === 2);
    assert.equal(await page.isDisabled('#additions-stage'), true);
    await page.uncheck('#additions-list li:nth-child(2) .include');
    await page.waitForSelector('#additions-stage:not([disabled])');
    await page.click('#additions-stage');
    await page.waitForSelector('#additions[open]', {state: 'detached'});
    const now = await staged(page);
    assert.equal(now.length, 3);
    assert.match(now[2], /^add NEW3\.TXT: .*NEW3\.TXT: 1 bytes, taken as they are$/);
    while (await page.locator('#staged li').count()) await page.click('#staged li button.undo');
    assert.equal((await staged(page)).length, 0);
  });
});

describe('rows chosen together', TIMEOUT, () => {
  test('click, shift+click, ctrl+click and select all shown; removed in one step, each undoable; gone after Save', async () => {
    const w = await opened('choose');
    const {page} = w;
    await page.click('#records tbody tr[data-n="2"]');
    await page.click('#records tbody tr[data-n="4"]', {modifiers: ['Shift']});
    assert.deepEqual(await chosen(page), [2, 3, 4]);
    await page.click('#records tbody tr[data-n="3"]', {modifiers: ['Control']});
    await page.click('#records tbody tr[data-n="7"]', {modifiers: ['Control']});
    assert.deepEqual(await chosen(page), [2, 4, 7]);
    assert.equal(await page.textContent('#chosen-count'), '3 selected');
    await page.click('#remove-chosen');
    assert.deepEqual(await staged(page), ['remove #2 SFX\\BOOM.DIG', 'remove #4 LEVEL.MAP', 'remove #7 TITLE.PIC']);
    assert.deepEqual(await chosen(page), []);
    await page.click('#staged li:nth-child(2) button.undo');
    assert.deepEqual(await staged(page), ['remove #2 SFX\\BOOM.DIG', 'remove #7 TITLE.PIC']);
    // Select all shown takes the rows the filter leaves, no others.
    await page.fill('#filter', 'txt');
    await page.click('#select-shown');
    assert.deepEqual((await chosen(page)).sort(), [1, 6]);
    await page.fill('#filter', '');
    assert.deepEqual((await chosen(page)).sort(), [1, 6]);
    await page.click('#remove-chosen');
    assert.equal((await staged(page)).length, 4);
    await screenshot(page, 'page-chosen-removed');
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    assert.deepEqual([...w.unpack().keys()].sort(), ['BIG.BIN', 'LEVEL.MAP', 'SFX\\HUM.DIG', 'SFX\\HUM.WAV']);
    await page.context().close();
    await w.server.stop();
  });
});

describe('the keyboard alone', TIMEOUT, () => {
  test('Tab reaches every action with its focus shown; arrows, Enter, Delete, / and Save', async () => {
    const w = await opened('keys');
    const {page} = w;
    const stops = await tabUntil(page, f => f.tag === 'tr');
    const reached = stops.map(s => s.id || `${s.tag}:${s.text}`);
    for (const want of ['reload', 'close', 'strip', 'filter', 'select-shown', 'select-none', 'button:#', 'button:name', 'button:unpack']) {
      assert.ok(reached.includes(want), `${want} not reached by Tab: ${reached.join(' | ')}`);
    }
    for (const stop of stops) assert.ok(stop.visible, `${stop.id || stop.tag + ':' + stop.text} shows no focus`);
    assert.equal(stops.at(-1).n, '1');
    // Arrows move, Enter opens.
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('ArrowDown');
    assert.equal((await focused(page)).n, '3');
    assert.ok((await focused(page)).visible);
    await page.keyboard.press('Enter');
    await heading(page, '#3 SFX\\HUM.DIG');
    // Tab on from the row reaches the entry's actions.
    const entryStops = await tabUntil(page, f => f.id === 'remove-stage');
    for (const want of ['replace-file', 'rename-name']) assert.ok(entryStops.some(s => s.id === want), `${want} not reached`);
    for (const stop of entryStops) assert.ok(stop.visible, `${stop.id || stop.tag} shows no focus`);
    // / goes to the filter; down, to the rows it shows; Delete stages a removal.
    await page.keyboard.press('/');
    assert.equal((await focused(page)).id, 'filter');
    await page.keyboard.type('map');
    await page.keyboard.press('ArrowDown');
    assert.equal((await focused(page)).n, '4');
    await page.keyboard.press('Delete');
    assert.deepEqual(await staged(page), ['remove #4 LEVEL.MAP']);
    assert.equal((await focused(page)).n, '4', 'the row keeps the focus');
    // Shift+arrow chooses a range; Delete removes them all.
    await page.keyboard.press('/');
    await page.keyboard.press('Control+A');
    await page.keyboard.press('Backspace');
    await page.keyboard.press('ArrowDown');
    await page.keyboard.press('End');
    await page.keyboard.press('Shift+ArrowUp');
    assert.deepEqual(await chosen(page), [6, 7]);
    await page.keyboard.press('Delete');
    assert.deepEqual(await staged(page), ['remove #4 LEVEL.MAP', 'remove #6 NOTES.TXT', 'remove #7 TITLE.PIC']);
    // A header sorts with Enter.
    await tabUntil(page, f => f.tag === 'button' && f.text === 'length', {back: true});
    await page.keyboard.press('Enter');
    assert.equal(await page.getAttribute('th[data-key="length"]', 'aria-sort'), 'ascending');
    // The strip: arrows walk the records by offset, Enter opens one.
    await tabUntil(page, f => f.id === 'strip', {back: true});
    await page.keyboard.press('ArrowRight');
    assert.match(await page.textContent('#strip-info'), /^#2 SFX\\BOOM\.DIG/);
    await page.keyboard.press('Enter');
    await heading(page, '#2 SFX\\BOOM.DIG');
    // Save, by keyboard.
    await tabUntil(page, f => f.id === 'save', {back: true});
    await page.keyboard.press('Enter');
    await page.waitForFunction(() => /Saved/.test(document.getElementById('messages').textContent));
    assert.deepEqual([...w.unpack().keys()].sort(), ['BIG.BIN', 'README.TXT', 'SFX\\BOOM.DIG', 'SFX\\BOOM.WAV', 'SFX\\HUM.DIG', 'SFX\\HUM.WAV']);
    assert.deepEqual(page.problems, []);
    await page.context().close();
    await w.server.stop();
  });
});

describe('the hex view and the page at two widths', TIMEOUT, () => {
  // The hex view's lines, and whether they are wider than its box.
  async function hexState(page) {
    return page.$eval('#hex-view', pre => ({lines: pre.textContent.split('\n').length,
                                            scrollWidth: pre.scrollWidth, clientWidth: pre.clientWidth}));
  }

  for (const [width, height] of [[1400, 900], [390, 844]]) {
    test(`at ${width} px: the hex view fits its box and shows more than 512 bytes on request`, async () => {
      const w = await opened(`width${width}`);
      const {page} = w;
      await page.setViewportSize({width, height});
      await page.click('#records tbody tr[data-n="5"]');
      await page.waitForSelector('#hex-view');
      const first = await hexState(page);
      assert.match(await page.textContent('#entry .hint'), /The first 512 of 5000 bytes/);
      assert.ok(first.scrollWidth <= first.clientWidth, `${first.scrollWidth} > ${first.clientWidth}`);
      await page.click('#hex-more');
      await page.waitForSelector('#entry .hint:text("The first 4096 of 5000 bytes:")');
      const more = await hexState(page);
      assert.ok(more.lines > first.lines, `${more.lines} lines`);
      // The line holding byte 4095 is there, whatever the bytes a line.
      assert.match(await page.textContent('#hex-view'), /^00000ff0 /m);
      assert.ok(more.scrollWidth <= more.clientWidth, `${more.scrollWidth} > ${more.clientWidth}`);
      await page.click('#hex-more');
      await page.waitForSelector('#entry .hint:text("All 5000 bytes:")');
      assert.equal(await page.isHidden('#hex-more'), true);
      // The table comes first, at the page's width; the entry beside it or below it.
      const table = await page.locator('.table-box').boundingBox();
      const entry = await page.locator('#entry').boundingBox();
      if (width < 800) {
        assert.ok(table.width > width - 40, `the table is ${table.width} px wide`);
        assert.ok(entry.y >= table.y + table.height, 'the entry is below the table');
      } else {
        assert.ok(entry.x >= table.x + table.width, 'the entry is beside the table');
      }
      const pageWidth = await page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(pageWidth <= width, `the page is ${pageWidth} px wide at ${width}`);
      await screenshot(page, `page-${width}`);
      await page.context().close();
      await w.server.stop();
    });
  }
});
