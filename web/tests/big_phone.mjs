// Opens the views of a phone with very long lists (tests/e2e/web_big_phone_test.cpp makes
// it) and measures, for each, the time from the click to its first screen of rows drawn,
// three times (the page is loaded afresh each time); then scrolls to the middle and the end
// of each list and counts the rows in the page, which must stay a screenful. Prints
// "FIGURE view_first_screen_ms median all", "DOM view rows", "READY", "DONE"; a failure
// prints "FAIL ..." and exits 1.
//
// Environment: WEB_URL, SHOT_DIR, CHROMIUM.
import { drive } from "./browser.mjs";
import { join } from "node:path";

const url = process.env.WEB_URL;
const base = url.slice(0, url.indexOf("/?key="));
const T = 120000;
const say = (line) => console.log(line);
const VIEWS = [
  { section: "messages", list: "threads" },
  { section: "contacts", list: "contacts" },
  { section: "photos", list: "photos" },
];

await drive(async (browser) => {
  const context = await browser.newContext({ viewport: { width: 1280, height: 800 } });
  const page = await context.newPage();
  await page.goto(url);
  await page.waitForSelector("#phone-model", { timeout: T });

  // A row with its content (not the placeholder of a row whose page is still coming).
  const drawn = (list) => `#${list} [data-row] .row, #${list} [data-row] .row-button`;
  const rowsInPage = (list) => page.$$eval(`#${list} [data-row]`, (els) => els.length);

  for (const v of VIEWS) {
    const times = [];
    for (let run = 0; run < 3; run++) {
      await page.goto(base + "/");
      await page.waitForSelector("#phone-model", { timeout: T });
      const t0 = Date.now();
      await page.click(`#nav-${v.section}`);
      await page.waitForSelector(drawn(v.list), { timeout: T });
      times.push(Date.now() - t0);
    }
    times.sort((a, b) => a - b);
    say(`FIGURE ${v.section}_first_screen_ms ${times[1]} ${times.join(",")}`);
    await page.waitForSelector(`#${v.list}[data-state=ready]`, { timeout: T });
    const total = Number(await page.getAttribute(`#${v.list}`, "data-total"));
    let most = await rowsInPage(v.list);
    for (const at of [0.5, 1]) {
      await page.$eval(`#${v.list}`, (el, f) => (el.scrollTop = el.scrollHeight * f), at);
      const index = Math.min(total - 1, Math.floor(total * at) - 1);
      await page.waitForSelector(`#${v.list} [data-row="${index}"] .row, #${v.list} [data-row="${index}"] .row-button`, { timeout: T });
      most = Math.max(most, await rowsInPage(v.list));
    }
    say(`DOM ${v.list} total ${total} rows ${most}`);
    await page.screenshot({ path: join(process.env.SHOT_DIR, `big-${v.section}.png`) });
  }
  say("READY");
  // The host's memory is read with every list open; the test says when it is done.
  await new Promise((resolve) => process.stdin.once("data", resolve));
  say("DONE");
});
