// The page's ways in besides a click on one thing: drops, rows chosen
// together, the keyboard, and the add panel's options.
// hooks: archive() the archive shown, stage(change), open(n) shows a record.
import {offerAdditions} from './additions.js';
import {setUpDrops} from './drops.js';
import {suggestedName} from './files.js';
import {setUpRows} from './rows.js';

const $ = id => document.getElementById(id);
let pageHooks = null;

function typing(target) {
  return target.closest?.('input, textarea, select, [contenteditable]') !== null;
}

function setUpKeys() {
  document.addEventListener('keydown', event => {
    if (event.key === '/' && !event.ctrlKey && !event.metaKey && !event.altKey && !typing(event.target)) {
      event.preventDefault();
      $('filter').focus();
      $('filter').select();
    }
  });
  // From the filter, down goes on to the rows it left shown.
  $('filter').addEventListener('keydown', event => {
    if (event.key !== 'ArrowDown') return;
    const row = $('records').tBodies[0].querySelector('tr[tabindex="0"]');
    if (row) { event.preventDefault(); row.focus(); }
  });
}

// add's -wav2dig: a .WAV added goes in as a .DIG sound.
function setUpAddOptions() {
  $('add-wav2dig').addEventListener('change', () => {
    const name = $('add-name');
    const file = $('add-file').chosen;
    if (!file || !/\.wav$/i.test(file.name)) return;
    const next = $('add-wav2dig').checked ? name.value.replace(/\.wav$/i, '.DIG') : name.value.replace(/\.dig$/i, '.WAV');
    if (next !== name.value) {
      name.value = next;
      name.dispatchEvent(new Event('input'));
    }
  });
}

// The name the add panel gives a chosen file, as add would.
export function addName(file) {
  return suggestedName(file.name, $('add-wav2dig').checked);
}

// Several files given to the add panel: each offered as a new record.
export function addSeveral(files) {
  if (pageHooks) offerAdditions(pageHooks, files.map(file => ({file, path: file.name})));
}

export function setUpPage(hooks) {
  pageHooks = hooks;
  setUpRows(hooks);
  setUpDrops(hooks);
  setUpKeys();
  setUpAddOptions();
}
