// A line or two in the page's message area, saying what a step did.
export function tell(lines, bad = false) {
  const box = document.getElementById('messages');
  box.replaceChildren(...lines.map(line => Object.assign(document.createElement('p'), {textContent: line})));
  box.className = bad ? 'messages bad' : 'messages';
}
