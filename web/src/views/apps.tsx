// Apps: the installed apps with their icon (where the phone offers one), version, size and
// install date; an .apk chosen or dropped on the view is sent to the program and installed;
// removal asks first.
import { useRef, useState } from "preact/hooks";
import { bytes } from "../format";
import type { Link } from "../link";
import { useRows, VirtualList } from "../list";
import { T } from "../texts";
import { AppIcon } from "../thumbs";
import { ConfirmButton, Said, Toolbar, useAction, useUploadAction } from "../ui";

interface App {
  name: string;
  package: string;
  version: string;
  size: number;
  installed: number;
}

// Installs .apk files through the upload URL: each is sent, then installed.
export function useInstaller(link: Link, uploadUrl: () => string) {
  return useUploadAction(link, uploadUrl, "app-install", T.apps.sending, (file) =>
    file.name.toLowerCase().endsWith(".apk") ? undefined : T.apps.notApk(file.name),
  );
}

export function AppsView(props: { link: Link; installer: ReturnType<typeof useInstaller> }) {
  const { link, installer } = props;
  const [query, setQuery] = useState("");
  const apps = useRows<App>(link, "apps", ["apps"], { query: query.trim(), sort: "name" });
  const act = useAction(link);
  const input = useRef<HTMLInputElement>(null);

  return (
    <div class="panel view" id="apps-view">
      <div class="panel-head">
        <h1>{T.apps.title}</h1>
        <Toolbar label={T.apps.title}>
          <button type="button" onClick={() => input.current?.click()}>
            {T.apps.install}
          </button>
          <button type="button" onClick={() => apps.refresh()}>
            {T.common.refresh}
          </button>
        </Toolbar>
      </div>
      <p class="muted">{T.apps.hint}</p>
      <input id="apk-input" ref={input} type="file" accept=".apk" multiple hidden onChange={(e) => installer.send(Array.from(e.currentTarget.files ?? []))} />
      <Said outcome={installer.act.outcome} id="install-said" />
      <Said outcome={act.outcome} id="apps-said" />
      <input type="search" id="apps-search" aria-label={T.apps.search} placeholder={T.apps.search} value={query} onInput={(e) => setQuery(e.currentTarget.value)} />
      <VirtualList
        id="apps"
        label={T.apps.title}
        view={apps.view}
        want={apps.want}
        rowHeight={56}
        render={(a) => (
          <div class="row" data-package={a.package}>
            <AppIcon link={link} package={a.package} version={a.version} fallback={(a.name || a.package).slice(0, 1).toUpperCase()} />
            <span class="row-main">
              <span class="row-title">{a.name || a.package}</span>
              <span class="row-sub">
                {a.package} · {a.version} · {bytes(a.size)}
                {a.installed > 0 ? ` · ${new Date(a.installed * 1000).toLocaleDateString()}` : ""}
              </span>
            </span>
            <ConfirmButton class="link-button" label={T.apps.uninstall} question={T.apps.uninstallOne(a.name || a.package)} onYes={() => act.run("app-uninstall", { package: a.package })} />
          </div>
        )}
      />
    </div>
  );
}
