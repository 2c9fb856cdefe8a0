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

// The rows chosen for a step on several at once (view.chosen), the row the
// keyboard is on (view.focus) and the end a shift-click extends from
// (view.anchor). A fresh list of rows (after a reload) starts them anew.
function chosenState(view, rows) {
  if (view.rowsSeen !== rows) {
    view.rowsSeen = rows;
    view.chosen = new Set();
    view.focus = 0;
    view.anchor = 0;
  }
}

export function drawTable(tbody, rows, view, marks, onPick) {
  chosenState(view, rows);
  const hadFocus = tbody.contains(document.activeElement);
  const words = view.filter.toLowerCase().split(/\s+/).filter(Boolean);
  const shown = rows.filter(row => matches(row, words));
  const {key, direction} = view.sort;
  shown.sort((a, b) => (a[key] < b[key] ? -1 : a[key] > b[key] ? 1 : a.n - b.n) * direction);
  const fragment = document.createDocumentFragment();
  for (const row of shown) {
    const tr = document.createElement('tr');
    tr.dataset.n = row.n;
    tr.tabIndex = -1;
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
    fragment.append(tr);
  }
  tbody.replaceChildren(fragment);
  tbody.shown = shown.map(row => row.n);
  tbody.view = view;
  tbody.onPick = onPick;
  // Only rows in sight stay chosen: a step on the selection never reaches a row the filter hides.
  for (const n of view.chosen) if (!tbody.shown.includes(n)) view.chosen.delete(n);
  if (!tbody.shown.includes(view.focus)) view.focus = tbody.shown[0] || 0;
  showChosen(tbody);
  if (hadFocus) rowOf(tbody, view.focus)?.focus();
  return shown.length;
}

export function rowOf(tbody, n) {
  return tbody.querySelector(`tr[data-n="${n}"]`);
}

// The rows' look follows view.chosen and view.focus; one row is in the Tab order.
export function showChosen(tbody) {
  const {chosen, focus} = tbody.view;
  for (const tr of tbody.rows) {
    const n = Number(tr.dataset.n);
    tr.classList.toggle('chosen', chosen.has(n));
    tr.setAttribute('aria-selected', chosen.has(n));
    tr.tabIndex = n === focus ? 0 : -1;
  }
  tbody.dispatchEvent(new CustomEvent('chosen', {bubbles: true}));
}

// The shown rows from the anchor to n, in the order shown.
function range(tbody, n) {
  const {shown, view} = tbody;
  const from = shown.indexOf(view.anchor), to = shown.indexOf(n);
  if (from < 0) return [n];
  return shown.slice(Math.min(from, to), Math.max(from, to) + 1);
}

// A click or a key chose row n: alone, a range to it (shift), or toggled (ctrl or cmd).
export function choose(tbody, n, {extend = false, toggle = false} = {}) {
  const view = tbody.view;
  if (extend) {
    if (!toggle) view.chosen.clear();
    for (const m of range(tbody, n)) view.chosen.add(m);
  } else if (toggle) {
    if (view.chosen.has(n)) view.chosen.delete(n); else view.chosen.add(n);
    view.anchor = n;
  } else {
    view.chosen = new Set([n]);
    view.anchor = n;
  }
  view.focus = n;
  showChosen(tbody);
  const tr = rowOf(tbody, n);
  tr?.focus({preventScroll: true});
  tr?.scrollIntoView({block: 'nearest'});
}

export function chooseShown(tbody, all) {
  tbody.view.chosen = new Set(all ? tbody.shown : []);
  showChosen(tbody);
}
