// Archives for the workbench's tests, and what an unpack of one must give,
// written out here independently of the tool's code.
import {execFileSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const RATE = 11025;

// A sound as the game stores it: every third sample, from the first, has its
// index (mod 256) taken away; an unpack adds it back.
export function scramble(samples) {
  return Uint8Array.from(samples, (s, k) => (k % 3 === 0 ? s - (k % 256) + 256 : s) & 0xff);
}

export function unscramble(stored) {
  return Uint8Array.from(stored, (s, k) => (k % 3 === 0 ? s + (k % 256) : s) & 0xff);
}

export function tone(count, period) {
  return Uint8Array.from({length: count}, (_, k) => Math.round(128 + 100 * Math.sin(2 * Math.PI * k / period)));
}

// A WAV as every audio editor saves one by default: 44.1 kHz, 16 bits, stereo.
export function editorWav(frames) {
  const data = Buffer.alloc(frames * 4);
  for (let k = 0; k < frames; k++) {
    data.writeInt16LE(Math.round(12000 * Math.sin(2 * Math.PI * k * 440 / 44100)), k * 4);
    data.writeInt16LE(Math.round(9000 * Math.sin(2 * Math.PI * k * 660 / 44100)), k * 4 + 2);
  }
  const header = Buffer.alloc(44);
  header.write('RIFF', 0); header.writeUInt32LE(36 + data.length, 4); header.write('WAVE', 8);
  header.write('fmt ', 12); header.writeUInt32LE(16, 16); header.writeUInt16LE(1, 20); header.writeUInt16LE(2, 22);
  header.writeUInt32LE(44100, 24); header.writeUInt32LE(44100 * 4, 28); header.writeUInt16LE(4, 32); header.writeUInt16LE(16, 34);
  header.write('data', 36); header.writeUInt32LE(data.length, 40);
  return Buffer.concat([header, data]);
}

export function wavData(bytes) {
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = bytes.readUInt32LE(at + 4);
    if (bytes.toString('latin1', at, at + 4) === 'data') return bytes.subarray(at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  throw new Error('no data chunk');
}

export function scratch(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `quill-web-${name}-`));
}

// Writes LIST.RD and LIST.RES from [name, bytes] entries laid end to end,
// with `gap` unused bytes before the last entry and, when `alias` is set, one
// more record naming the first `aliasLength` bytes of the entry before it.
export function writeArchive(dir, entries, {gap = 0, alias = null, aliasLength = 0} = {}) {
  const parts = [];
  const lines = [];
  let offset = 0;
  entries.forEach(([name, bytes], i) => {
    if (i === entries.length - 1 && gap) {
      parts.push(Buffer.alloc(gap, 0xee));
      offset += gap;
    }
    lines.push(`${bytes.length} ${offset} ${name}`);
    parts.push(Buffer.from(bytes));
    offset += bytes.length;
  });
  if (alias) {
    const [previous] = lines[lines.length - 1].split(' ').slice(1);
    lines.push(`${aliasLength} ${previous} ${alias}`);
  }
  fs.writeFileSync(path.join(dir, 'GAME.RD'), lines.join('\r\n') + '\r\n');
  fs.writeFileSync(path.join(dir, 'GAME.RES'), Buffer.concat(parts));
  return path.join(dir, 'GAME.RD');
}

export function archiveBytes(dir) {
  return Buffer.concat([fs.readFileSync(path.join(dir, 'GAME.RD')), Buffer.from('|'), fs.readFileSync(path.join(dir, 'GAME.RES'))]);
}

// What `quillfane GAME.RD -dig2wav` leaves in data/, for a copy of the archive
// in a directory of its own: file name -> bytes.
export function unpacked(quillfane, dir) {
  const copy = scratch('unpack');
  for (const file of ['GAME.RD', 'GAME.RES']) fs.copyFileSync(path.join(dir, file), path.join(copy, file));
  execFileSync(quillfane, ['GAME.RD', '-dig2wav'], {cwd: copy, stdio: 'pipe'});
  const files = new Map();
  for (const name of fs.readdirSync(path.join(copy, 'data'))) files.set(name, fs.readFileSync(path.join(copy, 'data', name)));
  fs.rmSync(copy, {recursive: true, force: true});
  return files;
}

// The fixture most tests open: a text, two sounds, a binary entry, a gap
// before the last one and a record overlapping it.
export function standardArchive(dir) {
  const entries = [
    ['README.TXT', Buffer.from('Quillfane workbench test archive.\r\nSecond line.\r\n')],
    ['BOOM.DIG', scramble(tone(4410, 40))],
    ['CHIRP.DIG', scramble(tone(2205, 17))],
    ['LEVEL.MAP', Uint8Array.from({length: 300}, (_, k) => (k * 7 + 3) & 0xff)],
  ];
  return {list: writeArchive(dir, entries, {gap: 64, alias: 'ALIAS.BIN', aliasLength: 100}), entries};
}
