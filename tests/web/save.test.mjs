// Save for real work, and the page in every state: many changes of every kind
// in one Save, every reply the server can give (and none), Close and Reload
// with changes staged, names judged as Save judges them.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {archiveBytes, editorWav, scramble, scratch, standardArchive, tone, writeArchive} from './fixture.mjs';
import {closeBrowser, config, launchBrowser, openPage, openWorkbench, saveAndWait} from './harness.mjs';
import {answerDialogs, applied, assertUnpackIs, commandLineSave, modelOf, stageThroughPage, tableShown,
        unpackAll} from './save_helpers.mjs';

before(launchBrowser);
after(closeBrowser);

const MINUTE = 60000;

// A larger archive: texts, sounds, data, and a record in a directory of its own.
function bigArchive(dir) {
  const entries = [
    ['README.TXT', Buffer.from('Read me.\r\n')],
    ['BOOM.DIG', scramble(tone(3000, 40))],
    ['CHIRP.DIG', scramble(tone(1500, 17))],
    ['LEVEL.MAP', Buffer.from(Uint8Array.from({length: 300}, (_, k) => (k * 7 + 3) & 0xff))],
    ['A1.BIN', Buffer.from('first binary')],
    ['A2.BIN', Buffer.from('second binary')],
    ['NOTE.TXT', Buffer.from('a note\r\n')],
    ['SFX\\HIT.DIG', scramble(tone(800, 9))],
  ];
  writeArchive(dir, entries);
  fs.mkdirSync(path.join(dir, 'data', 'SFX'), {recursive: true});
  return entries;
}

function messages(page) {
  return page.$eval('#messages', e => ({text: e.textContent, bad: e.classList.contains('bad')}));
}

describe('a Save of many changes', {timeout: 5 * MINUTE}, () => {
  test('replacements (a converted sound, raw bytes), additions (one in a new directory), removals and renames, ' +
       'several of each, in one Save: the unpack is what the page showed, as the command line makes it', async () => {
    const dir = scratch('many');
    const entries = bigArchive(dir);
    const original = scratch('many-before');
    for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(dir, file), path.join(original, file));
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    const model = modelOf(entries);
    const changes = [
      {op: 'replace', record: 2, fileName: 'voice.wav', source: editorWav(8820), form: 'wav'},
      {op: 'replace', record: 4, fileName: 'level.bin', source: Buffer.from('a new level'), form: 'raw'},
      {op: 'replace', record: 3, fileName: 'CHIRP.DIG', source: Buffer.from([1, 2, 3, 4, 5]), form: 'raw'},
      {op: 'replace', record: 8, fileName: 'hit.wav', source: editorWav(4410), form: 'wav'},
      {op: 'remove', record: 5},
      {op: 'remove', record: 7},
      {op: 'rename', record: 1, name: 'readme.txt'},
      {op: 'rename', record: 6, name: 'B2.BIN'},
      {op: 'rename', record: 3, name: 'TWEET.DIG'},
      {op: 'add', name: 'NEW.TXT', fileName: 'new.txt', source: Buffer.from('new text\r\n'), form: 'raw'},
      {op: 'add', name: 'QUEST\\Q1.TXT', fileName: 'q1.txt', source: Buffer.from('quest one'), form: 'raw'},
      {op: 'add', name: 'ZAP.DIG', fileName: 'zap.wav', source: editorWav(2205), form: 'wav'},
      {op: 'add', name: 'NOTE.TXT', fileName: 'note2.txt', source: Buffer.from('the note again'), form: 'raw'},
    ];
    for (const c of changes) await stageThroughPage(page, c);
    assert.equal(await page.locator('#staged li').count(), changes.length);
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    const expected = applied(model, changes);
    assert.deepEqual(await tableShown(page), expected.map(r => ({name: r.name, length: r.bytes.length})));
    const pageUnpack = unpackAll(dir, expected);
    assertUnpackIs(pageUnpack, expected, 'the page');
    const cli = commandLineSave(original, model, changes);
    assert.deepEqual(unpackAll(cli, expected), pageUnpack, 'the command line makes the same data/');
    // QUEST\Q1.TXT needs data/QUEST, which the Save made, as add does: the
    // page and list agree that an unpack completes.
    assert.ok(fs.statSync(path.join(dir, 'data', 'QUEST')).isDirectory());
    assert.doesNotMatch(await page.textContent('#summary'), /stops at record/);
    const listed = execFileSync(config.pack, ['list', 'GAME.RD'], {cwd: dir, stdio: 'pipe'}).toString();
    assert.match(listed, /unpack +completes/);
    assert.deepEqual(page.problems.filter(p => !/Failed to load resource/.test(p)), []);
    await page.context().close();
    await server.stop();
  });
});

