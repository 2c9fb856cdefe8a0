// The History panel and the data/ panel in the browser: Undo and Redo from
// the page (the table and an unpack are the version the history marks), a
// Save after Undo dropping the version ahead, Undo with changes staged, and
// the status of data/ as a modder edits beside the archive.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {scratch, standardArchive} from './fixture.mjs';
import {closeBrowser, config, launchBrowser, openPage, openWorkbench, saveAndWait, screenshot} from './harness.mjs';
import {answerDialogs, applied, assertUnpackIs, modelOf, stageThroughPage, tableShown, unpackAll} from './save_helpers.mjs';
import {request} from './wire.mjs';

before(launchBrowser);
after(closeBrowser);

const MINUTE = 60000;

// The history as the page shows it, once it is read for the archive shown:
// [{number, current, text}], newest first.
async function historyShown(page) {
  await page.waitForFunction(() => document.getElementById('history').dataset.for === document.body.dataset.ready);
  return page.$$eval('#history-list li', items => items.map(li => ({
    number: Number(li.dataset.version), current: li.getAttribute('aria-current') === 'true', text: li.textContent})));
}

async function buttons(page) {
  return page.evaluate(() => ({undo: !document.getElementById('undo').disabled, redo: !document.getElementById('redo').disabled}));
}

// Clicks Undo or Redo (or a version's Restore) and waits for the page to say how it went.
async function move(page, which) {
  const before = await page.evaluate(() => document.body.dataset.ready);
  await page.click(which.startsWith('#') ? which : `#${which}`);
  await page.waitForFunction(before => {
    const text = document.getElementById('messages').textContent;
    return (/ done\./.test(text) && document.body.dataset.ready !== before) || document.getElementById('messages').classList.contains('bad');
  }, before);
  return page.$eval('#messages', e => ({text: e.textContent, bad: e.classList.contains('bad')}));
}

function currentOf(history) {
  return history.find(v => v.current)?.number;
}

