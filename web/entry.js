// One record: heard, read or seen as hex, downloaded, and changed.
import {recordBytes, recordUrl, nameCheck} from './api.js';
import {RATE, convertAudio, drawWaveform, seconds, wavFile, wavSamples} from './sound.js';
import {actionText} from './table.js';
import {hexBox} from './hex.js';

const TEXT_BYTES = 65536;

export function isSoundName(name) {
  const dot = name.indexOf('.');
  return dot >= 0 && name.slice(dot).toUpperCase() === '.DIG';
}

function element(tag, properties = {}, ...children) {
  const e = Object.assign(document.createElement(tag), properties);
  e.append(...children);
  return e;
}

// PCM, one channel, 11025 samples a second, 8 bits: what -wav2dig takes as it is.
function isGameWav(bytes) {
  if (bytes.length < 44) return false;
  const text = (at, n) => String.fromCharCode(...bytes.subarray(at, at + n));
  if (text(0, 4) !== 'RIFF' || text(8, 4) !== 'WAVE') return false;
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = view.getUint32(at + 4, true);
    if (text(at, 4) === 'fmt ') {
      return size >= 16 && at + 24 <= bytes.length && view.getUint16(at + 8, true) === 1 && view.getUint16(at + 10, true) === 1 &&
             view.getUint32(at + 12, true) === RATE && view.getUint16(at + 22, true) === 8;
    }
    at += 8 + size + (size & 1);
  }
  return false;
}

// A dropped or chosen file made ready for a record named `name`: audio goes
// into a sound converted (unless it already is a .DIG), anything else as it is.
export async function prepareFile(file, name) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (isSoundName(name) && !isSoundName(file.name)) {
    // A .WAV already in the game's format keeps its samples exactly: decoding
    // and rounding again would move some of them by one.
    if (isGameWav(bytes)) {
      const samples = wavSamples(bytes);
      return {form: 'wav', bytes: wavFile(samples), samples, source: file.name,
              note: `${file.name}: 8-bit mono 11025 Hz already, ${samples.length} samples, ${seconds(samples.length)}`};
    }
    let converted;
    try {
      converted = await convertAudio(bytes);
    } catch {
      throw new Error(`${file.name}: not audio this browser can decode`);
    }
    return {form: 'wav', bytes: converted.wav, samples: converted.samples, source: file.name,
            note: `${file.name} (${converted.channels} channel${converted.channels > 1 ? 's' : ''}) converted: ` +
                  `${converted.samples.length} samples, ${seconds(converted.samples.length)}`};
  }
  return {form: 'raw', bytes, note: `${file.name}: ${bytes.length} bytes, taken as they are`};
}

// What a prepared file sounds like before it is staged.
export function previewOf(prepared) {
  const box = element('div', {className: 'preview'}, element('p', {className: 'note', textContent: prepared.note}));
  if (prepared.samples) {
    const url = URL.createObjectURL(new Blob([prepared.bytes], {type: 'audio/wav'}));
    const audio = element('audio', {controls: true, preload: 'auto', className: 'preview-audio', src: url});
    const canvas = element('canvas', {className: 'waveform'});
    const keep = element('a', {className: 'converted', href: url, download: prepared.source.replace(/\.[^.]*$/, '') + '-11025.wav',
                               textContent: 'Download the converted sound'});
    box.append(audio, canvas, keep);
    requestAnimationFrame(() => drawWaveform(canvas, prepared.samples));
  }
  return box;
}

// A zone taking one file (several go to onFiles when given, else the first is taken).
export function dropZone(zone, input, onFile, onFiles = null) {
  const take = files => {
    if (files.length > 1 && onFiles) onFiles([...files]);
    else if (files.length) onFile(files[0]);
  };
  if (onFiles) input.multiple = true;
  zone.addEventListener('dragover', event => { event.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', event => {
    event.preventDefault();
    zone.classList.remove('over');
    take(event.dataTransfer.files);
  });
  input.addEventListener('change', () => take(input.files));
}

// Says as you type whether a name can be a new record's name (record 0) or
// record `record`'s new name, by the rules Save uses, with the staged changes made.
export function nameChecker(input, output, onResult, record = 0) {
  let asked = 0;
  input.addEventListener('input', async () => {
    const name = input.value;
    const ask = ++asked;
    // The verdict on the name before is no verdict on this one.
    output.className = 'check';
    onResult(false);
    if (!name) { output.textContent = ''; return; }
    output.textContent = 'checking…';
    const {problem, note} = await nameCheck(name, record);
    if (ask !== asked) return;
    output.textContent = problem || (note ? `free; but ${note}` : 'free');
    output.className = problem ? 'check bad' : 'check good';
    onResult(!problem);
  });
}

