// Sizes, speeds and durations as the console shows them.
export function bytes(n: number | undefined): string {
  const v = typeof n === "number" && isFinite(n) && n > 0 ? n : 0;
  const units = ["B", "KiB", "MiB", "GiB", "TiB"];
  let i = 0;
  let x = v;
  while (x >= 1024 && i < units.length - 1) {
    x /= 1024;
    i++;
  }
  return i === 0 ? `${v} B` : `${x.toFixed(1)} ${units[i]}`;
}

export function duration(seconds: number): string {
  const s = Math.max(0, Math.round(seconds));
  if (s >= 3600) return `${Math.floor(s / 3600)}h${String(Math.floor((s % 3600) / 60)).padStart(2, "0")}m`;
  if (s >= 60) return `${Math.floor(s / 60)}m${String(s % 60).padStart(2, "0")}s`;
  return `${s}s`;
}

export function percent(done: number, total: number): number | undefined {
  if (!(total > 0)) return undefined;
  return Math.max(0, Math.min(100, Math.floor((done * 100) / total)));
}
