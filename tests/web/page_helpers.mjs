// Helpers for the page's own tests: drops as the desktop makes them, an unpack
// with folders, what has the keyboard's focus.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import {RATE, scratch} from './fixture.mjs';

// A .WAV in the game's own format: PCM, one channel, 11025 Hz, 8 bits.
export function gameWav(samples) {
  const header = Buffer.alloc(44);
  header.write('RIFF', 0); header.writeUInt32LE(36 + samples.length, 4); header.write('WAVE', 8);
  header.write('fmt ', 12); header.writeUInt32LE(16, 16); header.writeUInt16LE(1, 20); header.writeUInt16LE(1, 22);
  header.writeUInt32LE(RATE, 24); header.writeUInt32LE(RATE, 28); header.writeUInt16LE(1, 32); header.writeUInt16LE(8, 34);
  header.write('data', 36); header.writeUInt32LE(samples.length, 40);
  return Buffer.concat([header, Buffer.from(samples)]);
}

// Writes files given as {'dir/name': bytes} under a fresh directory; returns it.
export function filesOnDisk(name, files) {
  const root = scratch(name);
  for (const [relative, bytes] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(root, relative)), {recursive: true});
    fs.writeFileSync(path.join(root, relative), bytes);
  }
  return root;
}

// Drops files or folders from disk at the middle of an element, as a drag
// from the desktop arrives: trusted events, so a drop the page leaves
// unhandled navigates the tab to the file.
export async function dropFromDisk(page, selector, paths) {
  const box = await page.locator(selector).first().boundingBox();
  const x = box.x + box.width / 2, y = box.y + box.height / 2;
  const session = await page.context().newCDPSession(page);
  const data = {items: [], files: paths, dragOperationsMask: 1};
  await session.send('Input.dispatchDragEvent', {type: 'dragEnter', x, y, data});
  await session.send('Input.dispatchDragEvent', {type: 'dragOver', x, y, data});
  await session.send('Input.dispatchDragEvent', {type: 'drop', x, y, data});
  await session.detach();
}

// Records whether the page cancelled each drag event that reaches the window:
// an uncancelled drop is what makes a browser open the file in the tab
// (headless Chromium does not, so the tab's address alone cannot tell).
export async function watchDrops(page) {
  await page.evaluate(() => {
    window.dragsSeen = [];
    for (const type of ['dragover', 'drop']) {
      window.addEventListener(type, event => window.dragsSeen.push({type, cancelled: event.defaultPrevented}));
    }
  });
}

// The drag events seen since the last call.
export async function dragsSeen(page) {
  return page.evaluate(() => window.dragsSeen.splice(0));
}

// Drops files made in the page (so their names may hold `/` or `\`), given as [name, bytes].
export async function dropMade(page, selector, files) {
  await page.evaluate(({selector, files}) => {
    const transfer = new DataTransfer();
    for (const [name, data] of files) transfer.items.add(new File([Uint8Array.from(atob(data), c => c.charCodeAt(0))], name));
    const target = document.querySelector(selector);
    target.dispatchEvent(new DragEvent('dragover', {dataTransfer: transfer, bubbles: true, cancelable: true}));
    target.dispatchEvent(new DragEvent('drop', {dataTransfer: transfer, bubbles: true, cancelable: true}));
  }, {selector, files: files.map(([name, bytes]) => [name, Buffer.from(bytes).toString('base64')])});
}

// What `quillfane GAME.RD -dig2wav` leaves in data/ (folders made first, as an
// unpack needs them), for a copy of the archive: `SFX\A.DIG` -> bytes.
export function unpackedTree(quillfane, dir, folders = []) {
  const copy = scratch('unpack');
  for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(dir, file), path.join(copy, file));
  for (const folder of folders) fs.mkdirSync(path.join(copy, 'data', folder), {recursive: true});
  execFileSync(quillfane, ['GAME.RD', '-dig2wav'], {cwd: copy, stdio: 'pipe'});
  const files = new Map();
  const walk = (at, prefix) => {
    for (const entry of fs.readdirSync(at, {withFileTypes: true})) {
      if (entry.isDirectory()) walk(path.join(at, entry.name), `${prefix}${entry.name}\\`);
      else files.set(prefix + entry.name, fs.readFileSync(path.join(at, entry.name)));
    }
  };
  walk(path.join(copy, 'data'), '');
  fs.rmSync(copy, {recursive: true, force: true});
  return files;
}

// The element with the keyboard's focus, and whether it shows it: an outline,
// or (a row) its cells' inset line, or (a hidden file input) its label's outline.
export async function focused(page) {
  return page.evaluate(() => {
    const e = document.activeElement;
    const shows = x => {
      if (!x) return false;
      const style = getComputedStyle(x);
      return (style.outlineStyle !== 'none' && parseFloat(style.outlineWidth) > 0) || style.boxShadow.includes('inset');
    };
    const visible = shows(e) || (e.tagName === 'TR' && shows(e.cells[0])) || (e.type === 'file' && shows(e.closest('label')));
    return {tag: e.tagName.toLowerCase(), id: e.id, n: e.dataset?.n || '', text: (e.textContent || '').trim().slice(0, 40), visible};
  });
}

// Presses Tab (or shift+Tab) until `matches(focused)` holds; every stop on the
// way is returned, at most `most` of them.
export async function tabUntil(page, matches, {back = false, most = 60} = {}) {
  const stops = [];
  for (let i = 0; i < most; i++) {
    await page.keyboard.press(back ? 'Shift+Tab' : 'Tab');
    const now = await focused(page);
    stops.push(now);
    if (matches(now)) return stops;
  }
  throw new Error(`not reached in ${most} presses: ${stops.map(s => s.id || s.tag).join(' ')}`);
}
