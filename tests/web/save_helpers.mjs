// Staging changes through the page as a modder does, keeping a model of what
// the archive must hold after Save, and making the same edits with the
// command line, for the Save tests.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import {scramble, scratch, unscramble, wavData} from './fixture.mjs';
import {config, dropFile} from './harness.mjs';

export function isSound(name) {
  const dot = name.indexOf('.');
  return dot >= 0 && name.slice(dot).toUpperCase() === '.DIG';
}

function wavName(name) {
  return name.slice(0, name.indexOf('.')) + '.WAV';
}

// A seeded PRNG (mulberry32): the seed printed lets a failing run be repeated.
export function prng(seed) {
  let a = seed >>> 0;
  const next = () => {
    a = (a + 0x6D2B79F5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
  return {next, below: n => Math.floor(next() * n), pick: list => list[Math.floor(next() * list.length)],
          bytes: n => Uint8Array.from({length: n}, () => Math.floor(next() * 256))};
}

// The archive's records as the model has them: [{name, bytes}] (bytes as the record stores them).
export function modelOf(entries) {
  return entries.map(([name, bytes]) => ({name, bytes: Buffer.from(bytes)}));
}

// The model after one Save of `changes` (each {op, record (from 1), name, bytes}).
export function applied(model, changes) {
  const next = model.map(r => ({...r}));
  const removed = new Set();
  for (const c of changes) {
    if (c.op === 'replace') next[c.record - 1].bytes = c.bytes;
    if (c.op === 'rename') next[c.record - 1].name = c.name;
    if (c.op === 'remove') removed.add(c.record);
  }
  const kept = next.filter((_, i) => !removed.has(i + 1));
  for (const c of changes) if (c.op === 'add') kept.push({name: c.name, bytes: c.bytes});
  return kept;
}

// What an unpack with -dig2wav leaves for the model: path under data/ -> bytes
// (a .WAV by its samples, which is what the page's conversion decides).
export function expectedFiles(model) {
  const files = new Map();
  for (const r of model) {
    const file = r.name.replaceAll('\\', '/');
    files.set(file, r.bytes);
    if (isSound(r.name)) files.set(path.posix.join(path.posix.dirname(file), wavName(path.posix.basename(file))), unscramble(r.bytes));
  }
  return files;
}

// Every file under a directory: relative path -> bytes.
function filesUnder(root, at = '') {
  const files = new Map();
  for (const entry of fs.readdirSync(path.join(root, at), {withFileTypes: true})) {
    const relative = at ? `${at}/${entry.name}` : entry.name;
    if (entry.isDirectory()) for (const [k, v] of filesUnder(root, relative)) files.set(k, v);
    else files.set(relative, fs.readFileSync(path.join(root, relative)));
  }
  return files;
}

// The directories below data/ the model's names need (an unpack makes none).
function directoriesOf(model) {
  return [...new Set(model.filter(r => r.name.includes('\\')).map(r => r.name.slice(0, r.name.lastIndexOf('\\')).replaceAll('\\', '/')))];
}

// `quillfane GAME.RD -dig2wav` on a copy of the archive in `dir`, the
// directories the model needs made first: what it leaves in data/.
export function unpackAll(dir, model) {
  const copy = scratch('unpack-all');
  for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(dir, file), path.join(copy, file));
  for (const directory of directoriesOf(model)) fs.mkdirSync(path.join(copy, 'data', directory), {recursive: true});
  execFileSync(config.unpack, ['GAME.RD', '-dig2wav'], {cwd: copy, stdio: 'pipe'});
  const files = filesUnder(path.join(copy, 'data'));
  fs.rmSync(copy, {recursive: true, force: true});
  return files;
}

// data/ as unpacked is exactly the model's files (a .WAV compared by its samples).
export function assertUnpackIs(files, model, what) {
  const expected = expectedFiles(model);
  assert.deepEqual([...files.keys()].sort(), [...expected.keys()].sort(), `${what}: the files in data/`);
  for (const [name, bytes] of expected) {
    const got = /\.WAV$/.test(name) && !model.some(r => r.name.replaceAll('\\', '/') === name) ? wavData(files.get(name)) : files.get(name);
    assert.ok(Buffer.from(got).equals(Buffer.from(bytes)), `${what}: data/${name} holds what the page staged`);
  }
}

function quillpack(cwd, args) {
  return execFileSync(config.pack, args, {cwd, stdio: 'pipe'}).toString();
}

// The same Save made with the command line on a copy of the archive as it was
// before it: new bytes through update (-wav2dig for a converted sound), then
// remove, rename and add. Returns the copy's directory.
export function commandLineSave(before, model, changes) {
  const dir = scratch('cli');
  for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(before, file), path.join(dir, file));
  const replaced = changes.filter(c => c.op === 'replace');
  if (replaced.length) {
    for (const directory of directoriesOf(model)) fs.mkdirSync(path.join(dir, 'data', directory), {recursive: true});
    execFileSync(config.unpack, ['GAME.RD', '-dig2wav'], {cwd: dir, stdio: 'pipe'});
    for (const c of replaced) {
      const name = model[c.record - 1].name.replaceAll('\\', '/');
      if (c.form === 'wav') fs.writeFileSync(path.join(dir, 'data', path.posix.dirname(name), wavName(path.posix.basename(name))), c.file);
      else fs.writeFileSync(path.join(dir, 'data', name), c.file);
    }
    quillpack(dir, ['update', 'GAME.RD', '-wav2dig']);
    // What remove leaves in data/ would stand in the way of an add of the same name.
    fs.rmSync(path.join(dir, 'data'), {recursive: true, force: true});
  }
  const removed = changes.filter(c => c.op === 'remove').map(c => model[c.record - 1].name);
  if (removed.length) quillpack(dir, ['remove', 'GAME.RD', ...removed]);
  for (const c of changes.filter(c => c.op === 'rename')) quillpack(dir, ['rename', 'GAME.RD', model[c.record - 1].name, c.name]);
  changes.filter(c => c.op === 'add').forEach((c, i) => {
    const file = path.join(dir, `added-${i}${c.form === 'wav' ? '.wav' : '.bin'}`);
    fs.writeFileSync(file, c.file);
    quillpack(dir, ['add', 'GAME.RD', file, '--as', c.name, ...(c.form === 'wav' ? ['-wav2dig'] : [])]);
    fs.rmSync(file);
  });
  return dir;
}

