// Downloads: files fetched over HTTP by the program, kept across runs; those the last run
// left unfinished are listed with the others and resume from where they stopped.
import { useState } from "preact/hooks";
import { bytes, percent } from "../format";
import type { Link } from "../link";
import type { Download } from "../protocol";
import { T } from "../texts";
import { ConfirmButton, Said, useAction } from "../ui";

export function DownloadsView(props: { link: Link; downloads: Download[] }) {
  const { link } = props;
  const [url, setUrl] = useState("");
  const [file, setFile] = useState("");
  const act = useAction(link);

  const add = async (e: Event) => {
    e.preventDefault();
    const reply = await act.run("download", { url: url.trim(), file: file.trim() });
    if (reply.ok) {
      setUrl("");
      setFile("");
    }
  };

  return (
    <div class="panel view" id="downloads-view">
      <h1>{T.downloads.title}</h1>
      <form class="inline-form" onSubmit={add} aria-label={T.downloads.add}>
        <label class="grow">
          {T.downloads.url} <input id="download-url" type="url" value={url} onInput={(e) => setUrl(e.currentTarget.value)} />
        </label>
        <label>
          {T.downloads.file} <input id="download-file" value={file} placeholder={T.downloads.fileHint} onInput={(e) => setFile(e.currentTarget.value)} />
        </label>
        <button type="submit" disabled={act.busy || url.trim() === ""}>
          {T.downloads.add}
        </button>
      </form>
      <Said outcome={act.outcome} id="downloads-said" />
      {props.downloads.length === 0 ? <p class="muted">{T.downloads.none}</p> : null}
      <ul class="transfers" id="downloads">
        {props.downloads.map((d) => {
          const running = d.state === "downloading" || d.state === "waiting";
          return (
            <li key={d.id} class="transfer" data-download={d.id} data-state={d.state}>
              <div class="transfer-head">
                <span class="transfer-label">
                  {d.id} · {d.name}
                </span>
                <span class="muted">
                  {T.downloads.state(d.state, d.last_run)} · {d.size > 0 ? `${percent(d.done, d.size) ?? 0}% of ${bytes(d.size)}` : bytes(d.done)}
                  {d.state === "downloading" && d.rate > 0 ? ` · ${bytes(d.rate)}/s` : ""}
                </span>
              </div>
              <progress class="bar" value={d.size > 0 ? d.done : undefined} max={d.size > 0 ? d.size : undefined} aria-label={d.name} />
              <div class="row-actions">
                <span class="muted grow">{d.path}</span>
                <button type="button" class="link-button" onClick={() => act.run("open-folder", { id: d.id })} aria-label={T.downloads.openFolderOf(d.name)}>
                  {T.downloads.openFolder}
                </button>
                {running && !d.last_run ? (
                  <button type="button" onClick={() => act.run("stop", { id: d.id })}>
                    {T.downloads.stop}
                  </button>
                ) : null}
                {!running || d.last_run ? (
                  d.state !== "done" ? (
                    <button type="button" onClick={() => act.run("resume", { id: d.id })}>
                      {T.downloads.resume}
                    </button>
                  ) : null
                ) : null}
                <ConfirmButton label={T.downloads.cancel} question={T.downloads.cancelOne(d.name)} onYes={() => act.run("cancel", { id: d.id })} />
              </div>
            </li>
          );
        })}
      </ul>
    </div>
  );
}
