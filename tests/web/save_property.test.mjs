// Save as a property: random sets of 1 to 20 staged changes of every kind,
// staged through the page; after each Save an unpack with -dig2wav gives
// exactly what the page showed, and the same as the command line making the
// same edits on a copy of the archive. QUILL_SEED=N repeats a run.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {after, before, describe, test} from 'node:test';

import {editorWav, scramble, scratch, tone, writeArchive} from './fixture.mjs';
import {closeBrowser, launchBrowser, openPage, openWorkbench, saveAndWait} from './harness.mjs';
import {applied, assertUnpackIs, commandLineSave, isSound, modelOf, prng, stageThroughPage, tableShown,
        unpackAll} from './save_helpers.mjs';

const SAVES = 4;

before(launchBrowser);
after(closeBrowser);

const key = name => name.toUpperCase();

// One Save's changes on the model: each record at most removed, or replaced
// and/or renamed; names unique (as Windows compares them) in the archive as
// it will be; additions may take a name the same Save frees.
function randomChanges(random, model, fresh) {
  const count = 1 + random.below(20);
  const touched = new Map();  // record -> ops
  const taken = new Set(model.map(r => key(r.name)));
  const freed = [];
  const changes = [];
  const finalName = n => changes.find(c => c.op === 'rename' && c.record === n)?.name ?? model[n - 1].name;
  for (let tries = 0; changes.length < count && tries < 200; tries++) {
    const kind = random.pick(['replace', 'replace', 'add', 'add', 'remove', 'rename']);
    const n = 1 + random.below(model.length);
    const ops = touched.get(n) ?? new Set();
    if (kind === 'remove') {
      if (ops.size || model.length - [...touched.values()].filter(o => o.has('remove')).length <= 1) continue;
      touched.set(n, new Set(['remove']));
      taken.delete(key(model[n - 1].name));
      freed.push(model[n - 1].name);
      changes.push({op: 'remove', record: n});
    } else if (kind === 'rename') {
      if (ops.has('remove') || ops.has('rename')) continue;
      const old = model[n - 1].name;
      const sound = isSound(old);
      // Its own name in another case now and then; otherwise a new one of its kind.
      let name = random.below(4) === 0 ? (old === old.toUpperCase() ? old.toLowerCase() : old.toUpperCase()) : fresh(sound ? 'DIG' : 'TXT');
      if (key(name) !== key(old) && taken.has(key(name))) continue;
      ops.add('rename');
      touched.set(n, ops);
      taken.delete(key(old));
      taken.add(key(name));
      if (key(name) !== key(old)) freed.push(old);
      changes.push({op: 'rename', record: n, name});
    } else if (kind === 'replace') {
      if (ops.has('remove') || ops.has('replace')) continue;
      ops.add('replace');
      touched.set(n, ops);
      const wav = isSound(finalName(n)) && random.below(2) === 0;
      changes.push(wav ? {op: 'replace', record: n, form: 'wav', fileName: 'take.wav', source: editorWav(500 + random.below(9000))}
                       : {op: 'replace', record: n, form: 'raw', fileName: isSound(finalName(n)) ? 'raw.dig' : 'raw.bin',
                          source: Buffer.from(random.bytes(1 + random.below(700)))});
    } else {
      const reuse = freed.filter(name => !taken.has(key(name)));
      let name = reuse.length && random.below(3) === 0 ? random.pick(reuse) : fresh(random.pick(['TXT', 'BIN', 'DIG', 'DIR']));
      if (taken.has(key(name))) continue;
      taken.add(key(name));
      const sound = isSound(name);
      const wav = sound && random.below(2) === 0;
      changes.push(wav ? {op: 'add', name, form: 'wav', fileName: 'new.wav', source: editorWav(500 + random.below(9000))}
                       : {op: 'add', name, form: 'raw', fileName: sound ? 'new.dig' : 'new.bin', source: Buffer.from(random.bytes(1 + random.below(500)))});
    }
  }
  // A replacement staged before its record's rename is judged by the name it will have.
  return changes;
}

describe('random Saves', {timeout: 20 * 60000}, () => {
  test(`${SAVES} Saves of 1 to 20 random changes each: the unpack is what the page showed, as the command line makes it`, async t => {
    const seed = Number(process.env.QUILL_SEED) || (Date.now() % 1000000007);
    t.diagnostic(`seed ${seed} (QUILL_SEED=${seed} repeats it)`);
    console.log(`save_property: seed ${seed}`);
    const random = prng(seed);
    let made = 0;
    const fresh = kind => {
      made++;
      if (kind === 'DIR') return `D${made}\\F${made}.TXT`;
      return `N${made}.${kind}`;
    };
    const dir = scratch('property');
    const entries = [
      ['README.TXT', Buffer.from('Read me.\r\n')],
      ['BOOM.DIG', scramble(tone(3000, 40))],
      ['CHIRP.DIG', scramble(tone(1500, 17))],
      ['LEVEL.MAP', Buffer.from(random.bytes(300))],
      ['A1.BIN', Buffer.from('first')],
    ];
    writeArchive(dir, entries);
    const server = openWorkbench(path.join(dir, 'GAME.RD'));
    const page = await openPage((await server.address).url);
    let model = modelOf(entries);
    try {
      for (let round = 1; round <= SAVES; round++) {
        const before = scratch('property-before');
        for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(dir, file), path.join(before, file));
        const changes = randomChanges(random, model, fresh);
        const what = `seed ${seed}, Save ${round}: ${changes.map(c => `${c.op} ${c.record ?? ''} ${c.name ?? c.form}`).join('; ')}`;
        for (const c of changes) await stageThroughPage(page, c);
        const result = await saveAndWait(page);
        assert.equal(result.bad, false, `${what}\n${result.text}`);
        const next = applied(model, changes);
        assert.deepEqual(await tableShown(page), next.map(r => ({name: r.name, length: r.bytes.length})), what);
        const unpacked = unpackAll(dir, next);
        assertUnpackIs(unpacked, next, what);
        const cli = commandLineSave(before, model, changes);
        assert.deepEqual(unpackAll(cli, next), unpacked, `${what}: the command line makes the same data/`);
        fs.rmSync(before, {recursive: true, force: true});
        fs.rmSync(cli, {recursive: true, force: true});
        model = next;
      }
    } finally {
      await page.context().close();
      await server.stop();
    }
  });
});
