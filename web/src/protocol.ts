// The messages between the page and the program (one JSON object per WebSocket message,
// "v" the format's version, "type" what it is). README's "Web window messages" lists them.
export const VERSION = 1;

export interface Phone {
  connected: boolean;
  model?: string;
  android?: string;
  battery?: number;
  signal?: number;
  sms?: number;
  contacts?: number;
  apps?: number;
  free?: number;
  total?: number;
  card_free?: number;
  card_total?: number;
}

export interface Step {
  name: string;
  state: "running" | "done" | "failed";
  text?: string;
}

export interface Transfer {
  id: number;
  kind: string;
  label: string;
  total: number;
  done: number;
  rate: number;
  state: "running" | "done" | "ended";
  line?: string;
}

export interface Notice {
  id: number;
  kind: number;
  text: string;
  time: number;
}

// A list of the phone's data as the program holds it (rows come a page at a time).
export interface ListNote {
  type: "list";
  list: string;
  state: "loading" | "ready" | "failed" | "none";
  total: number;
  version: number;
  text?: string;
}

export interface Rows<R = unknown> {
  type: "rows";
  req: number;
  list: string;
  offset: number;
  total: number;
  state: "loading" | "ready" | "failed" | "none";
  version: number;
  rows: R[];
  text?: string;
}

export interface Done {
  type: "done";
  req: number;
  ok: boolean;
  text: string;
  url?: string;
}

export interface Download {
  id: number;
  name: string;
  path: string;
  url: string;
  state: string;
  percent: number;
  done: number;
  size: number;
  rate: number;
  last_run: boolean;
}

export interface Device {
  serial: string;
  brand: string;
  model: string;
}

export type ServerMessage =
  | ListNote
  | Rows
  | Done
  | { type: "downloads"; downloads: Download[] }
  | { type: "devices"; devices: Device[] }
  | {
      type: "hello";
      client: number;
      upload: string;
      phone: Phone;
      steps: Step[];
      transfers: Transfer[];
      notices: Notice[];
      folder?: string;
      devices?: Device[];
      downloads?: Download[];
    }
  | { type: "phone"; phone: Phone }
  | { type: "steps"; steps: Step[] }
  | { type: "transfer"; transfer: Transfer }
  | { type: "notice"; notice: Notice }
  | { type: "error"; text: string };

export interface RowsQuery {
  list: string;
  offset: number;
  count: number;
  query?: string;
  thread?: number;
  initial?: string;
  folder?: string;
  sort?: string;
  desc?: boolean;
}

export type PageMessage =
  | { type: "hello" }
  | { type: "list"; list: string; refresh?: boolean }
  | ({ type: "rows"; req?: number } & RowsQuery)
  | { type: "do"; action: string; req?: number; [field: string]: unknown }
  | { type: "downloads" }
  | { type: "devices" }
  | { type: "push"; upload: number; folder: string }
  | { type: "cancel" };

// Lua sends an empty table as []; lists may arrive as {} the other way round.
export function list<T>(value: unknown): T[] {
  return Array.isArray(value) ? (value as T[]) : [];
}
