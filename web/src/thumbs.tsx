// Pictures asked of the program (photo thumbnails, app icons): only for the rows on screen,
// at most RUNNING at a time, and kept by what they show for as long as the page lives. A
// row without one shows its fallback, as does one whose picture the browser cannot draw.
import { useEffect, useState } from "preact/hooks";
import type { Link } from "./link";
import type { Done } from "./protocol";

const RUNNING = 4;
const known = new Map<string, string | null>(); // key -> url, or null when none can be made
const waiting: { key: string; ask: () => Promise<void>; gone: boolean }[] = [];
let running = 0;

function pump() {
  while (running < RUNNING && waiting.length > 0) {
    const job = waiting.shift()!;
    if (job.gone) continue;
    running++;
    job.ask().finally(() => {
      running--;
      pump();
    });
  }
}

// The picture's url once known: undefined while asked, null when there is none.
function usePicture(link: Link, key: string, action: { action: string; [field: string]: unknown }) {
  const [url, setUrl] = useState(known.get(key));
  useEffect(() => {
    if (known.has(key)) return setUrl(known.get(key));
    const job = {
      key,
      gone: false,
      ask: async () => {
        const reply = await link.ask<Done>({ type: "do", ...action });
        // A lost connection is not remembered as a thing without a picture.
        if (reply.req !== 0) known.set(key, reply.ok && reply.url ? reply.url : null);
        if (!job.gone) setUrl(known.get(key));
      },
    };
    waiting.push(job);
    pump();
    return () => {
      job.gone = true;
    };
  }, [key]);
  const broken = () => {
    known.set(key, null);
    setUrl(null);
  };
  return { url, broken };
}

export function Thumb(props: { link: Link; path: string; size: number; date?: number; fallback: string }) {
  const key = `thumb\u0000${props.path}\u0000${props.size}\u0000${props.date ?? 0}`;
  const { url, broken } = usePicture(props.link, key, { action: "thumb", path: props.path, size: props.size, date: props.date ?? 0 });
  if (!url) return <span class="avatar media-photos" aria-hidden="true">{props.fallback}</span>;
  return <img class="thumb" src={url} alt="" width={40} height={40} data-thumb={props.path} onError={broken} />;
}

export function AppIcon(props: { link: Link; package: string; version: string; fallback: string }) {
  const key = `icon\u0000${props.package}\u0000${props.version}`;
  const { url, broken } = usePicture(props.link, key, { action: "icon", package: props.package, version: props.version });
  if (!url) return <span class="avatar app-icon" aria-hidden="true">{props.fallback}</span>;
  return <img class="thumb app-icon" src={url} alt="" width={40} height={40} data-icon={props.package} onError={broken} />;
}

// A video's thumbnail as the phone keeps it, or a song's cover; a sign where there is none.
export function MediaThumb(props: { link: Link; kind: "videos" | "music"; path: string; size: number; fallback: string }) {
  const action = props.kind === "videos" ? "video-thumb" : "cover";
  const key = `${action}\u0000${props.path}\u0000${props.size}`;
  const { url, broken } = usePicture(props.link, key, { action, path: props.path, size: props.size });
  if (!url) return <span class={`avatar media-${props.kind}`} aria-hidden="true">{props.fallback}</span>;
  return <img class="thumb" src={url} alt="" width={40} height={40} data-media-thumb={props.path} onError={broken} />;
}
