// A text appended to an element with the places that hold a search marked
// (case ignored); the tree and the table mark their matches this way.
export function appendMarked(parent, text, query, className) {
  const span = document.createElement('span');
  if (className) span.className = className;
  if (!query) {
    span.textContent = text;
  } else {
    const lower = text.toLowerCase();
    let from = 0;
    // A lower-case form of another length cannot be mapped back: left unmarked.
    for (let at = lower.indexOf(query); at >= 0 && lower.length === text.length; at = lower.indexOf(query, from)) {
      span.append(text.slice(from, at));
      const mark = document.createElement('mark');
      mark.textContent = text.slice(at, at + query.length);
      span.append(mark);
      from = at + query.length;
    }
    span.append(text.slice(from));
  }
  parent.append(span);
  return span;
}

// Scrolls a list sideways so that its first mark is in view (a match may sit
// far along a long row); `covered` is the width at the left hidden by frozen
// columns.
export function revealMark(scroller, row, covered = 0) {
  const mark = row?.querySelector('mark');
  if (!mark || mark.closest('.frozen')) return;
  const box = scroller.getBoundingClientRect();
  const at = mark.getBoundingClientRect();
  const left = box.left + covered;
  if (at.left < left) scroller.scrollLeft -= left - at.left + 24;
  else if (at.right > box.right - 16) scroller.scrollLeft += at.right - box.right + 40;
}
