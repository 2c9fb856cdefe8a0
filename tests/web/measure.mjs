// Figures for the workbench, measured (not asserted): how soon the page is
// ready on an archive of 999 records, and how soon a 1 MiB sound plays.
//   QUILL_PACK=... QUILL_PLAYWRIGHT=... node tests/web/measure.mjs [RUNS]
import path from 'node:path';

import {scramble, scratch, tone, writeArchive} from './fixture.mjs';
import {closeBrowser, launchBrowser, openWorkbench} from './harness.mjs';

const runs = Number(process.argv[2] || 5);
const dir = scratch('measure');
const entries = [['BIG.DIG', scramble(tone(1 << 20, 50))]];
for (let i = 1; i < 999; i++) {
  const name = `R${String(i).padStart(3, '0')}.${['DIG', 'TXT', 'BIN'][i % 3]}`;
  const bytes = i % 3 === 1 ? Buffer.from(`text of record ${i}\r\n`.repeat(20)) : scramble(tone(2000 + i, 30));
  entries.push([name, bytes]);
}
writeArchive(dir, entries);
const server = openWorkbench(path.join(dir, 'GAME.RD'));
const {url} = await server.address;
const browser = await launchBrowser();
const median = values => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const ready = [], total = [], sound = [];
// The address's key opens the workbench once: later runs are pages of the
// same browser, starting with the cookie the first one was given.
let session;
for (let run = 0; run < runs; run++) {
  const context = await browser.newContext({viewport: {width: 1400, height: 900}, storageState: session});
  const page = await context.newPage();
  const start = Date.now();
  await page.goto(session ? new URL('/', url).href : url);
  await page.waitForSelector('body[data-ready]');
  await page.waitForFunction(() => document.querySelectorAll('#records tbody tr').length === 999 &&
                                   document.querySelectorAll('#strip .range').length === 999);
  // From the browser's start of the navigation to the page's mark, table and strip drawn.
  const inPage = await page.evaluate(() => {
    const drawn = performance.getEntriesByName('quillpack-ready');
    return drawn[drawn.length - 1].startTime;
  });
  ready.push(inPage);
  total.push(Date.now() - start);
  const clicked = await page.evaluate(() => {
    window.firstSound = new Promise(resolve => {
      const watch = new MutationObserver(() => {
        const audio = document.getElementById('player');
        if (!audio) return;
        watch.disconnect();
        audio.addEventListener('playing', () => resolve(performance.now()), {once: true});
        audio.play();
      });
      watch.observe(document.getElementById('entry'), {childList: true, subtree: true});
    });
    return performance.now();
  });
  await page.click('#records tbody tr[data-n="1"]');
  sound.push(await page.evaluate(() => window.firstSound) - clicked);
  session ??= await context.storageState();
  await context.close();
}
console.log(`workbench page ready with 999 records (navigation to table and strip drawn): median ${median(ready).toFixed(0)} ms of ${runs} (${ready.map(t => t.toFixed(0)).join(', ')})`);
console.log(`  the same as the test driver sees it (the first through the printed address): median ${median(total)} ms`);
console.log(`workbench first sound of a 1 MiB sound (click to playing): median ${median(sound).toFixed(0)} ms of ${runs} (${sound.map(t => t.toFixed(0)).join(', ')})`);
await closeBrowser();
await server.stop();
