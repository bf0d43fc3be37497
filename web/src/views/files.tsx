// Files: the phone's shared storage as folders (from the agent's folder list and the
// paths of its file lists), with breadcrumbs, sorting, files sent into the folder shown
// and chosen files pulled to this computer.
import { useRef, useState } from "preact/hooks";
import { bytes } from "../format";
import type { Link } from "../link";
import { useRows, VirtualList } from "../list";
import { T } from "../texts";
import { Said, Toolbar, useAction, useChoice } from "../ui";
import { DeleteChosen, PullTarget } from "./media";

interface Entry {
  name: string;
  path: string;
  folder: boolean;
  size: number;
}

export const FILE_LISTS = ["folders", "documents", "music", "photos", "videos"];

export function FilesView(props: {
  link: Link;
  root: string;
  folder: string;
  setPhoneFolder: (f: string) => void;
  pcFolder: string;
  setPcFolder: (f: string) => void;
  sendFiles: (files: File[], phoneFolder: string) => void;
}) {
  const { link } = props;
  const [sort, setSort] = useState("name");
  const { chosen, toggle, clear } = useChoice();
  const entries = useRows<Entry>(link, "files", FILE_LISTS, { folder: props.folder, sort, desc: sort !== "name" });
  const act = useAction(link);
  const input = useRef<HTMLInputElement>(null);
  const [folderName, setFolderName] = useState("");

  const parts = props.folder.split("/").filter(Boolean);
  const crumbs = parts.map((p, i) => ({ name: p, path: "/" + parts.slice(0, i + 1).join("/") }));
  const go = (path: string) => {
    clear();
    props.setPhoneFolder(path);
  };

  return (
    <div class="panel view" id="files-view">
      <div class="panel-head">
        <h1>{T.files.title}</h1>
        <Toolbar label={T.files.title}>
          <button type="button" onClick={() => input.current?.click()}>
            {T.files.send}
          </button>
          <button type="button" onClick={() => entries.refresh()}>
            {T.common.refresh}
          </button>
        </Toolbar>
      </div>
      <input
        id="files-input"
        ref={input}
        type="file"
        multiple
        hidden
        onChange={(e) => props.sendFiles(Array.from(e.currentTarget.files ?? []), props.folder)}
      />
      <nav aria-label={T.files.path} class="crumbs">
        <ol>
          {crumbs.map((c, i) => (
            <li key={c.path}>
              {i === crumbs.length - 1 ? (
                <span aria-current="location">{c.name}</span>
              ) : (
                <button type="button" class="link-button" onClick={() => go(c.path)}>
                  {c.name}
                </button>
              )}
            </li>
          ))}
        </ol>
      </nav>
      <Toolbar label={T.media.pull}>
        <label>
          {T.files.sort}{" "}
          <select id="files-sort" value={sort} onChange={(e) => setSort(e.currentTarget.value)}>
            <option value="name">{T.files.byName}</option>
            <option value="size">{T.files.bySize}</option>
            <option value="date">{T.files.byDate}</option>
          </select>
        </label>
        <PullTarget link={link} folder={props.pcFolder} setFolder={props.setPcFolder} id="files-pc-folder" />
        <button
          type="button"
          id="files-pull"
          disabled={chosen.size === 0 || act.busy}
          onClick={async () => {
            const reply = await act.run("pull", { paths: [...chosen], folder: props.pcFolder });
            if (reply.ok) clear();
          }}
        >
          {T.media.pullChosen(chosen.size)}
        </button>
        <DeleteChosen
          count={chosen.size}
          busy={act.busy}
          onYes={async () => {
            const reply = await act.run("delete-files", { paths: [...chosen] });
            if (reply.ok) clear();
          }}
        />
      </Toolbar>
      <form
        class="toolbar"
        aria-label={T.files.newFolder}
        onSubmit={async (e) => {
          e.preventDefault();
          const reply = await act.run("folder-make", { folder: props.folder, name: folderName.trim() });
          if (reply.ok) setFolderName("");
        }}
      >
        <label>
          {T.files.newFolder}{" "}
          <input id="files-new-folder" value={folderName} onInput={(e) => setFolderName(e.currentTarget.value)} />
        </label>
        <button type="submit" id="files-make-folder" disabled={folderName.trim() === "" || act.busy}>
          {T.files.make}
        </button>
      </form>
      <Said outcome={act.outcome} id="files-said" />
      <p class="muted">{T.files.dropHint(props.folder)}</p>
      <VirtualList
        id="files"
        label={T.files.title}
        view={entries.view}
        want={entries.want}
        rowHeight={44}
        empty={T.files.empty}
        render={(e) =>
          e.folder ? (
            <button type="button" class="row-button row" data-entry={e.path} onClick={() => go(e.path)}>
              <span class="avatar" aria-hidden="true">▸</span>
              <span class="row-title">{e.name}/</span>
            </button>
          ) : (
            <div class="row" data-entry={e.path}>
              <input type="checkbox" checked={chosen.has(e.path)} onChange={() => toggle(e.path)} aria-label={T.media.choose(e.name)} />
              <span class="row-main">
                <span class="row-title">{e.name}</span>
              </span>
              <span class="muted">{bytes(e.size)}</span>
            </div>
          )
        }
      />
    </div>
  );
}
