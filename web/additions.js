// Files offered as new records: each with the name it will have (checked as
// add checks names), ticked to go in, and staged together.
import {nameCheck} from './api.js';
import {prepareFile} from './entry.js';
import {nameKey, suggestedName} from './files.js';
import {tell} from './tell.js';

const $ = id => document.getElementById(id);

function element(tag, properties = {}, ...children) {
  const e = Object.assign(document.createElement(tag), properties);
  e.append(...children);
  return e;
}

function rowOf(item, i, onChange) {
  const include = element('input', {type: 'checkbox', checked: true, className: 'include'});
  const name = element('input', {type: 'text', className: 'add-as', autocomplete: 'off', spellcheck: false, maxLength: 64});
  const check = element('span', {className: 'check'});
  const note = element('span', {className: 'note'});
  const li = element('li', {},
    element('label', {}, include, ` ${item.path} `),
    element('label', {}, 'as ', name), ' ', check, ' ', note);
  li.dataset.path = item.path;
  name.setAttribute('aria-label', `Name for ${item.path}`);
  const row = {...item, li, include, name, check, note, ok: false, problem: '', edited: false, asked: 0};
  include.addEventListener('change', onChange);
  name.addEventListener('input', event => {
    if (event.isTrusted) row.edited = true;
    askName(row, onChange);
  });
  return row;
}

async function askName(row, onChange) {
  const ask = ++row.asked;
  row.ok = false;
  row.problem = '…';
  onChange();
  const name = row.name.value;
  const {problem, note} = name ? await nameCheck(name) : {problem: 'a name is needed', note: ''};
  if (ask !== row.asked) return;
  row.problem = problem || '';
  row.note.textContent = note ? `but ${note}` : '';
  row.note.className = 'note';
  row.ok = !problem;
  onChange();
}

// Two files going in under one name: the second would hide the first.
function judge(rows, button) {
  const seen = new Map();
  for (const row of rows.filter(r => r.include.checked)) {
    const key = nameKey(row.name.value);
    seen.set(key, (seen.get(key) || 0) + 1);
  }
  let ready = true, any = false;
  for (const row of rows) {
    row.li.classList.toggle('left-out', !row.include.checked);
    if (!row.include.checked) { row.check.textContent = 'left out'; row.check.className = 'check'; continue; }
    any = true;
    const twice = seen.get(nameKey(row.name.value)) > 1 ? 'another file here takes this name too' : '';
    const problem = twice || row.problem;
    row.check.textContent = problem || 'free';
    row.check.className = problem === '…' ? 'check' : problem ? 'check bad' : 'check good';
    if (problem) ready = false;
  }
  button.disabled = !(ready && any);
}

let open = null;

export function offerAdditions(hooks, items) {
  open?.abandon();
  const dialog = $('additions');
  const list = $('additions-list');
  const wav2dig = $('additions-wav2dig');
  const stageButton = $('additions-stage');
  wav2dig.checked = $('add-wav2dig')?.checked || false;
  const rows = [];
  const update = () => judge(rows, stageButton);
  items.forEach((item, i) => rows.push(rowOf(item, i, update)));
  const rename = () => {
    for (const row of rows) {
      if (row.edited) continue;
      row.name.value = suggestedName(row.path, wav2dig.checked);
      row.name.dispatchEvent(new Event('input'));
    }
  };
  list.replaceChildren(...rows.map(row => row.li));
  $('additions-count').textContent = `${items.length} file${items.length > 1 ? 's' : ''}`;
  $('additions-error').textContent = '';
  rename();
  const archive = hooks.archive();
  const finish = () => { dialog.close(); open = null; };
  wav2dig.onchange = rename;
  $('additions-cancel').onclick = finish;
  stageButton.onclick = async () => {
    stageButton.disabled = true;
    const chosen = rows.filter(row => row.include.checked);
    const changes = [];
    for (const row of chosen) {
      try {
        const prepared = await prepareFile(row.file, row.name.value);
        changes.push({op: 'add', name: row.name.value, form: prepared.form, bytes: prepared.bytes,
                      label: `add ${row.name.value}: ${prepared.note}`});
        row.note.textContent = '';
      } catch (error) {
        row.note.textContent = error.message;
        row.note.className = 'note bad';
      }
    }
    if (changes.length < chosen.length) {
      $('additions-error').textContent = 'Nothing staged yet: leave out or rename the files named above.';
      update();
      return;
    }
    if (hooks.archive() !== archive) {
      $('additions-error').textContent = 'The archive was read again meanwhile: drop the files again.';
      return;
    }
    for (const change of changes) hooks.stage(change);
    tell(changes.map(change => `Staged: ${change.label}`));
    finish();
  };
  open = {abandon: finish};
  if (!dialog.open) dialog.showModal();
  rows[0]?.name.focus();
}
