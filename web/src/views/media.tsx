// Music, photos and videos: what the phone's media lists hold, with a choice of items that
// are pulled into a folder of this computer; a song can become the ringtone.
import { useState } from "preact/hooks";
import { bytes, duration } from "../format";
import type { Link } from "../link";
import { useRows, VirtualList } from "../list";
import { T } from "../texts";
import { MediaThumb, Thumb } from "../thumbs";
import { ConfirmButton, dateText, Said, Toolbar, useAction, useChoice } from "../ui";

export type MediaKind = "music" | "photos" | "videos";

interface Media {
  id: number;
  name: string;
  path: string;
  size: number;
  singer?: string;
  album?: string;
  seconds?: number;
  ring?: boolean;
  date?: number;
}

// The folder on this computer pulls go to, with the desktop's folder dialog where there is one.
export function PullTarget(props: { link: Link; folder: string; setFolder: (f: string) => void; id: string }) {
  const act = useAction(props.link);
  return (
    <label class="pull-target">
      {T.media.into}{" "}
      <input id={props.id} value={props.folder} onInput={(e) => props.setFolder(e.currentTarget.value)} />
      <button
        type="button"
        onClick={async () => {
          const reply = await act.run("choose-folder", { folder: props.folder });
          if (reply.ok) props.setFolder(reply.text);
          act.setOutcome(null);
        }}
      >
        {T.media.chooseFolder}
      </button>
    </label>
  );
}

// Deleting the chosen files from the phone, asked first.
export function DeleteChosen(props: { count: number; busy: boolean; onYes: () => void }) {
  return (
    <ConfirmButton
      class="danger"
      label={T.media.deleteChosen(props.count)}
      question={T.media.deleteQuestion(props.count)}
      disabled={props.count === 0 || props.busy}
      onYes={props.onYes}
    />
  );
}

export function MediaView(props: { link: Link; kind: MediaKind; folder: string; setFolder: (f: string) => void }) {
  const { link, kind } = props;
  const [query, setQuery] = useState("");
  const { chosen, toggle, clear } = useChoice();
  const items = useRows<Media>(link, kind, [kind], { query: query.trim(), sort: kind === "music" ? "name" : "name" });
  const act = useAction(link);
  const texts = T.media[kind];

  const pull = async () => {
    const reply = await act.run("pull", { paths: [...chosen], folder: props.folder });
    if (reply.ok) clear();
  };

  const remove = async () => {
    const reply = await act.run("delete-files", { paths: [...chosen] });
    if (reply.ok) clear();
  };

  return (
    <div class="panel view" id={`${kind}-view`}>
      <div class="panel-head">
        <h1>{texts.title}</h1>
        <Toolbar label={texts.title}>
          <button type="button" onClick={() => items.refresh()}>
            {T.common.refresh}
          </button>
        </Toolbar>
      </div>
      <Toolbar label={T.media.pull}>
        <PullTarget link={link} folder={props.folder} setFolder={props.setFolder} id={`${kind}-folder`} />
        <button type="button" id={`${kind}-pull`} disabled={chosen.size === 0 || act.busy} onClick={pull}>
          {T.media.pullChosen(chosen.size)}
        </button>
        <DeleteChosen count={chosen.size} busy={act.busy} onYes={remove} />
      </Toolbar>
      <Said outcome={act.outcome} id={`${kind}-said`} />
      <input type="search" aria-label={texts.search} placeholder={texts.search} value={query} onInput={(e) => setQuery(e.currentTarget.value)} />
      <VirtualList
        id={kind}
        label={texts.title}
        view={items.view}
        want={items.want}
        rowHeight={52}
        empty={texts.none}
        render={(m) => (
          <div class="row" data-path={m.path}>
            <input type="checkbox" checked={chosen.has(m.path)} onChange={() => toggle(m.path)} aria-label={T.media.choose(m.name)} />
            {kind === "photos" ? (
              <Thumb link={link} path={m.path} size={m.size} date={m.date} fallback="▣" />
            ) : (
              <MediaThumb link={link} kind={kind} path={m.path} size={m.size} fallback={kind === "music" ? "♪" : "▶"} />
            )}
            <span class="row-main">
              <span class="row-title">
                {m.name}
                {m.ring ? <span class="badge">{T.media.ringtoneNow}</span> : null}
              </span>
              <span class="row-sub">
                {kind === "music" ? `${m.singer || "–"} · ${m.album || "–"} · ${duration(m.seconds ?? 0)} · ` : ""}
                {bytes(m.size)}
                {m.date ? ` · ${dateText(m.date * 1000)}` : ""} · {m.path}
              </span>
            </span>
            {kind === "music" ? (
              <button type="button" class="link-button" onClick={() => act.run("ringtone", { path: m.path })} aria-label={T.media.ringtoneFor(m.name)}>
                {T.media.ringtone}
              </button>
            ) : null}
          </div>
        )}
      />
    </div>
  );
}
