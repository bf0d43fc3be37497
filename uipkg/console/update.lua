-- 'update' asks the update server whether a newer version exists and, once the user
-- answers 'yes', downloads the package and its signature (the package's URL + ".sig") into
-- the temporary folder, applies it to the program folder (only when the signature is the
-- maker's) and asks for a restart. The server is key 'server' of '[Update]' in the program
-- folder's config.ini.
local commands = require("console.commands")
local text = require("console.text")

local app = GetObject("AppHelp.Object")
local shell = GetObject("Win32Shell.Object")
local requests = GetObject("HttpRequest.Manager")
local files = GetObject("kit.win32.net.asyn_http_file.factory")

-- Held while a download runs, so the collector leaves the client alone.
local downloader

local RESULT_DOWNLOADED, RESULT_NOT_MODIFIED = 0, 1

local function install(path, version)
  local ok, reason = app:UpdateAPP(path, "")
  if not ok then
    print("update: not installed: " .. text.clean(reason or "the package could not be applied"))
    return
  end
  -- The installed version, as --version and the next check read it.
  shell:WriteINI("Basic", "appver", text.clean(version), app:GetExeDir() .. "config.ini")
  print("update: version " .. text.clean(version) .. " installed; restart the program to use it")
end

-- Fetches url into path; then done(true) or done(false, reason).
local function fetch(url, path, done)
  local client = files:create_instance()
  downloader = client
  client:attach_event("on_asyn_http_file_ready", function(_, _, _, result)
    downloader = nil
    if result == RESULT_DOWNLOADED or result == RESULT_NOT_MODIFIED then return done(true) end
    done(false, "an older file is in the way")
  end)
  client:attach_event("on_asyn_http_file_error", function(_, _, code)
    downloader = nil
    done(false, text.download_error(code))
  end)
  if not client:request_file(1, url, {}, path) then
    downloader = nil
    done(false, "the address cannot be used")
  end
end

local function download(url, version)
  local path = app:GetTempDir() .. "update-" .. version:gsub("[^%w%.%-]", "_") .. ".zip"
  print("update: downloading " .. text.clean(url))
  fetch(url, path, function(ok, reason)
    if not ok then return print("update: the download of " .. text.clean(url) .. " failed: " .. reason) end
    fetch(url .. ".sig", path .. ".sig", function(signed, why)
      if not signed then
        return print("update: the package's signature " .. text.clean(url) .. ".sig cannot be downloaded: " .. why
          .. "; nothing was installed")
      end
      install(path, version)
    end)
  end)
end

commands.add("update", "update                    look for a newer version and install it", function()
  if downloader then
    print("update: a download is already running")
    return
  end
  print("update: asking the update server")
  requests:CheckUpdate(function(info)
    local version, url = info.AppVer or "", info.DownloadUrl or ""
    if (info.Update or 0) == 0 or version == "" or url == "" then
      print("update: no newer version")
      return
    end
    commands.ask(string.format("update: version %s is available; type 'yes' to download and install it",
      text.clean(version)), function() download(url, version) end)
  end)
end)
