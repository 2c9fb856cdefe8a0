// The workbench page: the archive at a glance, one entry at a time, and the
// changes staged here until Save puts them into the archive in one commit.
import * as api from './api.js';
import {dropZone, nameChecker, prepareFile, previewOf, showEntry} from './entry.js';
import {drawStrip, markStrip} from './strip.js';
import {drawTable, rowsOf} from './table.js';
import {addName, addSeveral, setUpPage} from './page.js';
import {historyButtons, refreshData, refreshHistory, setUpHistory} from './history.js';

const $ = id => document.getElementById(id);
const state = {archive: null, rows: [], staged: [], view: {filter: '', sort: {key: 'n', direction: 1}, selected: 0},
               busy: false, gone: false, closed: false};
let nextChange = 1;
// How often the page looks whether the archive on disk changed.
const STAMP_EVERY_MS = 2000;
let stampTimer = 0;

function say(lines, bad = false) {
  $('messages').replaceChildren(...lines.map(line => Object.assign(document.createElement('p'), {textContent: line})));
  $('messages').className = bad ? 'messages bad' : 'messages';
}

// A notice that stays until what it says is over: made here, under the messages.
function notice(id, text) {
  let box = $(id);
  if (!text) {
    box?.remove();
    return;
  }
  if (!box) {
    box = Object.assign(document.createElement('div'), {id, className: 'messages bad notice'});
    box.setAttribute('role', 'alert');
    $('messages').after(box);
  }
  box.textContent = text;
}

function bytes(n) {
  return `${n.toLocaleString('en')} byte${n === 1 ? '' : 's'}`;
}

function counted(n, what) {
  return `${n} ${what}${n === 1 ? '' : 's'}`;
}

