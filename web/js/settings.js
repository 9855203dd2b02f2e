// The settings of a conversion: the decimal separator of number texts and
// today's date (a default of some documents). The address can fix them
// (?sep=,&today=2023-03-15); otherwise they come from the browser's locale
// and clock, as the library takes them from the machine's locale and clock.

const DAYS_1899_TO_1970 = 25569;

// The date value (days since 30 December 1899) of a calendar date.
export function dateValue(year, month, day) {
  return Date.UTC(year, month - 1, day) / 86400000 + DAYS_1899_TO_1970;
}

function two(n) { return String(n).padStart(2, '0'); }

// Only one ASCII character is a separator; anything else falls back to ".".
function separatorOfLanguage(language) {
  try {
    const part = new Intl.NumberFormat(language).formatToParts(1.5).find((p) => p.type === 'decimal');
    const sep = part ? part.value : '.';
    return sep.length === 1 && sep.charCodeAt(0) < 0x80 ? sep : '.';
  } catch {
    return '.';
  }
}

export function readSettings(search, { language, now }) {
  const params = new URLSearchParams(search);
  const problems = [];
  const settings = {};
  const sep = params.get('sep');
  if (sep !== null && sep.length === 1 && sep >= ' ' && sep <= '~') {
    settings.separator = sep;
    settings.separatorFrom = 'the address';
  } else {
    if (sep !== null) problems.push(`"sep" must be one ASCII character, not "${sep}"`);
    settings.separator = separatorOfLanguage(language);
    settings.separatorFrom = `the browser's locale (${language})`;
  }
  const today = params.get('today');
  const m = today !== null ? /^(\d{4})-(\d{2})-(\d{2})$/.exec(today) : null;
  const valid = m && (() => {
    const d = new Date(Date.UTC(+m[1], +m[2] - 1, +m[3]));
    return d.getUTCFullYear() === +m[1] && d.getUTCMonth() === +m[2] - 1 && d.getUTCDate() === +m[3];
  })();
  if (valid) {
    settings.today = dateValue(+m[1], +m[2], +m[3]);
    settings.todayText = `${m[3]}.${m[2]}.${m[1]}`;
    settings.todayFrom = 'the address';
  } else {
    if (today !== null) problems.push(`"today" must be a date such as 2023-03-15, not "${today}"`);
    settings.today = dateValue(now.getFullYear(), now.getMonth() + 1, now.getDate());
    settings.todayText = `${two(now.getDate())}.${two(now.getMonth() + 1)}.${now.getFullYear()}`;
    settings.todayFrom = "the browser's clock";
  }
  settings.problems = problems;
  return settings;
}
