// Drives the window in Debian's Chromium (headless) against a running host. The C++ test
// (tests/e2e/web_window_test.cpp) starts the host with the stand-in phone and reads this
// script's output lines: "STEP ..." as it goes, "FIGURE name value" for measurements,
// "WAIT-CONSOLE-PUSH" when the host's console should start a push, "DONE" at the end.
// Any failure prints "FAIL ..." and exits 1.
//
// Environment: WEB_URL (the opening link), DROP_FILE (a local file to send), SHOT_DIR
// (screenshots), CHROMIUM (default /usr/bin/chromium).
import { drive } from "./browser.mjs";
import { mkdirSync } from "node:fs";
import { join } from "node:path";

const url = process.env.WEB_URL;
const base = url.slice(0, url.indexOf("/?key="));
const shots = process.env.SHOT_DIR;
const T = 60000;
mkdirSync(shots, { recursive: true });

const say = (line) => console.log(line);
await drive(async (browser) => {
  const context = await browser.newContext({ viewport: { width: 1000, height: 640 }, colorScheme: "light" });
  const page = await context.newPage();
  const problems = [];
  // The refused page's icon is fetched whenever the browser gets to it, and is refused
  // too: that 403 is expected, at any moment; every other error counts.
  const refusedIcon = (m) => m.text().includes("status of 403") && (m.location().url || "").endsWith("/favicon.ico");
  page.on("console", (m) => m.type() === "error" && !refusedIcon(m) && problems.push(m.text()));
  page.on("pageerror", (e) => problems.push(String(e)));

  // Without the key: the short page telling the user to open the printed link.
  const refused = await page.goto(base + "/");
  if (refused.status() !== 403) throw new Error(`without the key: HTTP ${refused.status()}`);
  if (!(await page.textContent("body")).includes("link Mobrevist printed")) throw new Error("the 403 page does not say what to do");
  say("STEP refused without key");

  // The opening link: cookie, redirect, the page says hello and draws the phone panel.
  // (The refused page and its icon were errors of their own; from here on there are none.)
  problems.length = 0;
  await page.goto(url);
  if (new URL(page.url()).search !== "") throw new Error(`the key stays in the address bar: ${page.url()}`);
  await page.waitForSelector("body[data-ready=true]", { timeout: T });
  await page.waitForSelector("#phone-panel", { timeout: T });
  say("STEP opened " + (await page.getAttribute("#phone-panel", "data-connected")));
  await page.screenshot({ path: join(shots, "no-phone.png") });
  say("PAGE-OPEN");

  // The C++ side attaches the phone now: the road's checklist and then the phone's figures.
  await page.waitForSelector("#phone-model", { timeout: T });
  const figure = async (id) => (await page.textContent(`[data-figure=${id}] .figure-value`)).trim();
  say(`PHONE model=${(await page.textContent("#phone-model")).trim()};sms=${await figure("sms")};contacts=${await figure("contacts")};apps=${await figure("apps")}`);
  const steps = await page.$$eval("[data-step]", (els) => els.map((e) => e.getAttribute("data-step") + ":" + e.className));
  say("STEPS " + steps.join(","));

  // Notices as toasts (the agent sends its set when the channel opens).
  await page.waitForSelector(".toast", { timeout: T });
  await page.waitForFunction(() => document.querySelectorAll(".toast").length >= 2, null, { timeout: T });
  const toasts = await page.$$eval(".toast span", (els) => els.map((e) => e.textContent));
  say("TOASTS " + toasts.join(" | "));
  await page.screenshot({ path: join(shots, "phone.png") });

  // A fresh navigation with the cookie: time until the phone panel is drawn.
  const t0 = Date.now();
  await page.goto(base + "/");
  await page.waitForSelector("#phone-model", { timeout: T });
  say(`FIGURE phone_panel_ms ${Date.now() - t0}`);

  // Keyboard: the sidebar's arrows move between the sections, focus is visible.
  await page.focus("#nav-phone");
  await page.keyboard.press("ArrowDown");
  const current = await page.getAttribute("#nav-messages", "aria-current");
  if (current !== "page") throw new Error("ArrowDown did not open the next section");
  const outline = await page.$eval("#nav-messages", (e) => getComputedStyle(e).outlineStyle);
  if (outline === "none") throw new Error("the focused section button shows no focus");
  say("STEP keyboard");
  await page.click("#nav-transfers");

  // A file through the page's file input, pushed to the folder the user picked.
  await page.fill("#phone-folder", "/sdcard/Download");
  await page.setInputFiles("#file-input", process.env.DROP_FILE);
  const name = process.env.DROP_FILE.split("/").pop();
  const row = `li.transfer-done[data-kind=push]:has-text("${name}")`;
  await page.waitForSelector(row, { timeout: T });
  const percent = await page.getAttribute(`${row} progress`, "data-percent");
  if (percent !== "100") throw new Error(`the finished push shows ${percent}%`);
  say("PUSHED " + name);

  // A file dropped on the window (a DataTransfer, as the desktop's drag and drop gives).
  const dt = await page.evaluateHandle(() => {
    const d = new DataTransfer();
    d.items.add(new File(["dropped 短信 📱\n"], "dropped.txt", { type: "text/plain" }));
    return d;
  });
  await page.dispatchEvent("body", "dragenter", { dataTransfer: dt });
  await page.waitForSelector(".drop-overlay", { timeout: T });
  await page.dispatchEvent("body", "drop", { dataTransfer: dt });
  await page.waitForSelector('li.transfer-done[data-kind=push]:has-text("dropped.txt")', { timeout: T });
  say("DROPPED dropped.txt");
  await page.screenshot({ path: join(shots, "transfers.png") });

  // A push started in the console shows here too.
  say("WAIT-CONSOLE-PUSH");
  await page.waitForSelector('li[data-kind=push]:has-text("console.bin")', { timeout: T });
  await page.waitForSelector('li.transfer-done[data-kind=push]:has-text("console.bin")', { timeout: T });
  say("CONSOLE-PUSH-SEEN");

  // Dark theme follows the system.
  await page.emulateMedia({ colorScheme: "dark" });
  const bg = await page.$eval("body", (e) => getComputedStyle(e).backgroundColor);
  if (bg === "rgb(245, 245, 247)") throw new Error("the dark theme did not follow the system");
  await page.screenshot({ path: join(shots, "transfers-dark.png") });

  if (problems.length) throw new Error("page errors: " + problems.join(" / "));
  say("DONE");
});