// The converted .WAV the page offers for download beside its preview (the
// page's policy lets no script fetch a blob: the browser downloads it).
async function convertedWav(page, selector) {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
  return fs.readFileSync(await download.path());
}

async function openRecord(page, n) {
  await page.click(`#records tbody tr[data-n="${n}"]`);
  await page.waitForSelector(`#entry h2:text-matches("^#${n} ")`);
}

// Stages one change through the page, as a modder would; fills in the bytes
// the record will hold (c.bytes) and the file the command line takes (c.file).
// c: {op, record, name, file, fileName, form}: a replacement or addition of a
// file named fileName ('.wav' for a sound: converted by the page).
export async function stageThroughPage(page, c) {
  if (c.op === 'remove') {
    await openRecord(page, c.record);
    await page.click('#remove-stage');
  } else if (c.op === 'rename') {
    await openRecord(page, c.record);
    await page.fill('#rename-name', c.name);
    await page.waitForSelector('#rename-check.good');
    await page.click('#rename-stage:not([disabled])');
  } else if (c.op === 'replace') {
    await openRecord(page, c.record);
    await dropFile(page, '#replace-drop', c.fileName, c.source);
    await page.waitForSelector('#replace-stage');
    if (c.form === 'wav') {
      c.file = await convertedWav(page, '#replace-preview a.converted');
      c.bytes = Buffer.from(scramble(wavData(c.file)));
    } else {
      c.file = c.bytes = Buffer.from(c.source);
    }
    await page.click('#replace-stage');
  } else if (c.op === 'add') {
    await page.fill('#add-name', '');
    await dropFile(page, '#add-drop', c.fileName, c.source);
    await page.fill('#add-name', c.name);
    await page.waitForSelector('#add-name-check.good');
    await page.waitForSelector('#add-stage:not([disabled])');
    if (c.form === 'wav') {
      c.file = await convertedWav(page, '#add-preview a.converted');
      c.bytes = Buffer.from(scramble(wavData(c.file)));
    } else {
      c.file = c.bytes = Buffer.from(c.source);
    }
    await page.click('#add-stage');
  }
}

// The records the page's table shows once saved: [{name, length}] in list order.
export async function tableShown(page) {
  return page.evaluate(() => {
    const keys = [...document.querySelectorAll('#records thead th')].map(th => th.dataset.key);
    const rows = [...document.querySelectorAll('#records tbody tr[data-n]')].sort((a, b) => a.dataset.n - b.dataset.n);
    return rows.map(tr => ({name: tr.children[keys.indexOf('name')].firstChild.textContent.trim(),
                            length: Number(tr.children[keys.indexOf('length')].textContent)}));
  });
}

// Answers the page's confirm() questions: `answers` shifted one by one; each question kept.
export function answerDialogs(page, answers) {
  const asked = [];
  page.on('dialog', dialog => {
    asked.push({type: dialog.type(), message: dialog.message()});
    return answers.length && answers.shift() ? dialog.accept() : dialog.dismiss();
  });
  return asked;
}
