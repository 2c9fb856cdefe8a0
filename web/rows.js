// The table by pointer and keyboard: rows chosen (click, shift+click for a
// range, ctrl/cmd+click to toggle, arrows), opened (click, Enter) and removed
// together (Delete, or the button), one staged removal per record.
import {choose, chooseShown} from './table.js';

const $ = id => document.getElementById(id);

function rowNumber(event) {
  const tr = event.target.closest('tr[data-n]');
  return tr ? Number(tr.dataset.n) : 0;
}

// Every chosen record (or, with none chosen, the row the keyboard is on) staged as a removal.
export function removeChosen(tbody, hooks) {
  const archive = hooks.archive();
  if (archive.readOnly) return;
  const {chosen, focus} = tbody.view;
  const numbers = [...(chosen.size ? chosen : focus ? [focus] : [])].sort((a, b) => a - b);
  for (const n of numbers) {
    const r = archive.records[n - 1];
    hooks.stage({op: 'remove', record: n, label: `remove #${n} ${r.name}`});
  }
  chooseShown(tbody, false);
}

function onKey(event, tbody, hooks) {
  const n = rowNumber(event);
  if (!n || event.altKey) return;
  const {shown} = tbody;
  const at = shown.indexOf(n);
  const step = {ArrowDown: 1, ArrowUp: -1, PageDown: 10, PageUp: -10}[event.key];
  let to = 0;
  if (step) to = shown[Math.max(0, Math.min(shown.length - 1, at + step))];
  else if (event.key === 'Home') to = shown[0];
  else if (event.key === 'End') to = shown[shown.length - 1];
  if (to) {
    event.preventDefault();
    choose(tbody, to, {extend: event.shiftKey, toggle: event.ctrlKey || event.metaKey});
    return;
  }
  if (event.key === 'Enter') {
    event.preventDefault();
    hooks.open(n);
  } else if (event.key === ' ') {
    event.preventDefault();
    choose(tbody, n, {toggle: true});
  } else if (event.key === 'Delete' || event.key === 'Backspace') {
    event.preventDefault();
    removeChosen(tbody, hooks);
  } else if (event.key.toLowerCase() === 'a' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    chooseShown(tbody, true);
  }
}

function showCount(tbody) {
  const count = tbody.view.chosen.size;
  $('chosen-count').textContent = count ? `${count} selected` : '';
  $('remove-chosen').disabled = count === 0;
  $('remove-chosen').textContent = count > 1 ? `Remove the ${count} selected` : 'Remove the selected';
}

export function setUpRows(hooks) {
  const tbody = $('records').tBodies[0];
  // A shift-click chooses rows, not the text between them.
  tbody.addEventListener('mousedown', event => { if (event.shiftKey) event.preventDefault(); });
  tbody.addEventListener('click', event => {
    const n = rowNumber(event);
    if (!n) return;
    const toggle = event.ctrlKey || event.metaKey;
    choose(tbody, n, {extend: event.shiftKey, toggle});
    if (!event.shiftKey && !toggle) hooks.open(n);
  });
  tbody.addEventListener('keydown', event => onKey(event, tbody, hooks));
  tbody.addEventListener('chosen', () => showCount(tbody));
  $('select-shown').addEventListener('click', () => chooseShown(tbody, true));
  $('select-none').addEventListener('click', () => chooseShown(tbody, false));
  $('remove-chosen').addEventListener('click', () => removeChosen(tbody, hooks));
}
