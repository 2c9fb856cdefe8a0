// The History panel and the data/ panel: the archive's versions, with Undo,
// Redo and going back to any kept version through quillpack's own commands,
// and what in data/ differs from the archive, as quillpack status says.
// hooks: archive() the archive shown, staged() how many changes are staged,
// busyWith(step), show(archive, keepStaged), say(lines, bad), fail(error, before).
import * as api from './api.js';

const $ = id => document.getElementById(id);
let hooks = null;
let history = null;   // the last history read, for the archive shown
let off = true;       // what main.js says: the server cannot be asked now
let readOnly = false;
let historyAsked = 0;
let dataAsked = 0;

// status --json's states, in its own words (quillpack status's labels).
const LABELS = {
  modified: 'modified', modifiedWav: 'modified .WAV', conflict: 'conflict', unusable: 'unusable', link: 'link',
  missing: 'missing', notInArchive: 'not in archive', missingDirectory: 'no directory', setAside: 'set aside',
};
const WHY = {
  modified: line => `record${line.records.length > 1 ? 's' : ''} ${line.records.join(', ')}; update takes it`,
  modifiedWav: () => 'update -wav2dig takes it',
  missing: () => 'kept as it is',
  notInArchive: () => 'no record writes it; add takes it',
  missingDirectory: () => 'an unpack needs it',
  setAside: () => 'left by a stopped update; it holds no edit: delete it',
};

function element(tag, className, text) {
  return Object.assign(document.createElement(tag), {className, textContent: text});
}

function paint() {
  const usable = !off && !readOnly && history?.ok;
  $('undo').disabled = !usable || !history.undoTo;
  $('redo').disabled = !usable || !history.redoTo;
  $('undo').title = history?.undoTo ? `Back to version ${history.undoTo}` : 'Nothing to undo';
  $('redo').title = history?.redoTo ? `Forward to version ${history.redoTo}` : 'Nothing to redo';
  for (const button of $('history-list').querySelectorAll('button')) button.disabled = !usable;
  $('data-refresh').disabled = off;
}

// main.js's word on what may be done now: nothing while a Save or Reload
// runs or once the server is gone; no change to a read-only archive.
export function historyButtons(nothingNow, readOnlyArchive) {
  off = nothingNow;
  readOnly = readOnlyArchive;
  paint();
}

function versionItem(version) {
  const li = document.createElement('li');
  li.dataset.version = version.number;
  if (version.current) li.setAttribute('aria-current', 'true');
  const head = element('span', 'version', `version ${version.number}${version.current ? ' (current)' : ''}`);
  const when = element('span', 'when', ` ${version.date} UTC, ${version.command}`);
  li.append(head, when);
  if (version.summary) li.append(element('span', 'what', `: ${version.summary}`));
  if (!version.current) {
    const go = element('button', 'restore editing', 'Restore');
    go.type = 'button';
    go.setAttribute('aria-label', `Restore version ${version.number}`);
    go.addEventListener('click', () => move('restore', version.number));
    li.append(' ', go);
  }
  return li;
}

function renderHistory(read, forVersion) {
  history = read;
  const note = $('history-note');
  if (!read.ok) {
    note.textContent = `The history cannot be read: ${read.messages.join(' ')}`;
    note.className = 'note bad';
    $('history-list').replaceChildren();
  } else {
    note.className = 'hint';
    note.textContent = read.versions.length === 0
      ? 'No history yet: quillpack records one from the first change it makes (a Save here too).'
      : read.changedOutside ? 'The list was changed outside quillpack since its last version; Undo keeps it as a version first.'
        : `${read.versions.length} version${read.versions.length === 1 ? '' : 's'} kept; the current one is marked.`;
    $('history-list').replaceChildren(...read.versions.map(versionItem));
  }
  $('history').dataset.for = forVersion;
  paint();
}

// Reads the history again; the answer for an archive no longer shown is dropped.
export async function refreshHistory() {
  const ask = ++historyAsked;
  const forVersion = hooks.archive()?.version || '';
  let read;
  try {
    read = await api.history();
  } catch (error) {
    read = {ok: false, messages: [error.message], versions: []};
  }
  if (ask === historyAsked) renderHistory(read, forVersion);
}

function dataLine(line) {
  const li = element('li', `data-line ${line.state}`, '');
  li.dataset.state = line.state;
  const why = line.detail || WHY[line.state]?.(line) || '';
  li.append(element('span', 'state', LABELS[line.state] || line.state), ' ', element('span', 'path', line.path),
            why ? element('span', 'why', ` (${why})`) : '');
  return li;
}

function renderData(read) {
  const summary = $('data-summary');
  const lines = read.ok ? read.document.lines : [];
  if (!read.ok) {
    summary.textContent = read.messages.join(' ') || `quillpack status ended with status ${read.status}`;
    summary.className = 'note bad';
  } else if (!read.document.differs) {
    summary.textContent = `${read.document.dataDirectory} is what an unpack of the archive leaves.`;
    summary.className = 'note';
  } else {
    const counts = Object.entries(read.document.counts).filter(([, n]) => n > 0)
      .map(([state, n]) => `${n} ${LABELS[state]}`);
    summary.textContent = `${read.document.dataDirectory} differs from the archive: ${counts.join(', ')}.`;
    summary.className = 'note bad';
  }
  // As quillpack status without -v: files missing (update keeps their
  // records as they are) are many after a partial unpack, so counted, not listed.
  $('data-lines').replaceChildren(...lines.filter(line => line.state !== 'missing').map(dataLine));
  $('data-status').dataset.read = String(dataAsked);
}

// Reads the status of data/ again.
export async function refreshData() {
  const ask = ++dataAsked;
  $('data-summary').textContent = 'Looking at data/…';
  let read;
  try {
    read = await api.dataStatus();
  } catch (error) {
    read = {ok: false, status: 0, messages: [error.message]};
  }
  if (ask === dataAsked) renderData(read);
}

const WORDS = {undo: 'Undo', redo: 'Redo', restore: 'Restore'};

// Undo, redo or restore, then the archive shown as it now is. Staged changes
// were staged on the archive as it is now: they are dropped, after asking.
async function move(kind, number = 0) {
  const archive = hooks.archive();
  if (!archive || !history?.ok) return;
  const target = kind === 'undo' ? history.undoTo : kind === 'redo' ? history.redoTo : number;
  if (!target) return;
  const staged = hooks.staged();
  if (staged && !confirm(`${WORDS[kind]} to version ${target}? The ${staged} staged change${staged === 1 ? ' was' : 's were'} ` +
                         'staged on the archive as it is now and will be dropped; stage again on what it then holds.')) {
    return;
  }
  await hooks.busyWith(async () => {
    hooks.say([`${WORDS[kind]}: going to version ${target}…`]);
    let result;
    try {
      result = await api.moveInHistory(kind, archive, number);
    } catch (error) {
      hooks.fail(error);
      return;
    }
    if (!result.ok) {
      hooks.say(result.messages, true);
      return;
    }
    try {
      hooks.show(await api.loadArchive(), false);
    } catch (error) {
      hooks.fail(error, [`${WORDS[kind]} done.`, ...result.messages, 'But the archive could not be read again:']);
      return;
    }
    hooks.say([`${WORDS[kind]} done.`, ...result.messages], result.status !== 0);
  });
}

export function setUpHistory(given) {
  hooks = given;
  $('undo').addEventListener('click', () => move('undo'));
  $('redo').addEventListener('click', () => move('redo'));
  $('data-refresh').addEventListener('click', refreshData);
}
