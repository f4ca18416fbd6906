// The comparison half of the bridge benchmark: the same page and work done by
// Playwright driving Debian's Chromium. Called by bench_webview_bridge with
// the folder holding page.html, get.js and set.js (the bridge's own script
// texts); prints one JSON object.
import { chromium } from 'playwright-core';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

const dir = process.argv[2];
const samples = Number(process.argv[3] || 200);
const chain = Number(process.argv[4] || 2000);
const selector = process.argv[5] || '#f999';
const sizes = (process.argv[6] || '').split(',').filter(Boolean).map(Number);

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--no-first-run', '--disable-sync'],
});
const page = await browser.newPage();
await page.goto('file://' + join(dir, 'page.html'));
const cdp = await page.context().newCDPSession(page);
// The bridge's script as a function body, as the bridge runs it.
const wrap = (body) => '(function(){\n' + body + '\n})()';
const getScript = wrap(readFileSync(join(dir, 'get.js'), 'utf8'));
const setScript = wrap(readFileSync(join(dir, 'set.js'), 'utf8'));
const cdpRun = async (expression) =>
  (await cdp.send('Runtime.evaluate', { expression, returnByValue: true })).result.value;

const first = await cdpRun(getScript);
if (typeof first !== 'string' || first === 'undefined')
  throw new Error('the bridge script does not find the input: ' + first);

const now = () => Number(process.hrtime.bigint()) / 1e6;
async function measure(op) { return measureN(samples, op); }
async function measureN(samples, op) {
  for (let i = 0; i < 20; i++) await op();
  const times = [];
  for (let i = 0; i < samples; i++) {
    const t = now();
    await op();
    times.push(now() - t);
  }
  times.sort((a, b) => a - b);
  return { median: times[Math.floor(times.length / 2)], p95: times[Math.floor(times.length * 0.95)] };
}
async function chained(set, get) {
  const t = now();
  for (let i = 0; i < chain / 2; i++) {
    await set();
    await get();
  }
  return now() - t;
}

const fill = () => page.fill(selector, 'abc');
const inputValue = () => page.inputValue(selector);
const cdpGet = () => cdpRun(getScript);
const cdpSet = () => cdpRun(setScript);
const cdpTrivial = () => cdpRun('1');
// The first command after a navigation, and the one after it.
async function firstAfterGoto() {
  const firsts = [], seconds = [];
  for (let i = 0; i < 20; i++) {
    await page.goto('file://' + join(dir, 'page.html') + '?n=' + i);
    let t = now();
    await page.inputValue(selector);
    firsts.push(now() - t);
    t = now();
    await page.inputValue(selector);
    seconds.push(now() - t);
  }
  const median = (list) => list.sort((a, b) => a - b)[Math.floor(list.length / 2)];
  return { first: median(firsts), second: median(seconds) };
}
// inputValue of the last input by id, name and another attribute, per size.
async function sweep() {
  const out = {};
  const kinds = { id: (n) => '#f' + n, name: (n) => '[name=n' + n + ']', 'data-k': (n) => '[data-k=d' + n + ']' };
  for (const size of sizes) {
    await page.goto('file://' + join(dir, 'page' + size + '.html'));
    out[size] = {};
    for (const [kind, sel] of Object.entries(kinds)) {
      const s = sel(size - 1);
      out[size][kind] = (await measureN(Math.max(20, Math.floor(samples / 4)), () => page.inputValue(s))).median;
    }
  }
  return out;
}
const result = {
  fill: await measure(fill),
  inputValue: await measure(inputValue),
  cdpGet: await measure(cdpGet),
  cdpSet: await measure(cdpSet),
  chainPlaywright: await chained(fill, inputValue),
  chainCdp: await chained(cdpSet, cdpGet),
  cdpTrivial: await measure(cdpTrivial),
  firstAfterGoto: await firstAfterGoto(),
  sweep: await sweep(),
  chromium: browser.version(),
};
await browser.close();
console.log(JSON.stringify(result));