function summaryText(archive) {
  const s = archive.summary;
  const unpack = s.completes ? 'an unpack completes'
    : `an unpack stops at record ${s.stopsAt} with status ${s.stopStatus}${s.stopReason ? ` (${s.stopReason})` : ''}`;
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

// What can work now: nothing while a Save or Reload runs, nothing that needs
// the server once it is gone or closed.
function setButtons() {
  const off = state.busy || state.gone || state.closed || !state.archive;
  $('save').disabled = off || state.staged.length === 0 || state.archive.readOnly;
  $('reload').disabled = off;
  $('close').disabled = state.busy || state.gone || state.closed;
  historyButtons(off, !!state.archive?.readOnly);
  document.body.classList.toggle('gone', state.gone);
  if (state.gone) {
    for (const control of document.querySelectorAll('.editing button, .editing input, #staged button')) control.disabled = true;
  }
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
  $('save').textContent = state.staged.length ? `Save ${counted(state.staged.length, 'change')}` : 'Save';
  $('reload').textContent = 'Reload';
  setButtons();
  renderTable();
}

// A change to a record takes the place of an earlier one of the same kind and
// of a staged removal; a removal, of every earlier change to the record.
function stage(change) {
  change.id = nextChange++;
  state.staged = state.staged.filter(c => !(change.record && c.record === change.record &&
                                            (c.op === change.op || c.op === 'remove' || change.op === 'remove')));
  state.staged.push(change);
  renderStaged();
}

function select(n) {
  state.view.selected = n;
  markStrip($('strip'), n);
  for (const tr of $('records').querySelectorAll('tr.selected')) tr.classList.remove('selected');
  $('records').querySelector(`tr[data-n="${n}"]`)?.classList.add('selected');
  showEntry($('entry'), state.archive, state.archive.records[n - 1], stage);
  setButtons();
}

function hover(n) {
  const r = state.archive.records[n - 1];
  $('strip-info').textContent = `#${r.n} ${r.name}: bytes ${r.offset} to ${r.offset + r.length} (${bytes(r.length)})`;
  markStrip($('strip'), n);
}

// Shows an archive read from disk; the staged changes stay only when it is
// the very archive they were staged on.
function show(archive, keepStaged) {
  state.archive = archive;
  document.body.classList.toggle('read-only', archive.readOnly);
  $('archive-name').textContent = archive.list;
  $('summary').textContent = summaryText(archive);
  state.rows = rowsOf(archive);
  if (!keepStaged) state.staged = [];
  drawStrip($('strip'), archive, hover, select);
  notice('disk-notice', '');
  const selected = keepStaged && archive.records[state.view.selected - 1] ? state.view.selected : 0;
  state.view.selected = 0;
  $('entry').replaceChildren(Object.assign(document.createElement('p'), {className: 'hint', textContent: 'Choose a record in the table or the strip.'}));
  renderStaged();
  if (selected) select(selected);
  refreshHistory();
  refreshData();
  document.body.dataset.ready = archive.version;
  performance.mark('quillpack-ready');
}

// The server cannot be reached any more: said once, and everything that needs it off.
function goneState(error) {
  state.gone = true;
  clearInterval(stampTimer);
  say([error.message], true);
  notice('disk-notice', '');
  setButtons();
}

// Any failure, shown; the buttons usable again unless the server is gone.
function fail(error, before = []) {
  if (error.kind === 'gone') {
    goneState(error);
    return;
  }
  say([...before, error.message], true);
  if (error.kind === 'stale') outsideChange();
  setButtons();
}

function outsideChange() {
  notice('disk-notice', 'The archive changed on disk since this page read it (another quillpack or another page ' +
    'wrote it): a Save now would be refused. Reload to see it as it is' +
    (state.staged.length ? '; the staged changes are dropped, stage them again on what it holds now.' : '.'));
}

// Runs one step at a time: Save, Reload and Close never overlap.
async function busyWith(step) {
  if (state.busy) return;
  state.busy = true;
  setButtons();
  try {
    await step();
  } finally {
    state.busy = false;
    progress('');
    setButtons();
  }
}

function progress(text) {
  notice('save-progress', '');
  if (!text) return;
  const box = Object.assign(document.createElement('div'), {id: 'save-progress', className: 'messages progress', textContent: text});
  box.setAttribute('role', 'status');
  $('messages').after(box);
}

function megabytes(n) {
  return (n / 1048576).toFixed(1);
}

async function save() {
  await busyWith(async () => {
    say(['Saving…']);
    let result;
    try {
      result = await api.save(state.archive, state.staged, (sent, total) => {
        progress(sent < total ? `Sending the changes: ${megabytes(sent)} of ${megabytes(total)} MB (${Math.floor(sent * 100 / total)}%)`
                              : 'Sent; the workbench is writing the archive…');
      });
    } catch (error) {
      fail(error);
      return;
    }
    if (!result.ok) {
      say(result.messages, true);
      if (result.changed) outsideChange();
      return;
    }
    try {
      show(await api.loadArchive(), false);
    } catch (error) {
      fail(error, ['Saved.', ...result.messages, 'But the archive could not be read again:']);
      return;
    }
    say(['Saved.', ...result.messages]);
  });
}

async function reload() {
  const staged = state.staged.length;
  if (staged && !confirm(`Read the archive from disk again? The ${counted(staged, 'staged change')} stay if the ` +
                         'archive is unchanged on disk, and are dropped if it changed.')) {
    return;
  }
  await busyWith(async () => {
    let fresh;
    try {
      fresh = await api.loadArchive();
    } catch (error) {
      fail(error);
      return;
    }
    const same = fresh.version === state.archive.version;
    show(fresh, same);
    const them = `the ${counted(staged, 'staged change')} ${staged === 1 ? 'is' : 'are'}`;
    say([same ? `Read from disk again: unchanged${staged ? `; ${them} kept` : ''}.`
              : `Read from disk again: the archive had changed${staged ? `; ${them} dropped` : ''}.`]);
  });
}

async function close() {
  const staged = state.staged.length;
  if (staged && !confirm(`Stop the workbench? ${counted(staged, 'staged change')} not saved will be lost.`)) return;
  await busyWith(async () => {
    try {
      await api.close();
    } catch (error) {
      fail(error);
      return;
    }
    state.closed = true;
    clearInterval(stampTimer);
    $('closed').hidden = false;
  });
}

// Looks every few seconds whether the archive on disk is still the one shown.
async function lookAtDisk() {
  if (!state.archive || state.busy || state.gone || state.closed) return;
  const shown = state.archive;
  let stamp;
  try {
    stamp = await api.diskStamp();
  } catch (error) {
    if (error.kind === 'gone' && !state.closed) goneState(error);
    return;
  }
  if (state.busy || state.archive !== shown) return;  // a Save or Reload came meanwhile
  if (stamp !== shown.stamp) outsideChange();
}

function setUpAdding() {
  let prepared = null;
  let nameOk = false;
  let asked = 0;
  const update = () => { $('add-stage').disabled = !(prepared && nameOk) || state.gone; };
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
      $('add-name').value = addName(file);
      $('add-name').dispatchEvent(new Event('input'));
    }
    $('add-drop').firstChild.textContent = `${file.name}. Drop another, or `;
    prepare();
  }, addSeveral);
  nameChecker($('add-name'), $('add-name-check'), ok => {
    nameOk = ok;
    // A name being checked keeps its preview but cannot be staged yet.
    if (ok || !$('add-name').value) prepare(); else update();
  });
  $('add-stage').addEventListener('click', () => {
    if (!prepared || !nameOk) return;
    const name = $('add-name').value;
    stage({op: 'add', name, form: prepared.form, bytes: prepared.bytes,
           label: `add ${name}: ${prepared.note}`});
    prepared = null;
    $('add-file').chosen = null;
    $('add-name').value = '';
    $('add-name-check').textContent = '';
    $('add-name-check').className = 'check';
    nameOk = false;
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
  $('reload').addEventListener('click', reload);
  $('save').addEventListener('click', save);
  $('close').addEventListener('click', close);
  // The browser's own leave-page question guards staged work against a closed tab.
  window.addEventListener('beforeunload', event => {
    if (state.staged.length === 0 || state.closed || state.gone) return;
    event.preventDefault();
    event.returnValue = '';
  });
  api.useStaged(() => state.staged);
  setUpPage({archive: () => state.archive, stage, open: select});
  setUpAdding();
  setUpHistory({archive: () => state.archive, staged: () => state.staged.length, busyWith, show, say, fail});
  busyWith(async () => {
    try {
      show(await api.loadArchive(), false);
    } catch (error) {
      fail(error);
    }
  });
  stampTimer = setInterval(lookAtDisk, STAMP_EVERY_MS);
}

setUp();
