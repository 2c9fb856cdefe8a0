// The records as a table: filtered as you type, sorted by any column.
import {seconds} from './sound.js';

// What an unpack with -dig2wav does with a record, in the words quillpack list uses.
export function actionText(r) {
  const u = r.unpack;
  if (u.step === 'missingDirectory') return `unpack stops here: ${u.reason} (status 6)`;
  let text;
  if (u.step === 'invalidEntry') text = `unpack stops here: ${u.reason} (status 5)`;
  else if (u.step === 'refusedName') text = 'unpack stops here: name refused (status 6)';
  else text = u.wav ? `write, and ${u.wav}` : 'write';
  if (!u.taken) return u.step === 'write' ? 'not reached' : text;
  if (u.replacedBy) text += `; replaced by record ${u.replacedBy}${u.replacedByWav ? "'s .WAV" : ''}`;
  if (u.wav && u.wavReplacedBy) text += `; its .WAV replaced by record ${u.wavReplacedBy}${u.wavReplacedByWav ? "'s .WAV" : ''}`;
  if (u.overlapCount) {
    const more = u.overlapCount > u.overlaps.length ? ` and ${u.overlapCount - u.overlaps.length} more` : '';
    text += `; overlaps record${u.overlapCount > 1 ? 's' : ''} ${u.overlaps.join(', ')}${more}`;
  }
  return text;
}

export function rowsOf(archive) {
  return archive.records.map(r => ({...r, seconds: r.kind === 'sound' ? r.length / 11025 : -1, action: actionText(r)}));
}

function matches(row, words) {
  const text = `${row.n} ${row.name} ${row.kind} ${row.action}`.toLowerCase();
  return words.every(w => text.includes(w));
}

export function drawTable(tbody, rows, view, marks, onPick) {
  const words = view.filter.toLowerCase().split(/\s+/).filter(Boolean);
  const shown = rows.filter(row => matches(row, words));
  const {key, direction} = view.sort;
  shown.sort((a, b) => (a[key] < b[key] ? -1 : a[key] > b[key] ? 1 : a.n - b.n) * direction);
  const fragment = document.createDocumentFragment();
  for (const row of shown) {
    const tr = document.createElement('tr');
    tr.dataset.n = row.n;
    if (row.n === view.selected) tr.classList.add('selected');
    if (row.unpack.step !== 'write') tr.classList.add('stops');
    const cells = [row.n, row.name, row.offset, row.length, row.kind, row.kind === 'sound' ? seconds(row.length) : '', row.action];
    cells.forEach((value, i) => {
      const td = document.createElement('td');
      td.textContent = value;
      if ([0, 2, 3, 5].includes(i)) td.className = 'number';
      tr.append(td);
    });
    const mark = marks.get(row.n);
    if (mark) {
      const badge = document.createElement('span');
      badge.className = 'badge';
      badge.textContent = mark;
      tr.children[1].append(' ', badge);
    }
    tr.addEventListener('click', () => onPick(row.n));
    fragment.append(tr);
  }
  tbody.replaceChildren(fragment);
  return shown.length;
}