describe('Undo and Redo from the page', {timeout: 5 * MINUTE}, () => {
  let dir, server, page, entries;
  before(async () => {
    dir = scratch('history');
    ({entries} = standardArchive(dir));
    server = openWorkbench(path.join(dir, 'GAME.RD'));
    page = await openPage((await server.address).url);
  });
  after(async () => { await page.context().close(); await server.stop(); });

  test('two Saves make two versions; Undo and Redo go between them, the table, an unpack and the history agreeing; ' +
       'a Save after Undo drops the version ahead and says so', async () => {
    assert.deepEqual(await historyShown(page), []);
    assert.match(await page.textContent('#history-note'), /No history yet/);
    assert.deepEqual(await buttons(page), {undo: false, redo: false});

    const first = {op: 'rename', record: 1, name: 'FIRST.TXT'};
    const second = {op: 'replace', record: 4, fileName: 'level.bin', source: Buffer.from('level two'), form: 'raw'};
    // standardArchive's last record names the first 100 bytes of LEVEL.MAP.
    const models = [[...modelOf(entries), {name: 'ALIAS.BIN', bytes: Buffer.from(entries[3][1]).subarray(0, 100)}]];
    for (const change of [first, second]) {
      await stageThroughPage(page, change);
      const saved = await saveAndWait(page);
      assert.equal(saved.bad, false, saved.text);
      models.push(applied(models[models.length - 1], [{...change, bytes: change.source}]));
    }
    let history = await historyShown(page);
    // The list as quillpack found it, then one version per Save, newest first.
    assert.equal(history.length, 3, JSON.stringify(history));
    const [newest, middle, found] = history.map(v => v.number);
    assert.equal(currentOf(history), newest);
    assert.match(history[0].text, /version \d+ \(current\) \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC, workbench Save/);
    assert.match(history[2].text, /found/);
    assert.deepEqual(await buttons(page), {undo: true, redo: false});
    await screenshot(page, 'history-two-saves');

    const steps = [
      {which: 'undo', model: 1, current: middle, can: {undo: true, redo: true}},
      {which: 'undo', model: 0, current: found, can: {undo: false, redo: true}},
      {which: 'redo', model: 1, current: middle, can: {undo: true, redo: true}},
      {which: 'redo', model: 2, current: newest, can: {undo: true, redo: false}},
      {which: 'undo', model: 1, current: middle, can: {undo: true, redo: true}},
    ];
    for (const step of steps) {
      const said = await move(page, step.which);
      assert.equal(said.bad, false, `${step.which}: ${said.text}`);
      assert.match(said.text, new RegExp(`is version ${step.current} \\(`), said.text);
      const model = models[step.model];
      assert.deepEqual(await tableShown(page), model.map(r => ({name: r.name, length: r.bytes.length})), step.which);
      assertUnpackIs(unpackAll(dir, model), model, `after ${step.which}`);
      history = await historyShown(page);
      assert.equal(currentOf(history), step.current, `${step.which}: ${JSON.stringify(history)}`);
      assert.deepEqual(await buttons(page), step.can, step.which);
    }
    await screenshot(page, 'history-after-undo');

    // A new change after Undo: the version Redo would reach goes, and the page says so.
    const third = {op: 'remove', record: 2};
    await stageThroughPage(page, third);
    const saved = await saveAndWait(page);
    assert.equal(saved.bad, false, saved.text);
    assert.match(saved.text, /dropped 1 version that undo had left ahead of this one: redo no longer reaches it/);
    history = await historyShown(page);
    assert.deepEqual(history.map(v => v.number).includes(newest), false, JSON.stringify(history));
    assert.equal(history.length, 3);
    assert.deepEqual(await buttons(page), {undo: true, redo: false});
    const model = applied(models[1], [third]);
    assertUnpackIs(unpackAll(dir, model), model, 'after the Save that followed Undo');

    // Restore goes to any kept version: here the list as quillpack found it.
    const restored = await move(page, `#history-list li[data-version="${found}"] button.restore`);
    assert.equal(restored.bad, false, restored.text);
    assert.match(restored.text, /Restore done\./);
    assert.deepEqual(await tableShown(page), models[0].map(r => ({name: r.name, length: r.bytes.length})));
    assertUnpackIs(unpackAll(dir, models[0]), models[0], 'after Restore');
    assert.equal(currentOf(await historyShown(page)), found);
    assert.equal(await page.locator(`#history-list li[data-version="${found}"] button`).count(), 0, 'the current one has no Restore');
    assert.deepEqual(page.problems.filter(p => !/Failed to load resource/.test(p)), []);
  });

  test('Undo with changes staged asks first: declined, nothing moves and they stay; accepted, they are dropped', async () => {
    assert.equal((await move(page, 'redo')).bad, false);
    const list = fs.readFileSync(path.join(dir, 'GAME.RD'));
    const current = currentOf(await historyShown(page));
    await stageThroughPage(page, {op: 'rename', record: 1, name: 'STAGED.TXT'});
    const asked = answerDialogs(page, [false, true]);
    await page.click('#undo');
    await page.waitForFunction(() => !document.getElementById('undo').disabled);
    assert.equal(asked.length, 1);
    assert.match(asked[0].message, /Undo to version \d+\? The 1 staged change was staged on the archive as it is now and will be dropped/);
    assert.equal(await page.locator('#staged li').count(), 1);
    assert.ok(fs.readFileSync(path.join(dir, 'GAME.RD')).equals(list), 'declined: the list is as it was');
    assert.equal(currentOf(await historyShown(page)), current);

    const said = await move(page, 'undo');
    assert.equal(said.bad, false, said.text);
    assert.equal(asked.length, 2);
    assert.equal(await page.locator('#staged li').count(), 0);
    assert.notEqual(currentOf(await historyShown(page)), current);
  });

  test('an archive changed on disk since the page read it: Undo is refused, nothing written', async () => {
    await stageThroughPage(page, {op: 'rename', record: 3, name: 'TWEET.DIG'});
    assert.equal((await saveAndWait(page)).bad, false);
    await historyShown(page);
    assert.equal((await buttons(page)).undo, true);
    // Another quillpack changes the archive behind the page.
    execFileSync(config.pack, ['rename', 'GAME.RD', 'LEVEL.MAP', 'OTHER.MAP'], {cwd: dir, stdio: 'pipe'});
    const list = fs.readFileSync(path.join(dir, 'GAME.RD'));
    const said = await move(page, 'undo');
    assert.equal(said.bad, true);
    assert.match(said.text, /changed on disk since this page loaded it.*nothing changed/);
    assert.ok(fs.readFileSync(path.join(dir, 'GAME.RD')).equals(list), 'the list is as the other quillpack left it');
    await page.waitForSelector('#disk-notice');
  });
});

