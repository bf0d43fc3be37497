// The WebSocket to the program, opened again after a break (the program restarting, a
// sleep): each new connection says hello and gets the whole state back.
import { VERSION, type PageMessage, type ServerMessage } from "./protocol";

export type LinkState = "connecting" | "open" | "closed";

export class Link {
  private socket?: WebSocket;
  private retryMs = 500;

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
      if (message && typeof message === "object" && "type" in message) this.onMessage(message as ServerMessage);
    };
    socket.onclose = () => {
      this.onState("closed");
      setTimeout(() => this.open(), this.retryMs);
      this.retryMs = Math.min(this.retryMs * 2, 10000);
    };
  }

  send(message: PageMessage): void {
    if (this.socket?.readyState === WebSocket.OPEN) this.socket.send(JSON.stringify({ v: VERSION, ...message }));
  }
}
