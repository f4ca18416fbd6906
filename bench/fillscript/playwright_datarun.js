// The data-run benchmark's comparison: the same form and rows, a loop over
// the rows, each in a browser context of its own (a new user per row, as
// Playwright recommends for isolation): fresh load, 10 fills, a click, a
// read back.
// Usage: node playwright_datarun.js PAGE_URL DATA_CSV CHROMIUM
// Prints one JSON line; "ms" includes the browser start.
const fs = require('fs');
const { chromium } = require('./node_modules/playwright-core');

(async () => {
  const [url, dataPath, executablePath] = process.argv.slice(2);
  // The benchmark's data has no quoted fields.
  const [header, ...rows] = fs.readFileSync(dataPath, 'utf8').split('\n').filter((l) => l);
  const columns = header.split(',');
  const t = performance.now();
  const browser = await chromium.launch({ executablePath, headless: true });
  for (const row of rows) {
    const values = row.split(',');
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(url, { waitUntil: 'load' });
    for (let i = 0; i < columns.length; i++) await page.locator('#f' + (i + 1)).fill(values[i]);
    await page.locator('#send').click();
    const sent = await page.locator('#f20').inputValue();
    if (sent !== values[0] + '/' + values[9]) throw new Error('read back ' + sent);
    await context.close();
  }
  const ms = performance.now() - t;
  const version = browser.version();
  await browser.close();
  console.log(JSON.stringify({ ms, rows: rows.length, browser: version }));
})().catch((e) => { console.error(String(e)); process.exit(1); });
