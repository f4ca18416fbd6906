// The runner benchmark's comparison: the same page and the same work (fill
// 1,000 inputs, then read each back) done by Playwright driving Chromium.
// Usage: node playwright_fill.js PAGE_URL COUNT CHROMIUM
// Prints one JSON line with the timings in milliseconds.
const { chromium } = require('./node_modules/playwright-core');

(async () => {
  const [url, countText, executablePath] = process.argv.slice(2);
  const count = Number(countText);
  const browser = await chromium.launch({ executablePath, headless: true });
  const page = await browser.newPage();
  await page.goto(url, { waitUntil: 'load' });
  const result = {};

  // The usual way: locators, fill() and inputValue().
  let t = performance.now();
  for (let i = 0; i < count; i++) await page.locator('#in' + i).fill('值' + i);
  for (let i = 0; i < count; i++) {
    const v = await page.locator('#in' + i).inputValue();
    if (v !== '值' + i) throw new Error('read back ' + v + ' from #in' + i);
  }
  result.locatorMs = performance.now() - t;

  // One page script per operation, as the fill-script commands do.
  await page.reload({ waitUntil: 'load' });
  t = performance.now();
  for (let i = 0; i < count; i++)
    await page.evaluate(([id, v]) => { document.getElementById(id).value = v; }, ['in' + i, '值' + i]);
  for (let i = 0; i < count; i++) {
    const v = await page.evaluate((id) => document.getElementById(id).value, 'in' + i);
    if (v !== '值' + i) throw new Error('read back ' + v + ' from #in' + i);
  }
  result.evaluateMs = performance.now() - t;
  result.operations = 2 * count;
  result.browser = browser.version();
  await browser.close();
  console.log(JSON.stringify(result));
})().catch((e) => { console.error(String(e)); process.exit(1); });
