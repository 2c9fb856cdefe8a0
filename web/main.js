// The workbench page: the archive at a glance, one entry at a time, and the
// changes staged here until Save puts them into the archive in one commit.
import * as api from './api.js';
import {dropZone, nameChecker, prepareFile, previewOf, showEntry} from './entry.js';
import {drawStrip, markStrip} from './strip.js';
import {drawTable, rowsOf} from './table.js';

const $ = id => document.getElementById(id);
const state = {archive: null, rows: [], staged: [], view: {filter: '', sort: {key: 'n', direction: 1}, selected: 0}};
let nextChange = 1;

function say(lines, bad = false) {
  $('messages').replaceChildren(...lines.map(line => Object.assign(document.createElement('p'), {textContent: line})));
  $('messages').className = bad ? 'messages bad' : 'messages';
}

function bytes(n) {
  return `${n.toLocaleString('en')} byte${n === 1 ? '' : 's'}`;
}

function summaryText(archive) {
  const s = archive.summary;
  const unpack = s.completes ? 'an unpack completes' : `an unpack stops at record ${s.stopsAt} with status ${s.stopStatus}`;
  return `${archive.list}: ${s.records} records; ${archive.resource} ${bytes(s.resourceSize)}, ` +
         `${bytes(s.covered)} covered, ${bytes(s.gaps)} in gaps, ${bytes(s.overlapping)} overlapping; ${unpack}` +
         (archive.readOnly ? '. Read-only: nothing can be changed.' : '.');
}

function marks() {
  const map = new Map();
  for (const change of state.staged) {
    if (change.record) map.set(change.record, change.op === 'rename' ? `renamed to ${change.name}` : `${change.op}d`);
  }
  return map;
}

function renderTable() {
  const shown = drawTable($('records').tBodies[0], state.rows, state.view, marks(), select);
  $('shown-count').textContent = `${shown} of ${state.rows.length} shown`;
}

function renderStaged() {
  const list = $('staged');
  list.replaceChildren(...state.staged.map(change => {
    const undo = Object.assign(document.createElement('button'), {type: 'button', textContent: 'Undo', className: 'undo'});
    undo.addEventListener('click', () => {
      state.staged = state.staged.filter(c => c !== change);
      renderStaged();
    });
    const li = document.createElement('li');
    li.dataset.op = change.op;
    li.append(change.label, ' ', undo);
    return li;
  }));
  $('nothing-staged').hidden = state.staged.length > 0;
  $('save').disabled = state.staged.length === 0 || state.archive.readOnly;
  $('save').textContent = state.staged.length ? `Save ${state.staged.length} change${state.staged.length > 1 ? 's' : ''}` : 'Save';
  $('reload').textContent = state.staged.length ? 'Reload (drops the staged changes)' : 'Reload';
  renderTable();
}

// A change to a record takes the place of an earlier one of the same kind;
// a removal, of every earlier change to the record.
function stage(change) {
  change.id = nextChange++;
  state.staged = state.staged.filter(c => !(change.record && c.record === change.record &&
                                            (c.op === change.op || change.op === 'remove')));
  state.staged.push(change);
  renderStaged();
}

function select(n) {
  state.view.selected = n;
  markStrip($('strip'), n);
  for (const tr of $('records').querySelectorAll('tr.selected')) tr.classList.remove('selected');
  $('records').querySelector(`tr[data-n="${n}"]`)?.classList.add('selected');
  showEntry($('entry'), state.archive, state.archive.records[n - 1], stage);
}

function hover(n) {
  const r = state.archive.records[n - 1];
  $('strip-info').textContent = `#${r.n} ${r.name}: bytes ${r.offset} to ${r.offset + r.length} (${bytes(r.length)})`;
  markStrip($('strip'), n);
}

async function reload() {
  try {
    state.archive = await api.loadArchive();
  } catch (error) {
    say([error.message], true);
    return;
  }
  document.body.classList.toggle('read-only', state.archive.readOnly);
  $('archive-name').textContent = state.archive.list;
  $('summary').textContent = summaryText(state.archive);
  state.rows = rowsOf(state.archive);
  state.staged = [];
  state.view.selected = 0;
  $('entry').replaceChildren(Object.assign(document.createElement('p'), {className: 'hint', textContent: 'Choose a record in the table or the strip.'}));
  drawStrip($('strip'), state.archive, hover, select);
  renderStaged();
  document.body.dataset.ready = state.archive.version;
  performance.mark('quillpack-ready');
}

async function save() {
  $('save').disabled = true;
  say(['Saving…']);
  const result = await api.save(state.archive, state.staged);
  if (!result.ok) {
    say(result.messages, true);
    $('save').disabled = false;
    return;
  }
  const messages = result.messages;
  await reload();
  say(['Saved.', ...messages]);
}

function setUpAdding() {
  let prepared = null;
  let nameOk = false;
  let asked = 0;
  const update = () => { $('add-stage').disabled = !(prepared && nameOk); };
  const prepare = async () => {
    const ask = ++asked;
    prepared = null;
    update();
    const file = $('add-file').chosen;
    if (!file || !$('add-name').value) { $('add-preview').replaceChildren(); return; }
    try {
      const made = await prepareFile(file, $('add-name').value);
      if (ask !== asked) return;  // the name or the file changed meanwhile
      prepared = made;
      $('add-preview').replaceChildren(previewOf(prepared));
    } catch (error) {
      $('add-preview').replaceChildren(Object.assign(document.createElement('p'), {className: 'note bad', textContent: error.message}));
    }
    update();
  };
  dropZone($('add-drop'), $('add-file'), file => {
    $('add-file').chosen = file;
    if (!$('add-name').value) {
      $('add-name').value = file.name.toUpperCase();
      $('add-name').dispatchEvent(new Event('input'));
    }
    $('add-drop').firstChild.textContent = `${file.name}. Drop another, or `;
    prepare();
  });
  nameChecker($('add-name'), $('add-name-check'), ok => { nameOk = ok; prepare(); });
  $('add-stage').addEventListener('click', () => {
    const name = $('add-name').value;
    stage({op: 'add', name, form: prepared.form, bytes: prepared.bytes,
           label: `add ${name}: ${prepared.note}`});
    prepared = null;
    $('add-file').chosen = null;
    $('add-name').value = '';
    $('add-name-check').textContent = '';
    $('add-preview').replaceChildren();
    $('add-drop').firstChild.textContent = 'Drop a file here, or ';
    update();
  });
}

function setUp() {
  $('filter').addEventListener('input', () => { state.view.filter = $('filter').value; renderTable(); });
  for (const th of $('records').tHead.rows[0].cells) {
    th.addEventListener('click', () => {
      const sort = state.view.sort;
      sort.direction = sort.key === th.dataset.key ? -sort.direction : 1;
      sort.key = th.dataset.key;
      for (const other of th.parentElement.cells) other.removeAttribute('aria-sort');
      th.setAttribute('aria-sort', sort.direction > 0 ? 'ascending' : 'descending');
      renderTable();
    });
  }
  $('reload').addEventListener('click', async () => { await reload(); say(['Read from disk again.']); });
  $('save').addEventListener('click', save);
  $('close').addEventListener('click', async () => {
    await api.close().catch(() => {});
    $('closed').hidden = false;
  });
  setUpAdding();
  reload();
}

setUp();
