// Talking to the quillpack that serves this page: the only place it reaches.

export async function loadArchive() {
  const response = await fetch('/api/archive');
  const body = await response.json();
  if (!response.ok) throw new Error(body.messages.join('\n'));
  return body;
}

export function recordUrl(archive, n, form, extra = '') {
  return `/api/records/${n}/${form}?v=${encodeURIComponent(archive.version)}${extra}`;
}

export async function recordBytes(archive, n, form, most) {
  const response = await fetch(recordUrl(archive, n, form, most ? `&max=${most}` : ''));
  if (!response.ok) {
    const body = await response.json().catch(() => ({messages: [response.statusText]}));
    throw new Error(body.messages.join('\n'));
  }
  return new Uint8Array(await response.arrayBuffer());
}

export async function nameProblem(name) {
  const response = await fetch(`/api/name?name=${encodeURIComponent(name)}`);
  const body = await response.json();
  return response.ok ? body.problem : body.messages.join(' ');
}

function hexOf(text) {
  return Array.from(new TextEncoder().encode(text), b => b.toString(16).padStart(2, '0')).join('');
}

// Every staged change in one request: a line per change, the bytes as parts.
export async function save(archive, staged) {
  const form = new FormData();
  const lines = [];
  staged.forEach((change, i) => {
    const part = `f${i}`;
    switch (change.op) {
      case 'replace':
        lines.push(`replace ${change.record} ${part} ${change.form}`);
        form.append(part, new Blob([change.bytes]), part);
        break;
      case 'add':
        lines.push(`add ${part} ${change.form} ${hexOf(change.name)}`);
        form.append(part, new Blob([change.bytes]), part);
        break;
      case 'remove': lines.push(`remove ${change.record}`); break;
      case 'rename': lines.push(`rename ${change.record} ${hexOf(change.name)}`); break;
    }
  });
  form.append('version', archive.version);
  form.append('changes', lines.join('\n'));
  const response = await fetch('/api/save', {method: 'POST', body: form});
  return response.json();
}

export async function close() {
  await fetch('/api/close', {method: 'POST'});
}
