// Photo thumbnails: asked of the program only for the rows on screen, at most RUNNING at a
// time, and kept by path, size and date for as long as the page lives.
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

export function Thumb(props: { link: Link; path: string; size: number; date?: number; fallback: string }) {
  const key = `${props.path}\u0000${props.size}\u0000${props.date ?? 0}`;
  const [url, setUrl] = useState(known.get(key));
  useEffect(() => {
    if (known.has(key)) return setUrl(known.get(key));
    const job = {
      key,
      gone: false,
      ask: async () => {
        const reply = await props.link.ask<Done>({ type: "do", action: "thumb", path: props.path, size: props.size, date: props.date ?? 0 });
        // A lost connection is not remembered as a photo without a thumbnail.
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
  if (!url) return <span class="avatar media-photos" aria-hidden="true">{props.fallback}</span>;
  return <img class="thumb" src={url} alt="" width={40} height={40} data-thumb={props.path} />;
}
