// Files dropped anywhere on the page: it never navigates to them. One file on a
// row replaces that record; files dropped elsewhere (or several on a row)
// replace the records their names match, and the rest are offered as additions.
import {prepareFile} from './entry.js';
import {droppedFiles, matchFiles} from './files.js';
import {offerAdditions} from './additions.js';
import {tell} from './tell.js';

async function replacement(record, file) {
  const prepared = await prepareFile(file, record.name);
  return {op: 'replace', record: record.n, form: prepared.form, bytes: prepared.bytes,
          label: `replace #${record.n} ${record.name}: ${prepared.note}`};
}

// Prepares every replacement first, so a reload meanwhile stages none of them.
async function stageReplacements(hooks, archive, pairs) {
  const lines = [];
  const changes = [];
  let bad = false;
  for (const {record, file} of pairs) {
    try {
      changes.push(await replacement(record, file));
    } catch (error) {
      lines.push(`Not staged: ${error.message}`);
      bad = true;
    }
  }
  if (hooks.archive() !== archive) return {lines: ['The archive was read again meanwhile: drop the files again.'], bad: true};
  for (const change of changes) {
    hooks.stage(change);
    lines.push(`Staged: ${change.label}`);
  }
  return {lines, bad};
}

async function onDrop(hooks, transfer, row) {
  const archive = hooks.archive();
  const dropped = await droppedFiles(transfer);
  if (!dropped.length || !archive) return;
  if (archive.readOnly) {
    tell(['Read-only: nothing dropped here can change the archive.'], true);
    return;
  }
  if (row && dropped.length === 1) {
    const record = archive.records[row - 1];
    const {lines, bad} = await stageReplacements(hooks, archive, [{record, file: dropped[0].file}]);
    tell(lines, bad);
    return;
  }
  const {replacements, additions, skipped} = matchFiles(dropped, archive.records);
  const {lines, bad} = await stageReplacements(hooks, archive, replacements);
  for (const s of skipped) lines.push(`Not staged: ${s.path}: ${s.reason}`);
  if (additions.length) lines.push(`${additions.length} file${additions.length > 1 ? 's' : ''} matching no record: choose what to add.`);
  tell(lines, bad || skipped.length > 0);
  if (additions.length) offerAdditions(hooks, additions);
}

function rowUnder(event) {
  const tr = event.target.closest?.('#records tbody tr[data-n]');
  return tr ? Number(tr.dataset.n) : 0;
}

export function setUpDrops(hooks) {
  let over = null;
  const mark = tr => {
    if (over === tr) return;
    over?.classList.remove('drop-target');
    over = tr;
    over?.classList.add('drop-target');
  };
  // Every drag over the page is taken, so no drop ever opens the file in the tab.
  for (const type of ['dragenter', 'dragover']) {
    document.addEventListener(type, event => {
      if (event.defaultPrevented) return;
      event.preventDefault();
      mark(event.target.closest?.('#records tbody tr[data-n]') || null);
    });
  }
  document.addEventListener('dragleave', event => { if (!event.relatedTarget) mark(null); });
  document.addEventListener('drop', event => {
    mark(null);
    if (event.defaultPrevented) return;  // a drop zone of its own took it
    event.preventDefault();
    onDrop(hooks, event.dataTransfer, rowUnder(event)).catch(error => tell([error.message], true));
  });
}
