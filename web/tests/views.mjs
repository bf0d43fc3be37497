// Goes through every view of the window in Debian's Chromium (headless) against a running
// host with a stand-in phone, doing what a person would do there; tests/e2e/web_views_test.cpp
// starts the host and checks on the phone's side. Prints "SAID view sentence" for each
// answer the page shows, "A11Y view count" for the accessibility check, "DONE" at the end;
// a failure prints "FAIL ..." and exits 1.
//
// Environment: WEB_URL (the opening link), SHOT_DIR (screenshots), PC_DIR (the local folder
// pulls go to), APK_FILE (an .apk to install), PHOTO (a phone path to pull), CHROMIUM.
import { drive } from "./browser.mjs";
import { mkdirSync, readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { join } from "node:path";

const require = createRequire(import.meta.url);
const axeSource = readFileSync(require.resolve("axe-core/axe.min.js"), "utf8");
const url = process.env.WEB_URL;
const shots = process.env.SHOT_DIR;
const T = 60000;
mkdirSync(shots, { recursive: true });
const say = (line) => console.log(line.replace(/[\r\n]+/g, " / "));

await drive(async (browser) => {
  // The page forbids inline scripts; the checker is put into the page by the test alone.
  const context = await browser.newContext({ viewport: { width: 1100, height: 720 }, colorScheme: "light", acceptDownloads: true, bypassCSP: true });
  const page = await context.newPage();
  const problems = [];
  page.on("console", (m) => m.type() === "error" && problems.push(m.text()));
  page.on("pageerror", (e) => problems.push(String(e)));

  await page.goto(url);
  await page.waitForSelector("body[data-ready=true]", { timeout: T });
  await page.waitForSelector("#phone-model", { timeout: T });

  const open = async (section) => {
    await page.click(`#nav-${section}`);
    await page.waitForSelector(`#${section}-view, #${section}-panel`, { timeout: T });
  };
  // The answer shown in a view's answer line once it is there (and different from before).
  const said = async (id, before = "") => {
    await page.waitForFunction(
      ([sel, old]) => {
        const el = document.querySelector(sel);
        return el && el.textContent && el.textContent !== old;
      },
      [`#${id}`, before],
      { timeout: T },
    );
    const text = (await page.textContent(`#${id}`)).trim();
    const ok = await page.getAttribute(`#${id}`, "data-ok");
    say(`SAID ${id} ${ok} ${text}`);
    return text;
  };
  const current = async (id) => ((await page.$(`#${id}`)) ? (await page.textContent(`#${id}`)).trim() : "");
  const rows = async (list) => page.$$eval(`#${list} [data-row]`, (els) => els.length);
  const ready = async (list) => page.waitForSelector(`#${list}[data-state=ready]`, { timeout: T });
  // Every view is checked by axe-core: serious and critical findings fail the run.
  const a11y = async (view) => {
    if (!(await page.evaluate(() => "axe" in window))) await page.addScriptTag({ content: axeSource });
    const result = await page.evaluate(async () => {
      const r = await window.axe.run(document, { resultTypes: ["violations"] });
      return r.violations.filter((v) => v.impact === "serious" || v.impact === "critical").map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(" ")).slice(0, 3).join(", ")}`);
    });
    say(`A11Y ${view} ${result.length}${result.length ? " " + result.join(" | ") : ""}`);
    if (result.length) problems.push(`${view}: ${result.join(" | ")}`);
  };
  const shot = (name) => page.screenshot({ path: join(shots, `${name}.png`) });
  // Searches the contacts for one name and gives the id of its row once that row is drawn.
  const onlyContact = async (name) => {
    await page.fill("#contacts-search", name);
    await page.waitForFunction(
      (n) => {
        const rows = document.querySelectorAll("#contacts [data-contact]");
        return rows.length === 1 && rows[0].querySelector(".row-title")?.textContent === n;
      },
      name,
      { timeout: T },
    );
    return page.getAttribute("#contacts [data-contact]", "data-contact");
  };

  // Messages: the conversations, one opened as bubbles, a search, mark read, a message
  // written (the stand-in sends it), one deleted, all exported as CSV.
  await open("messages");
  await ready("threads");
  say(`ROWS threads ${await page.getAttribute("#threads", "data-total")} drawn ${await rows("threads")}`);
  await page.click("#threads [data-thread]");
  await page.waitForSelector("#bubbles [data-sms]", { timeout: T });
  say(`THREAD ${(await page.textContent("#thread-title")).trim()}`);
  await page.click("#mark-read");
  await said("messages-said");
  await shot("messages");
  await a11y("messages");
  await page.fill("#compose-number", "10086");
  await page.fill("#compose-text", "网页发的短信 🌐");
  let before = await current("messages-said");
  await page.click("#messages-view form.compose button[type=submit]");
  await said("messages-said", before);
  const firstBubble = await page.getAttribute("#bubbles [data-sms]", "data-sms");
  before = await current("messages-said");
  await page.click(`#bubbles [data-sms="${firstBubble}"] button`);
  await page.click(`#bubbles [data-sms="${firstBubble}"] button.danger`);
  await said("messages-said", before);
  say(`DELETED-SMS ${firstBubble}`);
  await page.fill("#messages-search", "快递");
  await page.waitForSelector("#messages-found [data-sms]", { timeout: T });
  say(`FOUND ${await page.getAttribute("#messages-found", "data-total")}`);
  await page.fill("#messages-search", "");
  const [csv] = await Promise.all([page.waitForEvent("download", { timeout: T }), page.click("text=Export all to CSV")]);
  const csvPath = join(process.env.PC_DIR, "exported-sms.csv");
  await csv.saveAs(csvPath);
  say(`CSV ${readFileSync(csvPath, "utf8").split("\n")[0].trim()}`);

  // Contacts: the index, a contact added, one deleted after the undo time, one kept by undo.
  await open("contacts");
  await ready("contacts");
  const total = Number(await page.getAttribute("#contacts", "data-total"));
  say(`ROWS contacts ${total} drawn ${await rows("contacts")}`);
  await page.click('[data-letter="Z"]');
  await page.waitForFunction(() => Number(document.querySelector("#contacts")?.getAttribute("data-total")) < 60, null, { timeout: T });
  say(`LETTER Z ${await page.$$eval("#contacts [data-contact] .row-title", (els) => els.map((e) => e.textContent).join(","))}`);
  await page.click('.letters button[aria-pressed="true"]');
  await shot("contacts");
  await a11y("contacts");
  await page.fill("#contact-name", "网页 Tester");
  await page.fill("#contact-number", "+86 138 0000 9999");
  before = await current("contacts-said");
  await page.click("#contacts-view form button[type=submit]");
  await said("contacts-said", before);
  const kept = await onlyContact("Bob Jones2");
  await page.click(`[data-delete="${kept}"]`);
  await page.click("#undo");
  say(`KEPT ${kept} ${await current("contacts-said")}`);
  const gone = await onlyContact("Alice Smith2");
  before = await current("contacts-said");
  await page.click(`[data-delete="${gone}"]`);
  await said("contacts-said", before);
  say(`DELETED-CONTACT ${gone}`);

  // Apps: one removed after the question, an .apk installed from the file field.
  await open("apps");
  await ready("apps");
  say(`ROWS apps ${await page.getAttribute("#apps", "data-total")} drawn ${await rows("apps")}`);
  // The first app's icon comes from the phone.
  const iconOf = await page.getAttribute("#apps [data-package]", "data-package");
  await page.waitForFunction((p) => {
    const img = document.querySelector(`#apps img[data-icon="${p}"]`);
    return img && img.complete && img.naturalWidth > 0;
  }, iconOf, { timeout: T });
  say(`ICON ${await page.$eval(`#apps img[data-icon="${iconOf}"]`, (i) => `${i.naturalWidth}x${i.naturalHeight}`)}`);
  await shot("apps");
  await a11y("apps");
  const pkg = await page.getAttribute("#apps [data-package]", "data-package");
  before = await current("apps-said");
  await page.click(`#apps [data-package="${pkg}"] button`);
  await page.click(`#apps [data-package="${pkg}"] button.danger`);
  await said("apps-said", before);
  say(`UNINSTALLED ${pkg}`);
  await page.setInputFiles("#apk-input", process.env.APK_FILE);
  await page.waitForFunction(() => /install/.test(document.querySelector("#install-said")?.textContent ?? "") && !/Sending/.test(document.querySelector("#install-said")?.textContent ?? ""), null, { timeout: T });
  say(`SAID install-said ${await current("install-said")}`);

  // Music, photos, videos: a song made the ringtone, a photo pulled to this computer.
  await open("music");
  await ready("music");
  say(`ROWS music ${await page.getAttribute("#music", "data-total")} drawn ${await rows("music")}`);
  // Songs show the cover in their tags.
  await page.waitForFunction(() => {
    const img = document.querySelector("#music img[data-media-thumb]");
    return img && img.complete && img.naturalWidth > 0;
  }, null, { timeout: T });
  say(`COVER ${await page.$eval("#music img[data-media-thumb]", (i) => `${i.naturalWidth}x${i.naturalHeight}`)}`);
  await page.click("#music [data-path] .link-button");
  await said("music-said");
  await shot("music");
  await a11y("music");
  await open("photos");
  await ready("photos");
  await page.fill("#photos-view input[type=search]", process.env.PHOTO.split("/").pop());
  await page.waitForFunction(() => document.querySelector("#photos")?.getAttribute("data-total") === "1", null, { timeout: T });
  await page.check(`#photos [data-path="${process.env.PHOTO}"] input[type=checkbox]`);
  // The photo's thumbnail is drawn from the phone's file.
  await page.waitForFunction((p) => {
    const img = document.querySelector(`#photos img[data-thumb="${p}"]`);
    return img && img.complete && img.naturalWidth > 0;
  }, process.env.PHOTO, { timeout: T });
  say(`THUMB ${await page.$eval(`#photos img[data-thumb="${process.env.PHOTO}"]`, (i) => `${i.naturalWidth}x${i.naturalHeight}`)}`);
  await page.fill("#photos-folder", process.env.PC_DIR);
  await page.click("#photos-pull");
  await said("photos-said");
  await shot("photos");
  await a11y("photos");
  await open("transfers");
  await page.waitForSelector(`li.transfer-done[data-kind=pull]`, { timeout: T });
  say("PULLED");
  await open("videos");
  await ready("videos");
  // Videos show the thumbnail the phone keeps.
  await page.waitForFunction(() => {
    const img = document.querySelector("#videos img[data-media-thumb]");
    return img && img.complete && img.naturalWidth > 0;
  }, null, { timeout: T });
  say(`VIDEO-THUMB ${await page.$eval("#videos img[data-media-thumb]", (i) => `${i.naturalWidth}x${i.naturalHeight}`)}`);
  await shot("videos");
  say(`ROWS videos ${await page.getAttribute("#videos", "data-total")} drawn ${await rows("videos")}`);
  await a11y("videos");
  // A video deleted from the phone, asked first; it leaves the list.
  const videos = Number(await page.getAttribute("#videos", "data-total"));
  const video = await page.getAttribute("#videos [data-path]", "data-path");
  await page.check(`#videos [data-path="${video}"] input[type=checkbox]`);
  await page.click("#videos-view .toolbar > button.danger");
  await page.click("#videos-view .confirm button.danger");
  await said("videos-said");
  await page.waitForFunction((n) => document.querySelector("#videos")?.getAttribute("data-total") === String(n), videos - 1, { timeout: T });
  say(`DELETED-VIDEO ${video}`);

  // Files: the storage's folders, one opened, back by the breadcrumbs.
  await open("files");
  await page.waitForSelector("#files [data-entry]", { timeout: T });
  const folders = await page.$$eval("#files [data-entry]", (els) => els.map((e) => e.getAttribute("data-entry")));
  say(`FOLDERS ${folders.join(",")}`);
  await page.click('#files [data-entry="/sdcard/Documents"]');
  await page.waitForSelector('#files [data-entry="/sdcard/Documents/notes.txt"]', { timeout: T });
  say(`DOCUMENTS ${await page.getAttribute("#files", "data-total")}`);
  // A new folder made where the view stands, and a document deleted.
  await page.fill("#files-new-folder", "旅行 2026");
  await page.click("#files-make-folder");
  await said("files-said");
  await page.waitForSelector('#files [data-entry="/sdcard/Documents/旅行 2026"]', { timeout: T });
  before = await current("files-said");
  await page.check('#files [data-entry="/sdcard/Documents/notes.txt"] input[type=checkbox]');
  await page.click("#files-view .toolbar > button.danger");
  await page.click("#files-view .confirm button.danger");
  await said("files-said", before);
  await page.waitForSelector('#files [data-entry="/sdcard/Documents/notes.txt"]', { state: "detached", timeout: T });
  await shot("files");
  await a11y("files");
  await page.click(".crumbs button");

  // Downloads: an address the console refuses, one that cannot be reached, cancelled.
  await open("downloads");
  await page.fill("#download-url", "ftp://127.0.0.1/file.bin");
  await page.click("#downloads-view form button[type=submit]");
  await said("downloads-said");
  before = await current("downloads-said");
  await page.fill("#download-url", `http://127.0.0.1:${process.env.CLOSED_PORT}/nothing.bin`);
  await page.fill("#download-file", join(process.env.PC_DIR, "nothing.bin"));
  await page.click("#downloads-view form button[type=submit]");
  await said("downloads-said", before);
  await page.waitForSelector('#downloads [data-state="failed"]', { timeout: T });
  await shot("downloads");
  await a11y("downloads");
  before = await current("downloads-said");
  await page.click('#downloads [data-download] button:has-text("Cancel")');
  await page.click("#downloads [data-download] button.danger");
  await said("downloads-said", before);
  await page.waitForFunction(() => document.querySelectorAll("#downloads [data-download]").length === 0, null, { timeout: T });

  // Contacts again: one changed through the form, a CSV file dropped on the view.
  await open("contacts");
  await ready("contacts");
  const changed = await onlyContact("Carla Díaz2");
  await page.click(`[data-edit="${changed}"]`);
  await page.fill("#contact-name", "Carla Díaz-Ruiz");
  before = await current("contacts-said");
  await page.click("#contact-form button[type=submit]");
  await said("contacts-said", before);
  say(`EDITED ${changed}`);
  const csvFile = await page.evaluateHandle(() => {
    const d = new DataTransfer();
    d.items.add(new File(["\ufeffFirst Name,Mobile Phone\r\n导入 One,+86 138 0000 7001\r\nImported Two,+86 138 0000 7002\r\n"], "people.csv", { type: "text/csv" }));
    return d;
  });
  await page.dispatchEvent("body", "dragenter", { dataTransfer: csvFile });
  await page.dispatchEvent("body", "drop", { dataTransfer: csvFile });
  await page.waitForFunction(() => /import: /.test(document.querySelector("#import-said")?.textContent ?? ""), null, { timeout: T });
  say(`SAID import-said ${await current("import-said")}`);

  // Devices: the phone, connected.
  await open("devices");
  await page.waitForSelector("#devices [data-state=connected]", { timeout: T });
  say(`DEVICE ${(await page.textContent("#devices [data-serial] .transfer-label")).trim()}`);
  await shot("devices");
  await a11y("devices");

  // Backup and settings: a backup made and listed, a wrong setting refused, good ones
  // saved, the update check answered in a dialog.
  await open("settings");
  before = await current("backups-said");
  await page.click("#settings-backup");
  await said("backups-said", before);
  await page.waitForSelector("#backups [data-backup]", { timeout: T });
  await page.fill("#setting-web_port", "70000");
  await page.click("#settings-view form.settings button[type=submit]");
  await said("settings-said");
  before = await current("settings-said");
  await page.fill("#setting-web_port", "");
  await page.fill("#setting-update_server", `127.0.0.1:${process.env.CLOSED_PORT}`);
  await page.fill("#setting-download_folder", process.env.PC_DIR);
  await page.click("#settings-view form.settings button[type=submit]");
  await said("settings-said", before);
  await shot("settings");
  await a11y("settings");
  await page.click("#update-check");
  await page.waitForSelector("#update-dialog[open] #update-said", { timeout: T });
  say(`SAID update-said ${await current("update-said")}`);
  await page.click("#update-dialog button[type=submit]");

  // The "To" field suggests the contacts that match what is typed.
  await open("messages");
  await page.fill("#compose-number", "Bob");
  await page.waitForFunction(() => document.querySelectorAll("#compose-contacts option").length >= 2, null, { timeout: T });
  say(`PICKS ${await page.$$eval("#compose-contacts option", (os) => os.map((o) => o.textContent).join(","))}`);

  // From the smallest window (dark) to 4K, no view needs a sideways scroll bar.
  await page.emulateMedia({ colorScheme: "dark" });
  const all = ["messages", "contacts", "apps", "photos", "files", "downloads", "devices", "settings"];
  for (const [width, height, sections] of [[800, 600, all], [3840, 2160, ["messages", "contacts", "settings"]]]) {
    await page.setViewportSize({ width, height });
    for (const section of sections) {
      await open(section);
      const wide = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
      if (wide > 0) problems.push(`${section} at ${width}x${height} is ${wide} px too wide`);
    }
  }
  await page.setViewportSize({ width: 800, height: 600 });
  await open("messages");
  await shot("messages-dark-800");

  if (problems.length) throw new Error("problems: " + problems.join(" / "));
  say("DONE");
});
