// Builds the window into MOBREVIST_WEB_OUT (the build's bin/web), or dist/. Everything the
// page needs is a file of its own on the host's server: no inline script or data: URL
// (the server's Content-Security-Policy allows neither), nothing from the network. Each
// text file gets a .gz twin that the server sends to browsers taking gzip.
import { defineConfig } from "vite";
import { gzipSync } from "node:zlib";
import { readdirSync, readFileSync, statSync, writeFileSync } from "node:fs";
import { join } from "node:path";

const outDir = process.env.MOBREVIST_WEB_OUT || "dist";

function gzipTwins() {
  return {
    name: "gzip-twins",
    apply: "build",
    closeBundle() {
      let plain = 0;
      let packed = 0;
      const walk = (dir) => {
        for (const name of readdirSync(dir)) {
          const path = join(dir, name);
          if (statSync(path).isDirectory()) {
            walk(path);
            continue;
          }
          if (!/\.(html|js|css|svg|json|txt)$/.test(name)) continue;
          const bytes = readFileSync(path);
          const gz = gzipSync(bytes, { level: 9 });
          writeFileSync(path + ".gz", gz);
          plain += bytes.length;
          packed += gz.length;
        }
      };
      walk(outDir);
      console.log(`web: ${plain} bytes, ${packed} bytes gzipped`);
    },
  };
}

export default defineConfig({
  base: "/",
  esbuild: { jsx: "automatic", jsxImportSource: "preact" },
  build: {
    outDir,
    emptyOutDir: true,
    assetsInlineLimit: 0,
    modulePreload: { polyfill: false },
    sourcemap: false,
    target: "es2022",
  },
  plugins: [gzipTwins()],
});