describe('names judged as Save judges them', {timeout: 3 * MINUTE}, () => {
  let dir, server, page;
  before(async () => {
    dir = scratch('names');
    standardArchive(dir);
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    page = await openPage((await server.address).url);
  });
  after(async () => { await page.context().close(); await server.stop(); });

  test("a record takes its own name in another case, and a sound its own .WAV's; another's is refused", async () => {
    const cases = [
      {record: 1, name: 'readme.txt', ok: true},
      {record: 2, name: 'BOOM.WAV', ok: true},
      {record: 2, name: 'chirp.dig', ok: false, said: /record 3 \(CHIRP\.DIG\) is written to the same file/},
      {record: 1, name: 'CHIRP.WAV', ok: false, said: /record 3 \(CHIRP\.DIG\) is written to the same file or its \.WAV/},
    ];
    for (const c of cases) {
      await page.click(`#records tbody tr[data-n="${c.record}"]`);
      await page.fill('#rename-name', c.name);
      await page.waitForSelector(c.ok ? '#rename-check.good' : '#rename-check.bad');
      if (!c.ok) assert.match(await page.textContent('#rename-check'), c.said);
      else await page.click('#rename-stage');
    }
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    const names = (await tableShown(page)).map(r => r.name);
    assert.deepEqual(names, ['readme.txt', 'BOOM.WAV', 'CHIRP.DIG', 'LEVEL.MAP', 'ALIAS.BIN']);
  });

  test('a name a staged change frees is free; one it takes is not; a new directory is named', async () => {
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    await page.fill('#add-name', 'level.map');
    await page.waitForSelector('#add-name-check.good');
    await page.click('#records tbody tr[data-n="5"]');
    await page.fill('#rename-name', 'NEXT.BIN');
    await page.waitForSelector('#rename-check.good');
    await page.click('#rename-stage');
    await page.fill('#add-name', 'next.bin');
    await page.waitForSelector('#add-name-check.bad');
    assert.match(await page.textContent('#add-name-check'), /another new record is written to the same file/);
    await page.fill('#add-name', 'QUEST\\Q1.TXT');
    await page.waitForSelector('#add-name-check.good');
    assert.match(await page.textContent('#add-name-check'),
                 /^free; but data\/QUEST does not exist, and the unpacker makes no directory but the data directory: an unpack stops at this record/);
    await page.fill('#add-name', '');
  });
});

