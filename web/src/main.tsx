// The window: a sidebar of sections (phone, transfers, notices), toasts for the phone's
// notices and a drop zone that sends files to a phone folder. State comes from the
// program's model through the link; the page keeps only what it draws.
import { render } from "preact";
import { useEffect, useMemo, useRef, useState } from "preact/hooks";
import "./app.css";
import { bytes, duration, percent } from "./format";
import { Link, type LinkState } from "./link";
import { list, type Device, type Download, type Notice, type Phone, type ServerMessage, type Step, type Transfer } from "./protocol";
import { T } from "./texts";
import { upload } from "./ui";
import { AppsView, useInstaller } from "./views/apps";
import { ContactsView, useImporter } from "./views/contacts";
import { DevicesView } from "./views/devices";
import { DownloadsView } from "./views/downloads";
import { FilesView } from "./views/files";
import { MediaView } from "./views/media";
import { MessagesView } from "./views/messages";
import { SettingsView } from "./views/settings";

const SECTIONS = ["phone", "messages", "contacts", "apps", "music", "photos", "videos", "files", "transfers", "downloads", "devices", "settings", "notices"] as const;
type Section = (typeof SECTIONS)[number];

interface Upload {
  key: string;
  name: string;
  sent: number;
  total: number;
  failed?: string;
}

function Bar(props: { value: number; max: number; label: string }) {
  const p = percent(props.value, props.max);
  return <progress class="bar" value={props.max > 0 ? props.value : undefined} max={props.max > 0 ? props.max : undefined} aria-label={props.label} data-percent={p ?? ""} />;
}

function Figure(props: { label: string; value: string | number | undefined; id: string }) {
  return (
    <div class="figure" data-figure={props.id}>
      <span class="figure-value">{props.value ?? "–"}</span>
      <span class="figure-label">{props.label}</span>
    </div>
  );
}

function Steps(props: { steps: Step[] }) {
  if (props.steps.length === 0) return null;
  return (
    <section aria-label={T.phone.road}>
      <h2>{T.phone.road}</h2>
      <ol class="steps">
        {props.steps.map((s) => (
          <li key={s.name} class={`step step-${s.state}`} data-step={s.name}>
            <span class="step-mark" aria-hidden="true">{s.state === "done" ? "✓" : s.state === "failed" ? "✕" : "…"}</span>
            <span>{T.steps[s.name] ?? s.name}</span>
            {s.state === "failed" && s.text ? <span class="step-text">{s.text}</span> : null}
          </li>
        ))}
      </ol>
    </section>
  );
}

function Storage(props: { label: string; free?: number; total?: number; id: string }) {
  if (!props.total) return null;
  const used = props.total - (props.free ?? 0);
  return (
    <div class="storage" data-storage={props.id}>
      <div class="storage-head">
        <span>{props.label}</span>
        <span class="muted">{T.phone.free(bytes(props.free), bytes(props.total))}</span>
      </div>
      <Bar value={used} max={props.total} label={props.label} />
    </div>
  );
}

function PhonePanel(props: { phone: Phone; steps: Step[] }) {
  const p = props.phone;
  if (!p.connected) {
    return (
      <div class="panel" id="phone-panel" data-connected="false">
        <h1>{T.phone.none}</h1>
        <ol class="how-to">
          {T.phone.howTo.map((line) => (
            <li key={line}>{line}</li>
          ))}
        </ol>
        <Steps steps={props.steps} />
      </div>
    );
  }
  return (
    <div class="panel" id="phone-panel" data-connected="true">
      <h1 id="phone-model">{p.model}</h1>
      <p class="muted">
        {T.phone.android} <span id="phone-android">{p.android}</span> · {T.phone.battery} <span id="phone-battery">{p.battery}%</span>
      </p>
      <Bar value={p.battery ?? 0} max={100} label={T.phone.battery} />
      <div class="figures">
        <Figure id="sms" label={T.phone.sms} value={p.sms} />
        <Figure id="contacts" label={T.phone.contacts} value={p.contacts} />
        <Figure id="apps" label={T.phone.apps} value={p.apps} />
      </div>
      <Storage id="phone" label={T.phone.storage} free={p.free} total={p.total} />
      <Storage id="card" label={T.phone.card} free={p.card_free} total={p.card_total} />
      <Steps steps={props.steps} />
    </div>
  );
}

