// Contacts: the address book with a search and an index of initials (pinyin initials for
// Chinese names), a form to add one, deletion with a few seconds to undo it, export and
// backups.
import { useEffect, useRef, useState } from "preact/hooks";
import type { Link } from "../link";
import { useRows, VirtualList } from "../list";
import { T } from "../texts";
import { exportCsv, Said, Toolbar, useAction, useUploadAction } from "../ui";

interface Contact {
  id: string;
  name: string;
  number: string;
  initial: string;
}

const LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ#".split("");
export const UNDO_MS = 5000;

// Adds the contacts of CSV files dropped on the view: each is sent, then read and added.
export function useImporter(link: Link, uploadUrl: () => string) {
  return useUploadAction(link, uploadUrl, "contact-import", T.contacts.importing);
}

export function ContactsView(props: { link: Link; onMessage: (number: string) => void; importer: ReturnType<typeof useImporter> }) {
  const { link } = props;
  const [editing, setEditing] = useState<Contact | null>(null);
  const [query, setQuery] = useState("");
  const [letter, setLetter] = useState("");
  const [name, setName] = useState("");
  const [number, setNumber] = useState("");
  const [pending, setPending] = useState<Contact | null>(null);
  const timer = useRef<number | undefined>(undefined);
  const contacts = useRows<Contact>(link, "contacts", ["contacts"], { query: query.trim(), initial: letter, sort: "name" });
  const act = useAction(link);

  // A deletion waits UNDO_MS before it is sent; leaving the view sends it at once.
  const commit = (c: Contact) => {
    timer.current = undefined;
    setPending(null);
    act.run("contact-delete", { id: c.id });
  };
  const remove = (c: Contact) => {
    if (pending) {
      clearTimeout(timer.current);
      commit(pending);
    }
    setPending(c);
    timer.current = window.setTimeout(() => commit(c), UNDO_MS);
  };
  const undo = () => {
    clearTimeout(timer.current);
    timer.current = undefined;
    setPending(null);
    act.setOutcome({ ok: true, text: T.contacts.kept });
  };
  const pendingRef = useRef(pending);
  pendingRef.current = pending;
  useEffect(
    () => () => {
      if (timer.current !== undefined && pendingRef.current) {
        clearTimeout(timer.current);
        link.send({ type: "do", action: "contact-delete", id: pendingRef.current.id });
      }
    },
    [],
  );

  // The form adds a contact, or changes the one being edited.
  const add = async (e: Event) => {
    e.preventDefault();
    const reply = editing ? await act.run("contact-edit", { id: editing.id, name, number }) : await act.run("contact-add", { name, number });
    if (reply.ok) {
      setName("");
      setNumber("");
      setEditing(null);
    }
  };
  const edit = (c: Contact) => {
    setEditing(c);
    setName(c.name);
    setNumber(c.number);
  };

  return (
    <div class="panel view" id="contacts-view">
      <div class="panel-head">
        <h1>{T.contacts.title}</h1>
        <Toolbar label={T.contacts.title}>
          <button type="button" onClick={() => exportCsv(act, "contacts")} disabled={act.busy}>
            {T.contacts.export}
          </button>
          <button type="button" id="backup-now" onClick={() => act.run("backup", {})} disabled={act.busy}>
            {T.contacts.backup}
          </button>
          <button type="button" onClick={() => contacts.refresh()}>
            {T.common.refresh}
          </button>
        </Toolbar>
      </div>
      <form class="inline-form" id="contact-form" onSubmit={add} aria-label={editing ? T.contacts.editOne(editing.name) : T.contacts.add}>
        <label>
          {T.contacts.name} <input id="contact-name" value={name} onInput={(e) => setName(e.currentTarget.value)} />
        </label>
        <label>
          {T.contacts.number} <input id="contact-number" value={number} inputMode="tel" onInput={(e) => setNumber(e.currentTarget.value)} />
        </label>
        <button type="submit" disabled={act.busy}>
          {editing ? T.contacts.save : T.contacts.add}
        </button>
        {editing ? (
          <button
            type="button"
            onClick={() => {
              setEditing(null);
              setName("");
              setNumber("");
            }}
          >
            {T.contacts.cancelEdit}
          </button>
        ) : null}
      </form>
      <Said outcome={act.outcome} id="contacts-said" />
      <Said outcome={props.importer.act.outcome} id="import-said" />
      <p class="muted">{T.contacts.importHint}</p>
      {pending ? (
        <p class="undo" role="status">
          {T.contacts.deleting(pending.name)}{" "}
          <button type="button" id="undo" onClick={undo}>
            {T.contacts.undo}
          </button>
        </p>
      ) : null}
      <input
        type="search"
        id="contacts-search"
        aria-label={T.contacts.search}
        placeholder={T.contacts.search}
        value={query}
        onInput={(e) => setQuery(e.currentTarget.value)}
      />
      <div class="split">
        <nav class="letters" aria-label={T.contacts.index}>
          <button type="button" aria-pressed={letter === ""} onClick={() => setLetter("")}>
            {T.contacts.all}
          </button>
          {LETTERS.map((l) => (
            <button type="button" key={l} data-letter={l} aria-pressed={letter === l} onClick={() => setLetter(letter === l ? "" : l)}>
              {l}
            </button>
          ))}
        </nav>
        <div class="split-main">
          <VirtualList
            id="contacts"
            label={T.contacts.title}
            view={contacts.view}
            want={contacts.want}
            rowHeight={52}
            render={(c) =>
              pending?.id === c.id ? (
                <span class="muted">{T.contacts.deleting(c.name)}</span>
              ) : (
                <div class="row" data-contact={c.id}>
                  <span class="avatar" aria-hidden="true">{c.initial}</span>
                  <span class="row-main">
                    <span class="row-title">{c.name}</span>
                    <span class="row-sub">{c.number}</span>
                  </span>
                  <button type="button" class="link-button" onClick={() => props.onMessage(c.number)} aria-label={T.contacts.messageTo(c.name)}>
                    {T.contacts.message}
                  </button>
                  <button type="button" class="link-button" data-edit={c.id} onClick={() => edit(c)} aria-label={T.contacts.editOne(c.name)}>
                    {T.contacts.edit}
                  </button>
                  <button type="button" class="link-button" data-delete={c.id} onClick={() => remove(c)} aria-label={T.contacts.deleteOne(c.name)}>
                    {T.common.delete}
                  </button>
                </div>
              )
            }
          />
        </div>
      </div>
    </div>
  );
}
