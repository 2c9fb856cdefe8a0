// Files dropped on the page: gathered (folders walked), named as `quillpack add`
// names them, and matched to the records they replace.

// The record name a dropped path stands for: its path under a `data` folder
// when it has one (as add names files), `\` between the parts as the list has.
export function recordNameOf(path) {
  const parts = path.split(/[\\/]+/).filter(Boolean);
  const data = parts.findIndex(part => part.toLowerCase() === 'data');
  return (data >= 0 && data < parts.length - 1 ? parts.slice(data + 1) : parts).join('\\');
}

// Names compared as an unpack on Windows finds files: ASCII case ignored, `\` and `/` alike.
export function nameKey(name) {
  return name.replace(/\//g, '\\').replace(/[A-Z]/g, c => c.toLowerCase());
}

function lastPart(key) {
  return key.slice(key.lastIndexOf('\\') + 1);
}

// Of several records of one name, the one an unpack writes last is the one
// whose file the name stands for.
function recordIndex(records) {
  const byName = new Map();
  const byLastPart = new Map();
  for (const r of records) {
    const key = nameKey(r.name);
    byName.set(key, r);
    const last = lastPart(key);
    if (!byLastPart.has(last)) byLastPart.set(last, new Map());
    byLastPart.get(last).set(key, r);
  }
  return {byName, byLastPart};
}

// The record a name matches: the same name; else a file with no folder of its
// own standing for the one record anywhere with that name.
function lookUp(index, key) {
  const exact = index.byName.get(key);
  if (exact) return exact;
  if (key.includes('\\')) return null;
  const anywhere = index.byLastPart.get(key);
  return anywhere && anywhere.size === 1 ? [...anywhere.values()][0] : null;
}

// Splits dropped files into replacements of records and files left to add.
// A name matches its record by nameKey; a .WAV matches its .DIG (to be
// converted) when no record has the .WAV's own name. One record takes one file.
export function matchFiles(dropped, records) {
  const index = recordIndex(records);
  const taken = new Map();
  const replacements = [], additions = [], skipped = [];
  const exactFirst = dropped.map(d => ({...d, name: recordNameOf(d.path)}))
    .map(d => ({...d, record: lookUp(index, nameKey(d.name))}));
  const order = [...exactFirst.filter(d => d.record), ...exactFirst.filter(d => !d.record)];
  for (const d of order) {
    let record = d.record;
    if (!record && /\.wav$/i.test(d.name)) record = lookUp(index, nameKey(d.name.replace(/\.wav$/i, '.DIG')));
    if (!record) { additions.push(d); continue; }
    if (taken.has(record.n)) {
      skipped.push({...d, reason: `#${record.n} ${record.name} is replaced by ${taken.get(record.n)} from this drop already`});
      continue;
    }
    taken.set(record.n, d.path);
    replacements.push({...d, record});
  }
  return {replacements, additions, skipped};
}

function fileOf(entry) {
  return new Promise((resolve, reject) => entry.file(resolve, reject));
}

async function entriesIn(directory) {
  const reader = directory.createReader();
  const all = [];
  for (;;) {
    const some = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!some.length) return all;
    all.push(...some);
  }
}

async function walk(entry, into) {
  if (entry.isFile) {
    into.push({file: await fileOf(entry), path: entry.fullPath.replace(/^\//, '')});
  } else if (entry.isDirectory) {
    for (const inner of await entriesIn(entry)) await walk(inner, into);
  }
}

// Every file a drop holds, folders walked, as {file, path}. The transfer's
// items are read before the first await: after the event they are gone.
export async function droppedFiles(transfer) {
  const items = [...(transfer.items || [])].filter(item => item.kind === 'file');
  const held = items.map(item => ({entry: item.webkitGetAsEntry?.() || null, file: item.getAsFile()}));
  if (!held.length) return [...transfer.files].map(file => ({file, path: file.webkitRelativePath || file.name}));
  const files = [];
  for (const {entry, file} of held) {
    if (entry?.isDirectory) await walk(entry, files);
    else if (file) files.push({file, path: file.webkitRelativePath || file.name});
  }
  return files;
}

// A .WAV offered as a new record goes in as a .DIG sound when asked, as add's -wav2dig does.
export function suggestedName(path, wav2dig) {
  const name = recordNameOf(path).toUpperCase();
  return wav2dig ? name.replace(/\.WAV$/, '.DIG') : name;
}
