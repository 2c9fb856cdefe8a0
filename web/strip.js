// The resource as one strip: every record's range, and the gaps and overlaps,
// where they lie. Hovering or clicking a range selects its record; with the
// strip focused, the arrow keys go from range to range and Enter opens one.
const SVG = 'http://www.w3.org/2000/svg';
const WIDTH = 1000;

function rect(x, width, y, height, className) {
  const r = document.createElementNS(SVG, 'rect');
  r.setAttribute('x', x);
  r.setAttribute('y', y);
  r.setAttribute('width', Math.max(width, 0.6));
  r.setAttribute('height', height);
  r.setAttribute('class', className);
  return r;
}

// Bytes no record covers, and bytes two or more cover, as [from, to) ranges.
export function coverage(records, size) {
  const events = [];
  for (const r of records) {
    const from = Math.max(0, r.offset), to = Math.min(size, r.offset + r.length);
    if (to > from) events.push([from, 1], [to, -1]);
  }
  events.push([0, 0], [size, 0]);
  events.sort((a, b) => a[0] - b[0] || a[1] - b[1]);
  const gaps = [], overlaps = [];
  let depth = 0, at = 0;
  for (const [position, step] of events) {
    if (position > at) {
      if (depth === 0) gaps.push([at, position]);
      if (depth > 1) overlaps.push([at, position]);
    }
    at = position;
    depth += step;
  }
  return {gaps, overlaps};
}

export function drawStrip(svg, archive, onHover, onPick) {
  svg.replaceChildren();
  const size = archive.summary.resourceSize;
  const x = offset => offset / size * WIDTH;
  svg.append(rect(0, WIDTH, 0, 40, 'resource'));
  const {gaps, overlaps} = coverage(archive.records, size);
  for (const [from, to] of gaps) svg.append(rect(x(from), x(to) - x(from), 0, 40, 'gap'));
  for (const r of archive.records) {
    const from = Math.max(0, Math.min(size, r.offset));
    const to = Math.max(from, Math.min(size, r.offset + r.length));
    // Alternating heights keep neighbours apart.
    const range = rect(x(from), x(to) - x(from), r.n % 2 ? 6 : 10, 24, `range ${r.kind}`);
    range.dataset.n = r.n;
    range.addEventListener('mouseenter', () => onHover(r.n));
    range.addEventListener('click', () => onPick(r.n));
    svg.append(range);
  }
  for (const [from, to] of overlaps) {
    const o = rect(x(from), x(to) - x(from), 32, 8, 'overlap');
    o.setAttribute('pointer-events', 'none');
    svg.append(o);
  }
  keyboard(svg, archive, onHover, onPick);
}

// One Tab stop for the whole strip; the keys walk the records in the order their bytes lie.
function keyboard(svg, archive, onHover, onPick) {
  const order = [...archive.records].sort((a, b) => a.offset - b.offset || a.n - b.n).map(r => r.n);
  let at = -1;
  svg.setAttribute('tabindex', '0');
  svg.onfocus = () => { if (at < 0 && order.length) { at = 0; onHover(order[at]); } };
  svg.onkeydown = event => {
    if (!order.length) return;
    const step = {ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1, PageDown: 10, PageUp: -10}[event.key];
    if (step) at = Math.max(0, Math.min(order.length - 1, at + step));
    else if (event.key === 'Home') at = 0;
    else if (event.key === 'End') at = order.length - 1;
    else if (event.key === 'Enter' || event.key === ' ') {
      event.preventDefault();
      if (at >= 0) onPick(order[at]);
      return;
    } else return;
    event.preventDefault();
    onHover(order[at]);
  };
}

// An outline over the record's range, drawn on top and never in the way of the pointer.
export function markStrip(svg, n) {
  const range = svg.querySelector(`.range[data-n="${n}"]`);
  let marker = svg.querySelector('.marker');
  if (!marker) {
    marker = rect(0, 0, 2, 36, 'marker');
    marker.setAttribute('pointer-events', 'none');
    svg.append(marker);
  }
  marker.toggleAttribute('hidden', !range);
  if (range) {
    marker.setAttribute('x', range.getAttribute('x'));
    marker.setAttribute('width', range.getAttribute('width'));
  }
}
