// Devices: every phone attached, in the state the connection reached, with the one thing
// that gets it further.
import type { Link } from "../link";
import type { Device, Phone, Step } from "../protocol";
import { T } from "../texts";
import { Said, useAction } from "../ui";

// The state of the connection from its checklist and the phone's figures.
export function deviceState(phone: Phone, steps: Step[]): { state: string; text?: string } {
  if (phone.connected) return { state: "connected" };
  const failed = steps.find((s) => s.state === "failed");
  if (failed) {
    const text = failed.text ?? "";
    if (/no permissions/i.test(text)) return { state: "permissions", text };
    if (/unauthori[sz]ed|allow/i.test(text)) return { state: "unauthorised", text };
    return { state: "failed", text };
  }
  if (steps.some((s) => s.state === "running")) return { state: "connecting" };
  return { state: "attached" };
}

export function DevicesView(props: { link: Link; devices: Device[]; phone: Phone; steps: Step[] }) {
  const act = useAction(props.link);
  const { state, text } = deviceState(props.phone, props.steps);
  return (
    <div class="panel view" id="devices-view">
      <h1>{T.devices.title}</h1>
      <Said outcome={act.outcome} id="devices-said" />
      {props.devices.length === 0 ? (
        <>
          <p>{T.phone.none}</p>
          <ol class="how-to">
            {T.phone.howTo.map((line) => (
              <li key={line}>{line}</li>
            ))}
          </ol>
        </>
      ) : null}
      <ul class="transfers" id="devices">
        {props.devices.map((d) => (
          <li key={d.serial} class="transfer" data-serial={d.serial} data-state={state}>
            <div class="transfer-head">
              <span class="transfer-label">
                {d.brand} {d.model} <span class="muted">({d.serial})</span>
              </span>
              <span class={state === "connected" ? "said-ok" : state === "connecting" || state === "attached" ? "muted" : "said-failed"}>
                {T.devices.states[state]}
              </span>
            </div>
            {text ? <p class="muted">{text}</p> : null}
            <p>{T.devices.fix[state]}</p>
            {state !== "connected" && state !== "connecting" ? (
              <button type="button" onClick={() => act.run("reconnect", { serial: d.serial })}>
                {T.devices.again}
              </button>
            ) : null}
          </li>
        ))}
      </ul>
    </div>
  );
}