function TransferRow(props: { t: Transfer }) {
  const t = props.t;
  const p = percent(t.done, t.total);
  const left = t.state === "running" && t.rate > 0 && t.total > 0 ? T.transfers.left(duration((t.total - t.done) / t.rate)) : "";
  return (
    <li class={`transfer transfer-${t.state}`} data-transfer={t.id} data-kind={t.kind}>
      <div class="transfer-head">
        <span class="transfer-label">{t.label}</span>
        <span class="muted transfer-figures">
          {p !== undefined ? `${p}%` : bytes(t.done)}
          {t.state === "running" && t.rate > 0 ? ` · ${bytes(t.rate)}/s` : ""}
          {left ? ` · ${left}` : ""}
        </span>
      </div>
      <Bar value={t.done} max={t.total} label={t.label} />
      {t.state !== "running" && t.line ? <div class="muted transfer-line">{t.line}</div> : null}
    </li>
  );
}

function TransfersPanel(props: { transfers: Transfer[]; uploads: Upload[]; onCancel: () => void; children?: preact.ComponentChildren }) {
  const running = props.transfers.some((t) => t.state === "running");
  const shown = [...props.transfers].reverse();
  return (
    <div class="panel" id="transfers-panel">
      <div class="panel-head">
        <h1>{T.transfers.title}</h1>
        <button type="button" onClick={props.onCancel} disabled={!running}>
          {T.transfers.cancel}
        </button>
      </div>
      {props.children}
      <ul class="transfers">
        {props.uploads.map((u) => (
          <li key={u.key} class="transfer transfer-upload">
            <div class="transfer-head">
              <span class="transfer-label">{T.transfers.uploading(u.name)}</span>
              <span class="muted">{u.failed ?? `${percent(u.sent, u.total) ?? 0}%`}</span>
            </div>
            <Bar value={u.sent} max={u.total} label={u.name} />
          </li>
        ))}
        {shown.map((t) => (
          <TransferRow key={t.id} t={t} />
        ))}
      </ul>
      {shown.length === 0 && props.uploads.length === 0 ? <p class="muted">{T.transfers.none}</p> : null}
    </div>
  );
}

function NoticesPanel(props: { notices: Notice[] }) {
  return (
    <div class="panel" id="notices-panel">
      <h1>{T.notices.title}</h1>
      {props.notices.length === 0 ? <p class="muted">{T.notices.none}</p> : null}
      <ul class="notices">
        {[...props.notices].reverse().map((n) => (
          <li key={n.id}>
            <time class="muted">{new Date(n.time * 1000).toLocaleTimeString()}</time> {n.text}
          </li>
        ))}
      </ul>
    </div>
  );
}

function Toasts(props: { toasts: Notice[]; onDismiss: (id: number) => void }) {
  return (
    <div class="toasts" role="status" aria-live="polite">
      {props.toasts.slice(-4).map((n) => (
        <div key={n.id} class="toast" data-notice={n.kind}>
          <span>{n.text}</span>
          <button type="button" class="toast-close" aria-label={T.notices.dismiss} onClick={() => props.onDismiss(n.id)}>
            ×
          </button>
        </div>
      ))}
    </div>
  );
}

