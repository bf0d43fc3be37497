// Messages: the conversations (newest first), one conversation as bubbles, a search over
// every message, and a form to write one. The phone's agent may only open its messaging
// app with the text; the answer says so.
import { useEffect, useState } from "preact/hooks";
import type { Link } from "../link";
import { useRows, VirtualList } from "../list";
import { list, type Rows } from "../protocol";
import { T } from "../texts";
import { ConfirmButton, dateText, exportCsv, Said, Toolbar, useAction } from "../ui";

interface Thread {
  thread: number;
  number: string;
  name?: string;
  text: string;
  date: number;
  count: number;
  unread: number;
  sent: boolean;
}

interface Sms {
  id: number;
  thread: number;
  number: string;
  date: number;
  sent: boolean;
  read: boolean;
  text: string;
}

interface Contact {
  id: string;
  name: string;
  number: string;
}

// The contacts whose name or number holds what was typed in the "To" field (a few, for the
// field's suggestions).
function useContactPicks(link: Link, typed: string): Contact[] {
  const [picks, setPicks] = useState<Contact[]>([]);
  const query = typed.trim();
  useEffect(() => {
    if (query === "") return setPicks([]);
    link.send({ type: "list", list: "contacts" });
    let current = true;
    const timer = window.setTimeout(() => {
      link.ask<Rows<Contact>>({ type: "rows", list: "contacts", offset: 0, count: 8, query }).then((r) => {
        if (current && r.type === "rows") setPicks(list<Contact>(r.rows));
      });
    }, 150);
    return () => {
      current = false;
      clearTimeout(timer);
    };
  }, [query]);
  return picks;
}

export function MessagesView(props: { link: Link; compose?: string }) {
  const { link } = props;
  const [query, setQuery] = useState("");
  const [open, setOpen] = useState<Thread | null>(null);
  const [number, setNumber] = useState(props.compose ?? "");
  const [body, setBody] = useState("");
  const threads = useRows<Thread>(link, "threads", ["sms", "contacts"], {});
  const searching = query.trim() !== "";
  const found = useRows<Sms>(link, searching ? "sms" : "", ["sms"], { query: query.trim(), sort: "date", desc: true });
  const thread = useRows<Sms>(link, open ? "sms" : "", ["sms"], { thread: open?.thread ?? -1, sort: "date" });
  const act = useAction(link);
  const picks = useContactPicks(link, number);

  const choose = (t: Thread) => {
    setOpen(t);
    setNumber(t.number);
  };
  const sendSms = async (e: Event) => {
    e.preventDefault();
    const reply = await act.run("sms-send", { number, text: body });
    if (reply.ok) setBody("");
  };

  return (
    <div class="panel view" id="messages-view">
      <div class="panel-head">
        <h1>{T.messages.title}</h1>
        <Toolbar label={T.messages.title}>
          <button type="button" onClick={() => exportCsv(act, "sms")} disabled={act.busy}>
            {T.messages.export}
          </button>
          <button type="button" onClick={() => threads.refresh()}>
            {T.common.refresh}
          </button>
        </Toolbar>
      </div>
      <Said outcome={act.outcome} id="messages-said" />
      <div class="split">
        <div class="split-side">
          <input
            type="search"
            id="messages-search"
            aria-label={T.messages.search}
            placeholder={T.messages.search}
            value={query}
            onInput={(e) => setQuery(e.currentTarget.value)}
          />
          {searching ? (
            <VirtualList
              id="messages-found"
              label={T.messages.found}
              view={found.view}
              want={found.want}
              rowHeight={60}
              empty={T.messages.noneFound}
              render={(m) => (
                <button type="button" class="row-button found" data-sms={m.id} onClick={() => choose({ thread: m.thread, number: m.number, text: m.text, date: m.date, count: 0, unread: 0, sent: m.sent })}>
                  <span class="row-title">{m.number}</span>
                  <span class="row-sub">{m.text}</span>
                </button>
              )}
            />
          ) : (
            <VirtualList
              id="threads"
              label={T.messages.threads}
              view={threads.view}
              want={threads.want}
              rowHeight={60}
              empty={T.messages.none}
              render={(t) => (
                <button
                  type="button"
                  class={`row-button thread ${open?.thread === t.thread ? "chosen" : ""}`}
                  aria-pressed={open?.thread === t.thread}
                  data-thread={t.thread}
                  onClick={() => choose(t)}
                >
                  <span class="row-title">
                    {t.name ?? t.number}
                    {t.unread > 0 ? <span class="badge" aria-label={T.messages.unread(t.unread)}>{t.unread}</span> : null}
                  </span>
                  <span class="row-sub">{t.text}</span>
                  <span class="row-date muted">{dateText(t.date)}</span>
                </button>
              )}
            />
          )}
        </div>
        <div class="split-main">
          {open ? (
            <>
              <Toolbar label={T.messages.thread}>
                <h2 class="grow" id="thread-title">{open.name ?? open.number}</h2>
                <button type="button" id="mark-read" onClick={() => act.run("thread-read", { thread: open.thread })}>
                  {T.messages.markRead}
                </button>
              </Toolbar>
              <VirtualList
                id="bubbles"
                label={T.messages.thread}
                view={thread.view}
                want={thread.want}
                rowHeight={76}
                render={(m) => (
                  <div class={`bubble ${m.sent ? "bubble-sent" : "bubble-received"} ${m.read || m.sent ? "" : "unread"}`} data-sms={m.id}>
                    <p class="bubble-text" title={m.text}>{m.text}</p>
                    <span class="bubble-foot muted">
                      {dateText(m.date)}
                      <ConfirmButton class="link-button" label={T.common.delete} question={T.messages.deleteOne} onYes={() => act.run("sms-delete", { id: m.id })} />
                    </span>
                  </div>
                )}
              />
            </>
          ) : (
            <p class="muted">{T.messages.choose}</p>
          )}
          <form class="compose" onSubmit={sendSms} aria-label={T.messages.compose}>
            <label>
              {T.messages.to}{" "}
              <input id="compose-number" value={number} onInput={(e) => setNumber(e.currentTarget.value)} inputMode="tel" list="compose-contacts" autoComplete="off" />
            </label>
            <datalist id="compose-contacts">
              {picks.map((c) => (
                <option key={c.id} value={c.number}>
                  {c.name}
                </option>
              ))}
            </datalist>
            <label class="grow">
              {T.messages.text}{" "}
              <textarea id="compose-text" rows={2} value={body} onInput={(e) => setBody(e.currentTarget.value)} />
            </label>
            <button type="submit" disabled={act.busy}>
              {T.messages.send}
            </button>
          </form>
        </div>
      </div>
    </div>
  );
}