async function showContent(box, archive, r) {
  if (r.kind === 'sound') {
    const audio = element('audio', {id: 'player', controls: true, preload: 'auto'});
    audio.src = recordUrl(archive, r.n, 'wav');
    const facts = element('p', {id: 'sound-facts', textContent: `${r.length} samples at 11025 a second: ${seconds(r.length)}`});
    audio.addEventListener('loadedmetadata', () => { facts.textContent += ` (the player says ${audio.duration.toFixed(4)} s)`; });
    const canvas = element('canvas', {id: 'waveform', className: 'waveform'});
    box.append(audio, facts, canvas);
    const samples = wavSamples(await recordBytes(archive, r.n, 'wav'));
    drawWaveform(canvas, samples);
    canvas.dataset.samples = samples.length;
  } else if (r.kind === 'text') {
    const bytes = await recordBytes(archive, r.n, 'raw', TEXT_BYTES);
    box.append(element('pre', {id: 'text-view', textContent: new TextDecoder('windows-1252').decode(bytes)}));
  } else if (r.length > 0) {
    await hexBox(box, r, most => recordBytes(archive, r.n, 'raw', most));
  }
}

function editor(r, stage) {
  const box = element('div', {className: 'editing'});
  const input = element('input', {type: 'file', id: 'replace-file', className: 'file-input'});
  const zone = element('div', {id: 'replace-drop', className: 'drop'},
    `Drop a file here to replace ${r.name}${isSoundName(r.name) ? ' (any audio the browser plays)' : ''}, or `,
    element('label', {className: 'choose'}, 'choose one', input));
  const preview = element('div', {id: 'replace-preview'});
  dropZone(zone, input, async file => {
    preview.replaceChildren(element('p', {className: 'note', textContent: `Reading ${file.name}…`}));
    try {
      const prepared = await prepareFile(file, r.name);
      const button = element('button', {type: 'button', id: 'replace-stage', textContent: 'Stage the replacement'});
      button.addEventListener('click', () => {
        stage({op: 'replace', record: r.n, form: prepared.form, bytes: prepared.bytes,
               label: `replace #${r.n} ${r.name}: ${prepared.note}`});
        preview.replaceChildren();
      });
      preview.replaceChildren(previewOf(prepared), button);
    } catch (error) {
      preview.replaceChildren(element('p', {className: 'note bad', textContent: error.message}));
    }
  });

  const name = element('input', {type: 'text', id: 'rename-name', value: r.name, autocomplete: 'off', spellcheck: false});
  const check = element('span', {id: 'rename-check', className: 'check'});
  const rename = element('button', {type: 'button', id: 'rename-stage', textContent: 'Stage the rename', disabled: true});
  nameChecker(name, check, ok => { rename.disabled = !ok; }, r.n);
  rename.addEventListener('click', () => stage({op: 'rename', record: r.n, name: name.value,
                                                label: `rename #${r.n} ${r.name} to ${name.value}`}));
  const remove = element('button', {type: 'button', id: 'remove-stage', textContent: 'Stage the removal'});
  remove.addEventListener('click', () => stage({op: 'remove', record: r.n, label: `remove #${r.n} ${r.name}`}));
  box.append(zone, preview, element('p', {className: 'row'}, element('label', {}, 'New name ', name), check, rename), remove);
  return box;
}

export async function showEntry(box, archive, r, stage) {
  const base = recordUrl(archive, r.n, 'raw', '&download=1');
  const downloads = element('p', {className: 'downloads'},
    element('a', {href: base, textContent: `Download ${r.name}`}));
  if (r.kind === 'sound') {
    downloads.append(' ', element('a', {href: recordUrl(archive, r.n, 'wav', '&download=1'), textContent: `Download ${r.unpack.wav || 'as .WAV'}`}));
  }
  box.replaceChildren(
    element('h2', {textContent: `#${r.n} ${r.name}`}),
    element('p', {className: 'facts', textContent: `offset ${r.offset}, ${r.length} bytes, ${r.kind}; unpack: ${actionText(r)}`}));
  const content = element('div', {className: 'content'});
  box.append(content, downloads);
  if (!archive.readOnly) box.append(editor(r, stage));
  try {
    await showContent(content, archive, r);
  } catch (error) {
    content.append(element('p', {className: 'note bad', textContent: error.message}));
  }
}
