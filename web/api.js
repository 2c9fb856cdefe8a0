// Talking to the quillpack that serves this page: the only place it reaches.
// Every reply the server can give, and no reply at all, comes back from here
// as an ApiError whose message says what happened and what to do.

// What kind of failure: 'gone' (no server answers), 'forbidden' (403),
// 'tooLarge' (413), 'stale' (the archive changed on disk), 'server' (5xx),
// 'refused' (the server read the request and said no).
export class ApiError extends Error {
  constructor(kind, message) {
    super(message);
    this.kind = kind;
  }
}

const GONE = 'The workbench does not answer: its quillpack was stopped (Ctrl+C or Close) or has ended. ' +
             'Nothing more can be read or saved from this page; changes staged here are not saved. ' +
             'Run quillpack open again and use the address it prints.';

// The server's own words, from a JSON reply's messages or a plain-text body.
function serverWords(status, type, text) {
  if (type.includes('application/json')) {
    try {
      const body = JSON.parse(text);
      if (Array.isArray(body.messages) && body.messages.length) return body.messages.join('\n');
    } catch {
      // Not the JSON it claims to be: shown as text.
    }
  }
  return text.trim() || `no explanation (HTTP ${status})`;
}

// An ApiError for a reply that is not a success.
function replyError(status, type, text) {
  const words = serverWords(status, type, text);
  if (status === 403) {
    return new ApiError('forbidden', `The workbench refused this page (403): ${words}. ` +
      'If the workbench was started again, open the address it printed this time; otherwise Reload the page.');
  }
  if (status === 413) {
    return new ApiError('tooLarge', `Too much in one request (413): ${words}. Nothing was written. ` +
      'The workbench takes at most 128 MiB in one Save: undo some of the staged changes, Save the rest, then stage those again.');
  }
  if (status === 409) {
    return new ApiError('stale', `${words}. Reload to see the archive as it is now.`);
  }
  if (status >= 500) {
    return new ApiError('server', `The workbench failed on its side (${status}): ${words}. ` +
      'Reload to see what the archive holds now, then try again.');
  }
  return new ApiError('refused', `${words} (${status})`);
}

// A request as fetch makes it, its failures as ApiErrors.
async function request(url, options = {}) {
  let response;
  try {
    response = await fetch(url, options);
  } catch {
    throw new ApiError('gone', GONE);
  }
  if (!response.ok) {
    const text = await response.text().catch(() => '');
    throw replyError(response.status, response.headers.get('Content-Type') || '', text);
  }
  return response;
}

async function json(url, options) {
  const response = await request(url, options);
  try {
    return await response.json();
  } catch {
    throw new ApiError('server', 'The workbench sent a reply this page cannot read. Reload the page.');
  }
}

export function loadArchive() {
  return json('/api/archive');
}

// The archive's stamp on disk now: it differs from the loaded archive's once
// another quillpack or page has changed the archive.
export async function diskStamp() {
  return (await json('/api/stamp')).stamp;
}

export function recordUrl(archive, n, form, extra = '') {
  return `/api/records/${n}/${form}?v=${encodeURIComponent(archive.version)}${extra}`;
}

export async function recordBytes(archive, n, form, most) {
  const response = await request(recordUrl(archive, n, form, most ? `&max=${most}` : ''));
  return new Uint8Array(await response.arrayBuffer());
}

// The changes already staged, for the name check: set by the page.
let stagedNow = () => [];
export function useStaged(source) {
  stagedNow = source;
}

function hexOf(text) {
  return Array.from(new TextEncoder().encode(text), b => b.toString(16).padStart(2, '0')).join('');
}

// Save's lines for the staged changes: a line per change, its bytes (if any) named by a part.
function changeLines(staged) {
  return staged.map((change, i) => {
    switch (change.op) {
      case 'replace': return `replace ${change.record} f${i} ${change.form}`;
      case 'add': return `add f${i} ${change.form} ${hexOf(change.name)}`;
      case 'remove': return `remove ${change.record}`;
      case 'rename': return `rename ${change.record} ${hexOf(change.name)}`;
    }
    return '';
  });
}

// Why `name` cannot be a new record's name (record 0) or record `record`'s new
// name, with the staged changes made; '' when it can. A note says what else
// to know (a directory an unpack would stop at).
export async function nameCheck(name, record = 0) {
  const form = new URLSearchParams({name, record: record ? String(record) : '',
                                    changes: changeLines(stagedNow()).join("\n")});
  try {
    return await json('/api/name', {method: 'POST', body: form});
  } catch (error) {
    return {problem: error.message, note: ''};
  }
}

// The problem alone ('' when the name can be taken).
export async function nameProblem(name, record = 0) {
  return (await nameCheck(name, record)).problem;
}

// Every staged change in one request, the bytes as parts; onProgress(sent,
// total) as the upload goes. Resolves to the server's answer ({ok, messages});
// rejects with an ApiError when there is none or it is not a success.
export function save(archive, staged, onProgress = () => {}) {
  const form = new FormData();
  staged.forEach((change, i) => {
    if (change.op === 'replace' || change.op === 'add') form.append(`f${i}`, new Blob([change.bytes]), `f${i}`);
  });
  form.append('version', archive.version);
  form.append('changes', changeLines(staged).join('\n'));
  // XMLHttpRequest, not fetch: only it reports an upload's progress.
  return new Promise((resolve, reject) => {
    const xhr = new XMLHttpRequest();
    xhr.open('POST', '/api/save');
    xhr.upload.addEventListener('progress', event => {
      if (event.lengthComputable) onProgress(event.loaded, event.total);
    });
    xhr.addEventListener('error', () => reject(new ApiError('gone', GONE)));
    xhr.addEventListener('abort', () => reject(new ApiError('gone', GONE)));
    xhr.addEventListener('load', () => {
      const type = xhr.getResponseHeader('Content-Type') || '';
      if (xhr.status < 200 || xhr.status >= 300) {
        reject(replyError(xhr.status, type, xhr.responseText));
        return;
      }
      try {
        resolve(JSON.parse(xhr.responseText));
      } catch {
        reject(new ApiError('server', 'The workbench sent a reply this page cannot read; nothing may have been ' +
                                      'written. Reload to see the archive as it is now.'));
      }
    });
    xhr.send(form);
  });
}

// The archive's history, newest first: {ok, versions, current, undoTo, redoTo, messages}.
export function history() {
  return json('/api/history');
}

// Undo, redo or restore (to version `number`) through quillpack's own
// command; refused (stale) when the archive is no longer the one shown.
export function moveInHistory(kind, archive, number = 0) {
  const form = new URLSearchParams({version: archive.version, number: String(number)});
  return json(`/api/${kind}`, {method: 'POST', body: form});
}

// What quillpack status --json says of data/: {ok, status, document, messages}.
export function dataStatus() {
  return json('/api/status');
}

export async function close() {
  await request('/api/close', {method: 'POST'});
}
