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

export type ServerMessage =
  | { type: "hello"; client: number; upload: string; phone: Phone; steps: Step[]; transfers: Transfer[]; notices: Notice[] }
  | { type: "phone"; phone: Phone }
  | { type: "steps"; steps: Step[] }
  | { type: "transfer"; transfer: Transfer }
  | { type: "notice"; notice: Notice }
  | { type: "error"; text: string };

export type PageMessage =
  | { type: "hello" }
  | { type: "push"; upload: number; folder: string }
  | { type: "cancel" };

// Lua sends an empty table as []; lists may arrive as {} the other way round.
export function list<T>(value: unknown): T[] {
  return Array.isArray(value) ? (value as T[]) : [];
}
