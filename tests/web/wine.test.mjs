// The Windows build under Wine serves the same page: open, play, replace, Save;
// and a list dropped onto quillpack.exe opens it in the browser.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import {after, before, test} from 'node:test';

import {RATE, editorWav, scratch, standardArchive, unpacked, wavData} from './fixture.mjs';
import {audioReport, closeBrowser, config, dropFile, launchBrowser, openLauncher, openPage, openWorkbench, saveAndWait,
        screenshot} from './harness.mjs';

before(launchBrowser);
after(closeBrowser);

test('quillpack.exe open under Wine: a sound plays, a dropped WAV replaces it, Save commits it', {timeout: 600_000}, async () => {
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

test('a list dropped onto quillpack.exe under Wine (its name the only word) opens the workbench in the browser', {timeout: 600_000}, async () => {
  assert.ok(config.packExe, 'QUILL_PACK_EXE names quillpack.exe');
  const dir = scratch('wine-drop');
  standardArchive(dir);
  // Wine hands the file the browser is started on to xdg-open, which, outside
  // a desktop, starts $BROWSER: here a script that only writes down what it
  // was given.
  const opened = path.join(dir, 'opened.txt');
  const opener = path.join(dir, 'browser.sh');
  fs.writeFileSync(opener, `#!/bin/sh\nfor a in "$@"; do printf '%s\\n' "$a"; done >> '${opened}'\n`, {mode: 0o755});
  const env = {...process.env, BROWSER: opener};
  for (const name of ['DISPLAY', 'WAYLAND_DISPLAY', 'XDG_CURRENT_DESKTOP', 'DESKTOP_SESSION']) delete env[name];
  const server = openWorkbench(path.join(dir, 'GAME.RD'), [], {windows: true, dropped: true, env});
  try {
    const {url, token} = await server.address;
    for (let waited = 0; !(fs.existsSync(opened) && fs.readFileSync(opened, 'utf8').endsWith('\n')); waited += 100) {
      assert.ok(waited < 30000, `the browser was not started: ${server.output()}${server.errors()}`);
      await new Promise(resolve => setTimeout(resolve, 100));
    }
    // A launcher file in the user's temporary directory, never the key itself.
    const given = fs.readFileSync(opened, 'utf8');
    assert.ok(!given.includes(token), `the key in the browser's arguments: ${given}`);
    assert.match(given, /^file:\/\/\/.*\/quillpack-[0-9a-f]+\/open\.html\n$/);
    const file = fileURLToPath(given.trim());
    assert.ok(fs.readFileSync(file, 'utf8').includes(`<meta http-equiv="refresh" content="0;url=${url}">`));
    assert.doesNotMatch(server.output(), /could not be started/);

    const page = await openLauncher(file);
    assert.ok(!fs.existsSync(file), 'removed once the key was exchanged');
    assert.equal(await page.locator('#records tbody tr').count(), 5);
    const shown = await page.locator('#records tbody').innerText();
    for (const name of ['README.TXT', 'BOOM.DIG', 'CHIRP.DIG', 'LEVEL.MAP', 'ALIAS.BIN']) {
      assert.ok(shown.includes(name), `${name} in the table: ${shown}`);
    }
    assert.deepEqual(page.problems, []);
    await page.click('#close');
    assert.equal(await server.exited, 0);
    await page.context().close();
  } finally {
    await server.stop();
  }
});