describe('the status of data/ beside the archive', {timeout: 3 * MINUTE}, () => {
  test('as an unpack leaves it; a file edited (modified) and a stray file (not in the archive), ' +
       'seen with Refresh from the keyboard; at 390 px it fits', async () => {
    const dir = scratch('data-status');
    standardArchive(dir);
    execFileSync(config.unpack, ['GAME.RD'], {cwd: dir, stdio: 'pipe'});
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    await page.waitForSelector('#data-summary:text-matches("is what an unpack of the archive leaves")');
    assert.equal(await page.locator('#data-lines li').count(), 0);

    const refresh = async () => {
      const read = await page.$eval('#data-status', e => e.dataset.read);
      await page.focus('#data-refresh');
      await page.keyboard.press('Enter');
      await page.waitForFunction(read => document.getElementById('data-status').dataset.read !== read, read);
      return page.$$eval('#data-lines li', items => items.map(li => [li.dataset.state, li.textContent]));
    };
    fs.writeFileSync(path.join(dir, 'data', 'README.TXT'), 'Edited by hand.\r\n');
    let lines = await refresh();
    assert.deepEqual(lines.map(([state]) => state), ['modified']);
    assert.match(lines[0][1], /^modified .*data\/README\.TXT \(record 1; update takes it\)$/);
    assert.match(await page.textContent('#data-summary'), /differs from the archive: 1 modified\./);

    fs.writeFileSync(path.join(dir, 'data', 'STRAY.BIN'), 'not in the archive');
    lines = await refresh();
    assert.deepEqual(lines.map(([state]) => state), ['modified', 'notInArchive']);
    assert.match(lines[1][1], /^not in archive .*data\/STRAY\.BIN \(no record writes it; add takes it\)$/);
    assert.match(await page.textContent('#data-summary'), /1 modified, 1 not in archive\./);
    await screenshot(page, 'data-status');

    await page.setViewportSize({width: 390, height: 844});
    const fits = await page.evaluate(() => ['history', 'data-status'].map(id => {
      const box = document.getElementById(id);
      return {id, fits: box.scrollWidth <= box.clientWidth && box.getBoundingClientRect().right <= window.innerWidth};
    }));
    assert.deepEqual(fits, [{id: 'history', fits: true}, {id: 'data-status', fits: true}]);
    assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= window.innerWidth), 'no sideways scroll');
    await screenshot(page, 'data-status-390');
    assert.deepEqual(page.problems.filter(p => !/Failed to load resource/.test(p)), []);
    await page.context().close();
    await server.stop();
  });
});

describe('a read-only workbench', {timeout: 2 * MINUTE}, () => {
  test('shows the history and data/, with no Undo, Redo or Restore to press', async () => {
    const dir = scratch('history-read-only');
    standardArchive(dir);
    execFileSync(config.pack, ['rename', 'GAME.RD', 'LEVEL.MAP', 'OTHER.MAP'], {cwd: dir, stdio: 'pipe'});
    const server = openWorkbench(path.join(dir, 'GAME.RD'), ['--read-only']);
    const page = await openPage((await server.address).url);
    const history = await historyShown(page);
    assert.equal(history.length, 2, JSON.stringify(history));
    assert.match(history[0].text, /rename/);
    for (const control of ['#undo', '#redo', '#history-list button']) {
      assert.equal(await page.locator(control).first().isVisible(), false, control);
    }
    await page.waitForSelector('#data-summary:text-matches("differs from the archive: 5 missing")');
    await page.context().close();
    await server.stop();
  });
});

describe('the new routes behind the gate', {timeout: 2 * MINUTE}, () => {
  test('without the session, or from another origin, history, status, undo and restore are refused (403), nothing ' +
       'changed; with them, undo works', async () => {
    const dir = scratch('history-gate');
    standardArchive(dir);
    execFileSync(config.pack, ['rename', 'GAME.RD', 'LEVEL.MAP', 'OTHER.MAP'], {cwd: dir, stdio: 'pipe'});
    const list = fs.readFileSync(path.join(dir, 'GAME.RD'));
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const {port, host, token} = await server.address;
    const granted = await request(port, {target: `/?token=${token}`, headers: {Host: host}});
    const cookie = (granted.headers['set-cookie'] || [''])[0].split(';')[0];
    const version = JSON.parse((await request(port, {target: '/api/archive', headers: {Host: host, Cookie: cookie}})).body).version;
    const form = new URLSearchParams({version, number: '1'}).toString();
    const post = (target, headers) => ({method: 'POST', target, body: form,
      headers: {'Content-Type': 'application/x-www-form-urlencoded', 'Content-Length': Buffer.byteLength(form), Host: host, ...headers}});
    const refused = [
      ['history without the cookie', {target: '/api/history', headers: {Host: host}}],
      ['status without the cookie', {target: '/api/status', headers: {Host: host}}],
      ['undo without the cookie', post('/api/undo', {Origin: `http://${host}`})],
      ['undo from another origin', post('/api/undo', {Cookie: cookie, Origin: 'http://attacker.example'})],
      ['restore without an Origin', post('/api/restore', {Cookie: cookie})],
      ['history under 127.0.0.1', {target: '/api/history', headers: {Host: `127.0.0.1:${port}`, Cookie: cookie}}],
    ];
    for (const [what, asked] of refused) {
      const answer = await request(port, asked);
      assert.equal(answer.status, 403, `${what}: ${answer.body}`);
      assert.ok(fs.readFileSync(path.join(dir, 'GAME.RD')).equals(list), `${what}: the list is untouched`);
    }
    const history = await request(port, {target: '/api/history', headers: {Host: host, Cookie: cookie}});
    assert.equal(JSON.parse(history.body).versions.length, 2, history.body);
    const undone = await request(port, post('/api/undo', {Cookie: cookie, Origin: `http://${host}`}));
    assert.equal(JSON.parse(undone.body).ok, true, undone.body);
    assert.match(fs.readFileSync(path.join(dir, 'GAME.RD')).toString(), /LEVEL\.MAP/);
    await server.stop();
  });
});
