// Small pieces every view uses: an action's answer shown where it was asked, a button that
// asks before it does harm, and the sending of files the page holds to the program.
import type { ComponentChildren } from "preact";
import { useState } from "preact/hooks";
import type { Link } from "./link";
import type { Done } from "./protocol";
import { T } from "./texts";

export interface Outcome {
  ok: boolean;
  text: string;
}

// run(action, fields) asks the program; the answer (the console's sentence) is kept to be
// shown beside the control that asked. busy while the question is open.
export function useAction(link: Link) {
  const [outcome, setOutcome] = useState<Outcome | null>(null);
  const [busy, setBusy] = useState(false);
  const run = async (action: string, fields: Record<string, unknown> = {}): Promise<Done> => {
    setBusy(true);
    const reply = await link.ask<Done>({ type: "do", action, ...fields });
    setBusy(false);
    setOutcome({ ok: reply.ok, text: reply.text });
    return reply;
  };
  return { run, outcome, busy, setOutcome };
}

// Files the page holds, each sent to the program's upload URL and then handed to action
// ({ upload: id }); refuse(file) names a file that must not be sent, with the reason.
export function useUploadAction(
  link: Link,
  uploadUrl: () => string,
  action: string,
  sending: (name: string) => string,
  refuse: (file: File) => string | undefined = () => undefined,
) {
  const act = useAction(link);
  const send = async (files: File[]) => {
    for (const file of files) {
      const why = refuse(file);
      if (why) {
        act.setOutcome({ ok: false, text: why });
        continue;
      }
      act.setOutcome({ ok: true, text: sending(file.name) });
      try {
        const id = await upload(uploadUrl(), file, () => {});
        await act.run(action, { upload: id });
      } catch (e) {
        act.setOutcome({ ok: false, text: `${file.name}: ${(e as Error).message}` });
      }
    }
  };
  return { send, act };
}

// A set of chosen keys (paths) with a toggle, for lists with check boxes.
export function useChoice() {
  const [chosen, setChosen] = useState<Set<string>>(new Set());
  const toggle = (key: string) =>
    setChosen((old) => {
      const next = new Set(old);
      if (next.has(key)) next.delete(key);
      else next.add(key);
      return next;
    });
  return { chosen, toggle, clear: () => setChosen(new Set()) };
}

// Asks the program to write the phone's SMS or contacts as CSV and saves what it offers.
export async function exportCsv(act: ReturnType<typeof useAction>, what: "sms" | "contacts") {
  const reply = await act.run("export", { what });
  if (reply.ok && reply.url) save(reply.url, `${what}.csv`);
}

export function Said(props: { outcome: Outcome | null; id?: string }) {
  if (!props.outcome) return null;
  return (
    <p class={`said ${props.outcome.ok ? "said-ok" : "said-failed"}`} role="status" id={props.id} data-ok={String(props.outcome.ok)}>
      {props.outcome.text}
    </p>
  );
}

// A button that asks "Sure?" in place before it acts: Yes acts, No (or Escape) does not.
export function ConfirmButton(props: { label: string; question: string; onYes: () => void; disabled?: boolean; class?: string }) {
  const [asking, setAsking] = useState(false);
  if (!asking)
    return (
      <button type="button" class={props.class} disabled={props.disabled} onClick={() => setAsking(true)}>
        {props.label}
      </button>
    );
  return (
    <span class="confirm" role="group" aria-label={props.question} onKeyDown={(e) => e.key === "Escape" && setAsking(false)}>
      <span class="confirm-question">{props.question}</span>
      <button
        type="button"
        class="danger"
        ref={(el) => el?.focus()}
        onClick={() => {
          setAsking(false);
          props.onYes();
        }}
      >
        {T.common.yes}
      </button>
      <button type="button" onClick={() => setAsking(false)}>
        {T.common.no}
      </button>
    </span>
  );
}

export function Toolbar(props: { children: ComponentChildren; label: string }) {
  return (
    <div class="toolbar" role="toolbar" aria-label={props.label}>
      {props.children}
    </div>
  );
}

// Sends one file the page holds to the program's upload URL (streamed into its temp
// folder); resolves with the upload's id, which an action then names.
export function upload(url: string, file: File, onProgress: (sent: number) => void): Promise<number> {
  return new Promise((resolve, reject) => {
    const xhr = new XMLHttpRequest();
    xhr.open("PUT", `${url}?name=${encodeURIComponent(file.name)}`);
    xhr.upload.onprogress = (e) => onProgress(e.loaded);
    xhr.onload = () => {
      if (xhr.status !== 201) return reject(new Error(xhr.responseText.trim() || `HTTP ${xhr.status}`));
      try {
        resolve(Number(JSON.parse(xhr.responseText).upload));
      } catch {
        reject(new Error("bad reply"));
      }
    };
    xhr.onerror = () => reject(new Error(T.link.lost));
    xhr.send(file);
  });
}

// Starts the browser's download of a file the program offered.
export function save(url: string, name: string) {
  const a = document.createElement("a");
  a.href = url;
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
}

export function dateText(ms: number): string {
  if (!(ms > 0)) return "";
  return new Date(ms).toLocaleString();
}