describe('every reply shown, and the page usable again', {timeout: 5 * MINUTE}, () => {
  let dir, server, page;
  before(async () => {
    dir = scratch('replies');
    standardArchive(dir);
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    page = await openPage((await server.address).url);
  });
  after(async () => { await page.context().close(); await server.stop(); });

  test('a 403, a 413 and a 500 in plain text are each said with what to do; nothing written; then Save works', async () => {
    const untouched = archiveBytes(dir);
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    const replies = [
      {status: 403, body: 'Forbidden: this workbench is for the address quillpack printed.\n', said: /refused this page \(403\): Forbidden.*open the address it printed/},
      {status: 413, body: 'refused: larger than the workbench takes\n', said: /Too much in one request \(413\).*at most 128 MiB.*undo some/},
      {status: 500, body: 'refused (500)\n', said: /failed on its side \(500\).*Reload/},
    ];
    for (const reply of replies) {
      await page.route('**/api/save', route => route.fulfill({status: reply.status, contentType: 'text/plain', body: reply.body}));
      const result = await saveAndWait(page);
      assert.equal(result.bad, true, `${reply.status}: ${result.text}`);
      assert.match(result.text, reply.said);
      assert.equal(await page.isEnabled('#save'), true, `${reply.status}: Save is usable again`);
      assert.equal(await page.isEnabled('#reload'), true);
      assert.equal(await page.locator('#staged li').count(), 1, 'the staged change is kept');
      await page.unroute('**/api/save');
    }
    assert.ok(archiveBytes(dir).equals(untouched), 'nothing written');
    const saved = await saveAndWait(page);
    assert.equal(saved.bad, false, saved.text);
    assert.equal((await tableShown(page)).length, 4);
    assert.deepEqual(page.problems.filter(p => !/Failed to load resource/.test(p)), []);
  });

  test('a Reload that cannot reach the server says so, never "Read from disk again."', async () => {
    await page.route('**/api/archive', route => route.abort('connectionrefused'));
    await page.click('#reload');
    await page.waitForFunction(() => /does not answer/.test(document.getElementById('messages').textContent));
    assert.doesNotMatch(await page.textContent('#messages'), /Read from disk again/);
    await page.unroute('**/api/archive');
  });
});

describe('an archive changed on disk', {timeout: 3 * MINUTE}, () => {
  test('the page notices before Save; Save is refused, nothing written; Reload shows it, and Save works', async () => {
    const dir = scratch('outside');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    const asked = answerDialogs(page, [true]);
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    execFileSync(config.pack, ['rename', 'GAME.RD', 'README.TXT', 'INFO.TXT'], {cwd: dir, stdio: 'pipe'});
    const changed = archiveBytes(dir);
    await page.waitForSelector('#disk-notice', {timeout: 10000});
    assert.match(await page.textContent('#disk-notice'), /changed on disk.*Reload/);
    const refused = await saveAndWait(page);
    assert.equal(refused.bad, true);
    assert.match(refused.text, /changed on disk since this page loaded it/);
    assert.ok(archiveBytes(dir).equals(changed), 'nothing written');
    await page.click('#reload');
    await page.waitForFunction(() => /Read from disk again/.test(document.getElementById('messages').textContent));
    assert.match(await page.textContent('#messages'), /the archive had changed; the 1 staged change is dropped/);
    assert.equal(asked.length, 1);
    assert.equal(await page.locator('#disk-notice').count(), 0);
    assert.equal(await page.textContent('#records tbody tr[data-n="1"] td:nth-child(2)'), 'INFO.TXT');
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    assert.equal((await saveAndWait(page)).bad, false);
    await page.context().close();
    await server.stop();
  });
});

describe('Close and Reload with changes staged', {timeout: 3 * MINUTE}, () => {
  test('each asks first; dismissed, nothing happens; a Reload of the same archive keeps the changes; a tab close is guarded', async () => {
    const dir = scratch('ask');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    const asked = answerDialogs(page, [false, true, false, true]);
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    await page.evaluate(() => { document.getElementById('messages').textContent = ''; });
    await page.click('#reload');  // dismissed
    assert.equal(asked.length, 1);
    assert.match(asked[0].message, /1 staged change.*unchanged/);
    assert.equal(await page.locator('#staged li').count(), 1);
    assert.equal(await page.textContent('#messages'), '');
    await page.click('#reload');  // accepted: the archive is unchanged
    await page.waitForFunction(() => /Read from disk again/.test(document.getElementById('messages').textContent));
    assert.match(await page.textContent('#messages'), /unchanged; the 1 staged change is kept/);
    assert.equal(await page.locator('#staged li').count(), 1);
    await page.click('#close');  // dismissed
    assert.equal(asked.length, 3);
    assert.match(asked[2].message, /1 staged change not saved will be lost/);
    assert.equal(server.child.exitCode, null, 'the workbench still runs');
    // Closing the tab: the browser's own leave-page question, answered "leave".
    const closed = page.waitForEvent('close');
    await page.close({runBeforeUnload: true});
    await closed;
    assert.equal(asked[3]?.type, 'beforeunload', JSON.stringify(asked));
    const again = await openPage((await server.address).url);
    const askedAgain = answerDialogs(again, [true]);
    await again.click('#records tbody tr[data-n="4"]');
    await again.click('#remove-stage');
    await again.click('#close');
    assert.equal(askedAgain.length, 1);
    assert.equal(await server.exited, 0);
    await again.waitForSelector('#closed:not([hidden])');
    await again.context().close();
  });
});

