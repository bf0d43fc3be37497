// A list of the phone's data drawn a screenful at a time: the program holds the rows, the
// page asks for the pages it shows (PAGE rows each) and draws only the rows in view, so a
// list of 100,000 messages costs the page a few dozen elements.
import type { ComponentChildren } from "preact";
import { useEffect, useLayoutEffect, useRef, useState } from "preact/hooks";
import type { Link } from "./link";
import { list as listOf, type ListNote, type Rows, type RowsQuery } from "./protocol";
import { T } from "./texts";

const PAGE = 100;
const OVERSCAN = 8;

// What a list view asks of its list besides the page: search, thread, initial, folder, order.
export type ListParams = Omit<RowsQuery, "list" | "offset" | "count">;

export interface ListView<R> {
  total: number;
  state: Rows["state"];
  text?: string;
  row: (i: number) => R | undefined;
}

// Asks the program to read `lists` and keeps the pages of `list` that are wanted, asking
// again whenever one of `lists` changes. want(first, last) says which rows are on screen.
// An empty `list` asks for nothing (a view not shown yet).
export function useRows<R>(link: Link, list: string, lists: string[], params: ListParams) {
  const [, redraw] = useState(0);
  const cache = useRef(new Map<number, R>());
  const asked = useRef(new Set<number>());
  const meta = useRef<{ total: number; state: Rows["state"]; text?: string; version: string }>({ total: 0, state: "none", version: "" });
  const range = useRef<[number, number]>([0, 40]);
  const key = JSON.stringify([list, params]);
  const generation = useRef(0);

  const fetchPage = (page: number) => {
    if (!list || asked.current.has(page)) return;
    asked.current.add(page);
    const gen = generation.current;
    const q: RowsQuery = { list, offset: page * PAGE, count: PAGE, ...params };
    link.ask<Rows<R>>({ type: "rows", ...q }).then((reply) => {
      if (gen !== generation.current) return;
      if (reply.type !== "rows") {
        asked.current.delete(page);
        return;
      }
      listOf<R>(reply.rows).forEach((r, i) => cache.current.set(reply.offset + i, r));
      meta.current = { total: reply.total, state: reply.state, text: reply.text, version: meta.current.version };
      redraw((n) => n + 1);
    });
  };
  const want = (first: number, last: number) => {
    range.current = [first, last];
    for (let p = Math.floor(first / PAGE); p <= Math.floor(Math.max(first, last) / PAGE); p++) fetchPage(p);
  };
  const reset = () => {
    generation.current++;
    cache.current = new Map();
    asked.current = new Set();
    want(...range.current);
  };

  useEffect(() => {
    meta.current = { total: 0, state: "none", version: "" };
    reset();
    redraw((n) => n + 1);
  }, [key]);
  useEffect(() => {
    if (!list) return;
    for (const l of lists) link.send({ type: "list", list: l });
    // A list that changed is asked for again; the rows drawn stay until the new ones come.
    let timer: number | undefined;
    const off = link.subscribe((m) => {
      if (m.type !== "list" || !lists.includes((m as ListNote).list)) return;
      // A list the program forgot (another phone) is read again.
      if ((m as ListNote).state === "none") link.send({ type: "list", list: (m as ListNote).list });
      if (timer !== undefined) return;
      timer = window.setTimeout(() => {
        timer = undefined;
        generation.current++;
        asked.current = new Set();
        const [first, last] = range.current;
        for (let p = Math.floor(first / PAGE); p <= Math.floor(last / PAGE); p++) fetchPage(p);
      }, 50);
    });
    return () => {
      off();
      if (timer !== undefined) clearTimeout(timer);
    };
  }, [link, key]);

  const view: ListView<R> = {
    total: meta.current.total,
    state: meta.current.state,
    text: meta.current.text,
    row: (i) => cache.current.get(i),
  };
  const refresh = () => {
    for (const l of lists) link.send({ type: "list", list: l, refresh: true });
  };
  return { view, want, refresh };
}

// The scrolling box: rows of a fixed height, only those in view (and a few around) drawn.
export function VirtualList<R>(props: {
  view: ListView<R>;
  want: (first: number, last: number) => void;
  rowHeight: number;
  label: string;
  id: string;
  render: (row: R, index: number) => ComponentChildren;
  empty?: string;
}) {
  const box = useRef<HTMLDivElement>(null);
  const [top, setTop] = useState(0);
  const [height, setHeight] = useState(400);
  const { view, rowHeight } = props;

  useLayoutEffect(() => {
    const el = box.current;
    if (!el) return;
    const ro = new ResizeObserver(() => setHeight(el.clientHeight || 400));
    ro.observe(el);
    return () => ro.disconnect();
  }, []);
  const first = Math.max(0, Math.floor(top / rowHeight) - OVERSCAN);
  const last = Math.min(view.total, Math.ceil((top + height) / rowHeight) + OVERSCAN);
  useEffect(() => props.want(first, Math.max(first, last - 1)), [first, last, view.total]);

  const rows: ComponentChildren[] = [];
  for (let i = first; i < last; i++) {
    const r = view.row(i);
    rows.push(
      <div role="listitem" class="vrow" data-row={i} key={i} style={{ top: i * rowHeight, height: rowHeight }}>
        {r ? props.render(r, i) : <span class="muted">…</span>}
      </div>,
    );
  }
  const status =
    view.state === "failed"
      ? view.text || T.lists.failed
      : view.state === "loading"
        ? T.lists.loading(view.total)
        : view.total === 0 && view.state === "ready"
          ? props.empty ?? T.lists.empty
          : "";
  return (
    <div class="vlist-wrap">
      {status ? (
        <p class={`list-status ${view.state === "failed" ? "error" : "muted"}`} role="status" data-list-state={view.state}>
          {status}
        </p>
      ) : null}
      <div
        class="vlist"
        id={props.id}
        ref={box}
        role={rows.length > 0 ? "list" : undefined}
        aria-label={rows.length > 0 ? props.label : undefined}
        tabIndex={0}
        data-total={view.total}
        data-state={view.state}
        onScroll={(e) => setTop(e.currentTarget.scrollTop)}
      >
        <div class="vspace" role="presentation" style={{ height: view.total * rowHeight }}>
          {rows}
        </div>
      </div>
    </div>
  );
}
