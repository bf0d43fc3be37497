// Backup and settings: the contact backups with restore (it asks first), the config.ini
// settings a user may change, the update check with its answer as a dialog, the version.
import { useEffect, useRef, useState } from "preact/hooks";
import type { Link } from "../link";
import type { Done } from "../protocol";
import { T } from "../texts";
import { ConfirmButton, Said, Toolbar, useAction } from "../ui";

interface Backup {
  name: string;
  title: string;
}

type Settings = Record<string, string>;
const FIELDS = ["update_url", "update_server", "report_url", "web_port", "download_folder"];

interface Offer {
  version: string;
  url: string;
}

export function SettingsView(props: { link: Link }) {
  const { link } = props;
  const [backups, setBackups] = useState<Backup[]>([]);
  const [settings, setSettings] = useState<Settings>({});
  const [offer, setOffer] = useState<Offer | null>(null);
  const backupsAct = useAction(link);
  const settingsAct = useAction(link);
  const updateAct = useAction(link);
  const dialog = useRef<HTMLDialogElement>(null);

  const loadBackups = async () => {
    const reply = await link.ask<Done & { backups?: Backup[] }>({ type: "do", action: "backups" });
    setBackups(Array.isArray(reply.backups) ? reply.backups : []);
  };
  useEffect(() => {
    loadBackups();
    link.ask<Done & { settings?: Settings }>({ type: "do", action: "settings" }).then((r) => setSettings(r.settings ?? {}));
  }, []);

  const check = async () => {
    const reply = (await updateAct.run("update-check")) as Done & { offer?: Offer };
    setOffer(reply.offer ?? null);
    dialog.current?.showModal();
  };
  const save = (e: Event) => {
    e.preventDefault();
    const values: Settings = {};
    for (const f of [...FIELDS, "web_enabled"]) values[f] = settings[f] ?? "";
    settingsAct.run("settings-save", { settings: values });
  };

  return (
    <div class="panel view scroll" id="settings-view">
      <h1>{T.settings.title}</h1>
      <section aria-labelledby="backups-title">
        <div class="panel-head">
          <h2 id="backups-title">{T.settings.backups}</h2>
          <Toolbar label={T.settings.backups}>
            <button
              type="button"
              id="settings-backup"
              disabled={backupsAct.busy}
              onClick={async () => {
                await backupsAct.run("backup", {});
                loadBackups();
              }}
            >
              {T.contacts.backup}
            </button>
          </Toolbar>
        </div>
        <Said outcome={backupsAct.outcome} id="backups-said" />
        {backups.length === 0 ? <p class="muted">{T.settings.noBackups}</p> : null}
        <ul class="transfers" id="backups">
          {[...backups].reverse().map((b) => (
            <li key={b.name} class="transfer row" data-backup={b.name}>
              <span class="row-main">
                <span class="row-title">{b.name}</span>
                <span class="row-sub">{b.title}</span>
              </span>
              <ConfirmButton label={T.settings.restore} question={T.settings.restoreOne(b.name)} onYes={() => backupsAct.run("restore", { name: b.name })} />
            </li>
          ))}
        </ul>
      </section>
      <section aria-labelledby="settings-title">
        <h2 id="settings-title">{T.settings.config}</h2>
        <form class="settings" onSubmit={save}>
          {FIELDS.map((f) => (
            <label key={f}>
              <span>{T.settings.fields[f]}</span>
              <input id={`setting-${f}`} value={settings[f] ?? ""} onInput={(e) => setSettings({ ...settings, [f]: e.currentTarget.value })} />
            </label>
          ))}
          <label class="check">
            <input type="checkbox" id="setting-web_enabled" checked={settings.web_enabled === "1"} onChange={(e) => setSettings({ ...settings, web_enabled: e.currentTarget.checked ? "1" : "0" })} />
            <span>{T.settings.fields.web_enabled}</span>
          </label>
          <button type="submit" disabled={settingsAct.busy}>
            {T.settings.save}
          </button>
        </form>
        <Said outcome={settingsAct.outcome} id="settings-said" />
      </section>
      <section aria-labelledby="about-title">
        <h2 id="about-title">{T.settings.about}</h2>
        <p>
          {T.appName} {settings.version || "–"} · {T.settings.aboutText}
        </p>
        <button type="button" id="update-check" disabled={updateAct.busy} onClick={check}>
          {T.settings.check}
        </button>
      </section>
      <dialog ref={dialog} id="update-dialog" aria-labelledby="update-dialog-title">
        <h2 id="update-dialog-title">{T.settings.updateTitle}</h2>
        <Said outcome={updateAct.outcome} id="update-said" />
        <form method="dialog" class="toolbar">
          {offer ? (
            <button type="button" onClick={() => updateAct.run("update-install", { url: offer.url, version: offer.version }).then(() => setOffer(null))}>
              {T.settings.install(offer.version)}
            </button>
          ) : null}
          <button type="submit">{T.settings.close}</button>
        </form>
      </dialog>
    </div>
  );
}
