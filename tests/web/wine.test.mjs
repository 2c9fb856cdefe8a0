// The Windows build under Wine serves the same page: open, play, replace, Save.
import assert from 'node:assert/strict';
import path from 'node:path';
import {after, before, test} from 'node:test';

import {RATE, editorWav, scratch, standardArchive, unpacked, wavData} from './fixture.mjs';
import {audioReport, closeBrowser, config, dropFile, launchBrowser, openPage, openWorkbench, saveAndWait,
        screenshot} from './harness.mjs';

before(launchBrowser);
after(closeBrowser);

test('quillpack.exe open under Wine: a sound plays, a dropped WAV replaces it, Save commits it', async () => {
  assert.ok(config.packExe, 'QUILL_PACK_EXE names quillpack.exe');
  const dir = scratch('wine');
  standardArchive(dir);
  const old = unpacked(config.unpack, dir);
  const server = openWorkbench(path.join(dir, 'GAME.RD'), [], {windows: true});
  try {
    const page = await openPage((await server.address).url);
    assert.equal(await page.locator('#records tbody tr').count(), 5);
    await page.click('#records tbody tr[data-n="2"]');
    const played = await audioReport(page, '#player');
    assert.equal(played.played, true);
    assert.ok(Math.abs(played.duration - 4410 / RATE) <= 1 / RATE, `duration ${played.duration}`);

    await dropFile(page, '#replace-drop', 'voice.wav', editorWav(11025));
    await page.waitForSelector('#replace-preview a.converted');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#replace-preview a.converted')]);
    const {readFileSync} = await import('node:fs');
    const samples = wavData(readFileSync(await download.path()));
    await page.click('#replace-stage');
    const result = await saveAndWait(page);
    assert.equal(result.bad, false, result.text);
    await screenshot(page, 'workbench-wine');

    const now = unpacked(config.unpack, dir);
    assert.ok(wavData(now.get('BOOM.WAV')).equals(samples), 'BOOM.WAV holds the converted samples');
    for (const [name, bytes] of old) {
      if (!name.startsWith('BOOM.')) assert.ok(now.get(name).equals(bytes), `${name} unchanged`);
    }
    await page.click('#close');
    assert.equal(await server.exited, 0);
    await page.context().close();
  } finally {
    await server.stop();
  }
});
