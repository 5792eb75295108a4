// <quarvel-meter for="ID">: a strength meter bound to the password field ID.
// It shows the level as a bar, the reason for each lost point and the
// explanation of a match, updated as the person types. It checks in the
// page with the engine in WebAssembly: the password goes nowhere.
import { Quarvel, describeMatch } from './quarvel/index.js';

const LEVELS = ['', 'weak', 'fair', 'good', 'strong'];
// The points lost to a match, said briefly: the match itself is explained
// on its own line.
const FOUND = {
  dictionary: 'it is a dictionary word, disguised as shown',
  breach: 'it is in a list of leaked passwords',
  context: 'it is close to your own details',
  pattern: 'it is a predictable pattern',
  personal: 'it is in the personal dictionary',
};
let shared = null;

/** The environment that every meter of the page shares, opened once. */
export function environment() {
  shared ??= Quarvel.openDefault();
  return shared;
}

class QuarvelMeter extends HTMLElement {
  #input = null;
  #onInput = () => this.update();

  connectedCallback() {
    if (!this.querySelector('.qm-bar')) {
      this.innerHTML = `
        <div class="qm-bar" role="meter" aria-valuemin="0" aria-valuemax="4" aria-valuenow="0"
             aria-label="Password strength"><span class="qm-fill"></span></div>
        <p class="qm-level" aria-live="polite"></p>
        <p class="qm-match"></p>
        <ul class="qm-reasons"></ul>
        <ul class="qm-advice"></ul>`;
    }
    this.#input = document.getElementById(this.getAttribute('for'));
    if (!this.#input) return;
    this.#input.setAttribute('aria-describedby', this.id || (this.id = `qm-${Math.random().toString(36).slice(2)}`));
    this.#input.addEventListener('input', this.#onInput);
    environment().then(() => this.update(), (error) => this.#show(`meter unavailable: ${error.message}`));
  }

  disconnectedCallback() {
    this.#input?.removeEventListener('input', this.#onInput);
  }

  #show(levelText, level = 0, match = '', reasons = [], advice = []) {
    const bar = this.querySelector('.qm-bar');
    bar.setAttribute('aria-valuenow', String(level));
    bar.setAttribute('aria-valuetext', levelText);
    bar.dataset.level = String(level);
    this.querySelector('.qm-level').textContent = levelText;
    this.querySelector('.qm-match').textContent = match;
    const fill = (selector, items) => {
      const list = this.querySelector(selector);
      list.replaceChildren(...items.map((item) => {
        const li = document.createElement('li');
        li.textContent = item;
        return li;
      }));
    };
    fill('.qm-reasons', reasons);
    fill('.qm-advice', advice);
  }

  async update() {
    const env = await environment();
    const password = this.#input.value;
    if (!password) {
      this.#show('Type a password');
      return;
    }
    let strength;
    try {
      strength = env.check(password);
    } catch (error) {
      this.#show(error.code === 2000 ? 'Too long: at most 257 bytes' : error.message);
      return;
    }
    const lost = strength.reasons.map((r) => {
      const why = FOUND[r.code] ?? r.text;
      return r.points ? `−${r.points}: ${why}` : why;
    });
    const advice = [strength.warning, ...strength.suggestions].filter(Boolean).map((a) => a.text);
    const match = strength.explanation ? `Found: ${describeMatch(strength.explanation)}` : '';
    this.#show(`Level ${strength.level} of 4: ${LEVELS[strength.level]}`, strength.level, match,
      lost, advice);
    this.dispatchEvent(new CustomEvent('quarvel-verdict', { detail: { level: strength.level } }));
  }
}

customElements.define('quarvel-meter', QuarvelMeter);
