// The curve editor's keyboard and the labels around its chart. Every rule (which point may
// move, where one may be added, how many there may be) runs in the tool's curve model; this
// file only names the key and places the labels the tool hands over.
// @ts-check

/** The tool's key command for a key on the chart (binding web_editor_key), or null.
 * Arrows choose a point, Shift+arrows move it, Insert or + adds one after it, Delete removes it.
 * @param {KeyboardEvent} e */
export function chartKeyCommand(e) {
  if (e.ctrlKey || e.altKey || e.metaKey) return null;
  const arrows = /** @type {Record<string, [number, number]>} */ ({
    ArrowLeft: [0, 2], ArrowRight: [1, 3], ArrowUp: [1, 4], ArrowDown: [0, 5],
  });
  const arrow = arrows[e.key];
  if (arrow) return e.shiftKey ? arrow[1] : arrow[0];
  if (e.key === 'Insert' || e.key === '+') return 6;
  if (e.key === 'Delete' || e.key === 'Backspace') return 7;
  return null;
}

/** @param {string} tag @param {string} cls */
const make = (tag, cls) => { const e = document.createElement(tag); e.className = cls; return e; };

/** The label holders around the chart: units above the left axis and after the bottom one.
 * @returns {{upUnit: HTMLElement, up: HTMLElement, across: HTMLElement, acrossUnit: HTMLElement}} */
export function buildAxes() {
  return { upUnit: make('span', 'axis-unit up-unit'), up: make('div', 'y-labels'), across: make('div', 'x-labels'), acrossUnit: make('span', 'axis-unit across-unit') };
}

/** Places each label on its grid line: the bottom labels every 12.5 curve units across, the
 * left ones every 25 up, in a chart of `across` by `upUnits` curve units.
 * @param {ReturnType<typeof buildAxes>} axes @param {any} ed @param {number} across @param {number} upUnits */
export function drawAxes(axes, ed, across, upUnits) {
  const place = (/** @type {HTMLElement} */ box, /** @type {string[]} */ texts, /** @type {(i: number) => string} */ at) => {
    if (box.childElementCount !== texts.length) box.replaceChildren(...texts.map(() => document.createElement('span')));
    texts.forEach((t, i) => {
      const span = /** @type {HTMLElement} */ (box.children[i]);
      span.textContent = t;
      span.setAttribute('style', at(i));
    });
  };
  place(axes.up, ed.up, (i) => `top:${(100 - (i * 25 * 100) / upUnits).toFixed(3)}%`);
  place(axes.across, ed.across, (i) => `left:${((i * 12.5 * 100) / across).toFixed(3)}%`);
  axes.upUnit.textContent = ed.upUnit;
  axes.acrossUnit.textContent = ed.acrossUnit;
}
