// The WebSocket to the program, opened again after a break (the program restarting, a
// sleep): each new connection says hello and gets the whole state back.
import { VERSION, type PageMessage, type ServerMessage } from "./protocol";
import { T } from "./texts";

const T_LOST = T.link.lost;

export type LinkState = "connecting" | "open" | "closed";

type Reply = Extract<ServerMessage, { req: number }>;

export class Link {
  private socket?: WebSocket;
  private retryMs = 500;
  private nextReq = 1;
  private readonly waiting = new Map<number, (m: Reply) => void>();
  private readonly listeners = new Set<(m: ServerMessage) => void>();

  constructor(
    private readonly onMessage: (m: ServerMessage) => void,
    private readonly onState: (s: LinkState) => void,
  ) {}

  open(): void {
    this.onState("connecting");
    const scheme = location.protocol === "https:" ? "wss:" : "ws:";
    const socket = new WebSocket(`${scheme}//${location.host}/ws`);
    this.socket = socket;
    socket.onopen = () => {
      this.retryMs = 500;
      this.onState("open");
      this.send({ type: "hello" });
    };
    socket.onmessage = (event) => {
      if (typeof event.data !== "string") return;
      let message: unknown;
      try {
        message = JSON.parse(event.data);
      } catch {
        return;
      }
      if (!message || typeof message !== "object" || !("type" in message)) return;
      const m = message as ServerMessage;
      const req = (m as { req?: unknown }).req;
      const answer = typeof req === "number" ? this.waiting.get(req) : undefined;
      if (answer) {
        this.waiting.delete(req as number);
        answer(m as Reply);
        return;
      }
      this.onMessage(m);
      for (const fn of this.listeners) fn(m);
    };
    socket.onclose = () => {
      this.onState("closed");
      // Questions of a lost connection get no answer: they end now, unanswered.
      for (const answer of this.waiting.values()) answer({ type: "done", req: 0, ok: false, text: T_LOST });
      this.waiting.clear();
      setTimeout(() => this.open(), this.retryMs);
      this.retryMs = Math.min(this.retryMs * 2, 10000);
    };
  }

  // Sends a question and resolves with the program's answer to it.
  ask<R extends Reply>(message: PageMessage): Promise<R> {
    const req = this.nextReq++;
    return new Promise((resolve) => {
      if (this.socket?.readyState !== WebSocket.OPEN) return resolve({ type: "done", req, ok: false, text: T_LOST } as R);
      this.waiting.set(req, resolve as (m: Reply) => void);
      this.send({ ...message, req } as PageMessage);
    });
  }

  // fn(message) for every message that is not an answer; returns the way to stop.
  subscribe(fn: (m: ServerMessage) => void): () => void {
    this.listeners.add(fn);
    return () => this.listeners.delete(fn);
  }

  send(message: PageMessage): void {
    if (this.socket?.readyState === WebSocket.OPEN) this.socket.send(JSON.stringify({ v: VERSION, ...message }));
  }
}