function App() {
  const [section, setSection] = useState<Section>("phone");
  const [linkState, setLinkState] = useState<LinkState>("connecting");
  const [phone, setPhone] = useState<Phone>({ connected: false });
  const [steps, setSteps] = useState<Step[]>([]);
  const [transfers, setTransfers] = useState<Map<number, Transfer>>(new Map());
  const [notices, setNotices] = useState<Notice[]>([]);
  const [toasts, setToasts] = useState<Notice[]>([]);
  const [uploads, setUploads] = useState<Upload[]>([]);
  const [folder, setFolder] = useState("/sdcard/Download");
  const [phoneFolder, setPhoneFolder] = useState("/sdcard");
  const [pcFolder, setPcFolder] = useState("");
  const [downloads, setDownloads] = useState<Download[]>([]);
  const [devices, setDevices] = useState<Device[]>([]);
  const [compose, setCompose] = useState<string | undefined>(undefined);
  const sectionRef = useRef<Section>(section);
  sectionRef.current = section;
  const [dragging, setDragging] = useState(false);
  const uploadUrl = useRef("");
  const fileInput = useRef<HTMLInputElement>(null);
  const navRefs = useRef<(HTMLButtonElement | null)[]>([]);

  const link = useMemo(
    () =>
      new Link((m: ServerMessage) => {
        switch (m.type) {
          case "hello":
            uploadUrl.current = m.upload;
            setPhone(m.phone);
            setSteps(list<Step>(m.steps));
            setTransfers(new Map(list<Transfer>(m.transfers).map((t) => [t.id, t])));
            setNotices(list<Notice>(m.notices));
            setDownloads(list<Download>(m.downloads));
            setDevices(list<Device>(m.devices));
            if (m.folder) setPcFolder((old) => old || m.folder || "");
            document.body.dataset.ready = "true";
            break;
          case "phone":
            setPhone(m.phone);
            break;
          case "steps":
            setSteps(list<Step>(m.steps));
            break;
          case "transfer":
            setTransfers((old) => new Map(old).set(m.transfer.id, m.transfer));
            break;
          case "notice":
            setNotices((old) => [...old.slice(-49), m.notice]);
            setToasts((old) => [...old, m.notice]);
            setTimeout(() => setToasts((old) => old.filter((n) => n.id !== m.notice.id)), 8000);
            break;
          case "downloads":
            setDownloads(list<Download>(m.downloads));
            break;
          case "devices":
            setDevices(list<Device>(m.devices));
            break;
          case "error":
            setToasts((old) => [...old, { id: -Date.now(), kind: 0, text: m.text, time: Date.now() / 1000 }]);
            break;
        }
      }, setLinkState),
    [],
  );
  useEffect(() => link.open(), [link]);

  const installer = useInstaller(link, () => uploadUrl.current);
  const importer = useImporter(link, () => uploadUrl.current);

  const send = (files: FileList | File[] | null, into?: string) => {
    const target = (into ?? folder).trim();
    for (const file of Array.from(files ?? [])) {
      const key = `${file.name}-${Math.random()}`;
      setUploads((old) => [...old, { key, name: file.name, sent: 0, total: file.size }]);
      const update = (change: Partial<Upload>) => setUploads((old) => old.map((u) => (u.key === key ? { ...u, ...change } : u)));
      upload(uploadUrl.current, file, (sent) => update({ sent }))
        .then((id) => {
          setUploads((old) => old.filter((u) => u.key !== key));
          link.send({ type: "push", upload: id, folder: target });
        })
        .catch((e: Error) => update({ failed: e.message }));
    }
    if (into === undefined) setSection("transfers");
  };

  // Files dropped on the window: .apk files on the apps view are installed, files on the
  // files view go to the folder shown, anything else to the transfers' phone folder.
  const dropped = (files: FileList) => {
    const all = Array.from(files);
    if (sectionRef.current === "apps") return installer.send(all);
    if (sectionRef.current === "contacts") return importer.send(all);
    if (sectionRef.current === "files") return send(all, phoneFolder);
    send(all);
  };

  useEffect(() => {
    let depth = 0;
    const enter = (e: DragEvent) => {
      if (!e.dataTransfer?.types.includes("Files")) return;
      e.preventDefault();
      depth++;
      setDragging(true);
    };
    const over = (e: DragEvent) => {
      if (e.dataTransfer?.types.includes("Files")) e.preventDefault();
    };
    const leave = () => {
      depth = Math.max(0, depth - 1);
      if (depth === 0) setDragging(false);
    };
    const drop = (e: DragEvent) => {
      e.preventDefault();
      depth = 0;
      setDragging(false);
      if (e.dataTransfer?.files.length) dropped(e.dataTransfer.files);
    };
    window.addEventListener("dragenter", enter);
    window.addEventListener("dragover", over);
    window.addEventListener("dragleave", leave);
    window.addEventListener("drop", drop);
    return () => {
      window.removeEventListener("dragenter", enter);
      window.removeEventListener("dragover", over);
      window.removeEventListener("dragleave", leave);
      window.removeEventListener("drop", drop);
    };
  });

  // Up and down arrows move between the sections of the sidebar.
  const navKey = (e: KeyboardEvent, i: number) => {
    const step = e.key === "ArrowDown" ? 1 : e.key === "ArrowUp" ? -1 : 0;
    if (!step) return;
    e.preventDefault();
    const next = (i + step + SECTIONS.length) % SECTIONS.length;
    setSection(SECTIONS[next]);
    navRefs.current[next]?.focus();
  };

  const transferList = [...transfers.values()].sort((a, b) => a.id - b.id);
  const running = transferList.filter((t) => t.state === "running").length;

  return (
    <div class="app">
      <nav class="sidebar" aria-label="Sections">
        <div class="brand">{T.appName}</div>
        {SECTIONS.map((s, i) => (
          <button
            type="button"
            key={s}
            ref={(el) => {
              navRefs.current[i] = el;
            }}
            class="nav"
            id={`nav-${s}`}
            aria-current={section === s ? "page" : undefined}
            tabIndex={section === s ? 0 : -1}
            onClick={() => setSection(s)}
            onKeyDown={(e) => navKey(e, i)}
          >
            {T.sections[s]}
            {s === "transfers" && running > 0 ? <span class="badge">{running}</span> : null}
          </button>
        ))}
        <div class={`link link-${linkState}`}>{linkState === "open" ? "" : T.link[linkState]}</div>
      </nav>
      <main class="content">
        {section === "phone" ? <PhonePanel phone={phone} steps={steps} /> : null}
        {section === "transfers" ? (
          <TransfersPanel transfers={transferList} uploads={uploads} onCancel={() => link.send({ type: "cancel" })}>
            <div class="drop" id="drop-zone">
              <h2>{T.drop.title}</h2>
              <label>
                {T.drop.folder} <input id="phone-folder" value={folder} onInput={(e) => setFolder(e.currentTarget.value)} />
              </label>
              <button type="button" onClick={() => fileInput.current?.click()}>
                {T.drop.pick}
              </button>
              <span class="muted"> {T.drop.hint}</span>
              <input id="file-input" ref={fileInput} type="file" multiple hidden onChange={(e) => send(e.currentTarget.files)} />
            </div>
          </TransfersPanel>
        ) : null}
        {section === "notices" ? <NoticesPanel notices={notices} /> : null}
        {section === "messages" ? <MessagesView link={link} compose={compose} /> : null}
        {section === "contacts" ? (
          <ContactsView
            link={link}
            importer={importer}
            onMessage={(number) => {
              setCompose(number);
              setSection("messages");
            }}
          />
        ) : null}
        {section === "apps" ? <AppsView link={link} installer={installer} /> : null}
        {section === "music" || section === "photos" || section === "videos" ? (
          <MediaView key={section} link={link} kind={section} folder={pcFolder} setFolder={setPcFolder} />
        ) : null}
        {section === "files" ? (
          <FilesView
            link={link}
            root="/sdcard"
            folder={phoneFolder}
            setPhoneFolder={setPhoneFolder}
            pcFolder={pcFolder}
            setPcFolder={setPcFolder}
            sendFiles={(files, into) => send(files, into)}
          />
        ) : null}
        {section === "downloads" ? <DownloadsView link={link} downloads={downloads} /> : null}
        {section === "devices" ? <DevicesView link={link} devices={devices} phone={phone} steps={steps} /> : null}
        {section === "settings" ? <SettingsView link={link} /> : null}
      </main>
      {dragging ? (
        <div class="drop-overlay" aria-hidden="true">
          {section === "apps" ? T.drop.install : section === "contacts" ? T.drop.import : `${T.drop.here} ${section === "files" ? phoneFolder : folder}`}
        </div>
      ) : null}
      <Toasts toasts={toasts} onDismiss={(id) => setToasts((old) => old.filter((n) => n.id !== id))} />
    </div>
  );
}

render(<App />, document.getElementById("app")!);