describe('the server gone', {timeout: 3 * MINUTE}, () => {
  test('stopped mid-session: Save says so and is not stuck on "Saving…"; what needs the server is off', async () => {
    const dir = scratch('gone');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    await page.click('#records tbody tr[data-n="4"]');
    await page.click('#remove-stage');
    await server.stop();
    // Save before the page's own look at the server finds it gone.
    await page.evaluate(() => document.getElementById('save').click());
    await page.waitForFunction(() => /does not answer/.test(document.getElementById('messages').textContent));
    const said = await messages(page);
    assert.equal(said.bad, true);
    assert.match(said.text, /quillpack was stopped.*changes staged here are not saved.*quillpack open again/);
    for (const button of ['#save', '#reload', '#close', '#remove-stage', '#add-stage']) {
      assert.equal(await page.isDisabled(button), true, `${button} is off`);
    }
    assert.deepEqual(page.problems.filter(p => !/Failed to load resource|ERR_CONNECTION_REFUSED/.test(p)), []);
    await page.context().close();
  });

  test('stopped while the page only looks: it notices by itself', async () => {
    const dir = scratch('gone-idle');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    await server.stop();
    await page.waitForFunction(() => /does not answer/.test(document.getElementById('messages').textContent), null, {timeout: 10000});
    assert.equal(await page.isDisabled('#reload'), true);
    await page.context().close();
  });
});

describe('a big upload', {timeout: 3 * MINUTE}, () => {
  test('shows its progress while it goes, and is saved', async () => {
    const dir = scratch('big');
    standardArchive(dir);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    const big = 48 << 20;
    const size = fs.statSync(path.join(dir, 'GAME.RES')).size;
    await page.click('#records tbody tr[data-n="4"]');
    // Made in the page: handing 48 MiB over from here takes longer than the upload.
    await page.evaluate(size => {
      const transfer = new DataTransfer();
      transfer.items.add(new File([new Uint8Array(size).fill(7)], 'big.bin'));
      const zone = document.getElementById('replace-drop');
      zone.dispatchEvent(new DragEvent('dragover', {dataTransfer: transfer, bubbles: true, cancelable: true}));
      zone.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
    }, big);
    await page.click('#replace-stage');
    await page.evaluate(() => {
      window.progressSeen = [];
      new MutationObserver(() => {
        const box = document.getElementById('save-progress');
        if (box) window.progressSeen.push(box.textContent);
      }).observe(document.body, {childList: true, subtree: true, characterData: true});
    });
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    const seen = await page.evaluate(() => window.progressSeen);
    assert.ok(seen.some(text => /^(Sending the changes: [\d.]+ of 48\.\d MB \(\d+%\)|Sent; the workbench is writing the archive…)$/.test(text)),
              JSON.stringify(seen.slice(0, 5)));
    assert.equal(await page.locator('#save-progress').count(), 0, 'gone once saved');
    assert.equal(fs.statSync(path.join(dir, 'GAME.RES')).size, size + big);
    await page.context().close();
    await server.stop();
  });
});
