// What the window's browser scripts share: Debian's Chromium started headless through
// playwright-core (no browser download), and how a script ends: it prints "DONE" itself;
// a failure prints "FAIL ..." with the start of what the page showed, and exits 1.
import { chromium } from "playwright-core";

const say = (line) => console.log(line.replace(/[\r\n]+/g, " / "));

// Runs script(browser), then closes the browser and exits with the outcome.
export async function drive(script) {
  let browser;
  try {
    browser = await chromium.launch({
      executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
      headless: true,
      args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage"],
    });
    await script(browser);
    await browser.close();
    process.exit(0);
  } catch (e) {
    try {
      const pages = browser ? browser.contexts().flatMap((c) => c.pages()) : [];
      if (pages.length) say("DEBUG " + (await pages[0].$eval("main", (el) => el.innerHTML)).slice(0, 3000));
    } catch {}
    say("FAIL " + (e && e.stack ? e.stack.split("\n").slice(0, 3).join(" ") : String(e)));
    if (browser) await browser.close().catch(() => {});
    process.exit(1);
  }
}
