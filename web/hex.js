// A record's first bytes as hex: as many bytes a line as the box has room
// for, and more of the record on request.
const STEPS = [512, 4096, 65536];
const LINE_BYTES = [16, 8, 4];

function element(tag, properties = {}, ...children) {
  const e = Object.assign(document.createElement(tag), properties);
  e.append(...children);
  return e;
}

export function hexLines(bytes, perLine) {
  const lines = [];
  for (let at = 0; at < bytes.length; at += perLine) {
    const row = bytes.subarray(at, at + perLine);
    const hex = Array.from(row, b => b.toString(16).padStart(2, '0')).join(' ');
    const text = Array.from(row, b => (b >= 0x20 && b < 0x7f ? String.fromCharCode(b) : '.')).join('');
    lines.push(`${at.toString(16).padStart(8, '0')}  ${hex.padEnd(perLine * 3 - 1)}  ${text}`);
  }
  return lines.join('\n');
}

// Characters of the pre's font that fit on one line of it.
function lineRoom(pre) {
  const probe = element('span', {textContent: '0'.repeat(64)});
  pre.append(probe);
  const charWidth = probe.getBoundingClientRect().width / 64;
  probe.remove();
  const style = getComputedStyle(pre);
  const inner = pre.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
  return charWidth > 0 ? Math.floor(inner / charWidth) : 80;
}

function layOut(pre, bytes) {
  const room = lineRoom(pre);
  const perLine = LINE_BYTES.find(n => n * 4 + 11 <= room) || LINE_BYTES[LINE_BYTES.length - 1];
  if (pre.dataset.perLine === String(perLine) && pre.dataset.shown === String(bytes.length)) return;
  pre.textContent = hexLines(bytes, perLine);
  pre.dataset.perLine = perLine;
  pre.dataset.shown = bytes.length;
}

export async function hexBox(box, r, fetchBytes) {
  const hint = element('p', {className: 'hint'});
  const pre = element('pre', {id: 'hex-view', className: 'hex', tabIndex: 0});
  const more = element('button', {type: 'button', id: 'hex-more'});
  let bytes = new Uint8Array(0);
  const show = async most => {
    more.disabled = true;
    bytes = await fetchBytes(most);
    // In the page only with its bytes: the view never shows empty.
    if (!pre.isConnected) box.append(hint, pre, more);
    hint.textContent = bytes.length < r.length ? `The first ${bytes.length} of ${r.length} bytes:` : `All ${r.length} bytes:`;
    layOut(pre, bytes);
    const next = STEPS.find(step => step > bytes.length);
    more.hidden = bytes.length >= r.length || !next;
    more.textContent = next ? `Show the first ${Math.min(next, r.length)} bytes` : '';
    more.onclick = () => show(next).catch(error => { hint.textContent = error.message; hint.classList.add('bad'); });
    more.disabled = false;
  };
  // The box's width changes with the window (and the page's layout at a phone's width).
  new ResizeObserver(() => { if (pre.isConnected) layOut(pre, bytes); }).observe(pre);
  await show(STEPS[0]);
}
