-- 'update' asks the update server whether a newer version exists and, once the user
-- answers 'yes', downloads the package into the temporary folder, applies it to the
-- program folder and asks for a restart. The server is key 'server' of '[Update]' in the
-- program folder's config.ini.
local commands = require("console.commands")

local app = GetObject("AppHelp.Object")
local requests = GetObject("HttpRequest.Manager")
local files = GetObject("kit.win32.net.asyn_http_file.factory")

-- Held while a download runs, so the collector leaves the client alone.
local downloader

local RESULT_DOWNLOADED, RESULT_NOT_MODIFIED = 0, 1

local function install(path)
  app:UpdateAPP(path, "")
  print("update: installed; restart the program to use the new version")
end

local function download(url, version)
  local path = app:GetTempDir() .. "update-" .. version:gsub("[^%w%.%-]", "_") .. ".zip"
  local client = files:create_instance()
  downloader = client
  client:attach_event("on_asyn_http_file_ready", function(_, _, file, result)
    downloader = nil
    if result == RESULT_DOWNLOADED or result == RESULT_NOT_MODIFIED then
      install(file)
    else
      print("update: the download failed")
    end
  end)
  client:attach_event("on_asyn_http_file_error", function(_, _, code)
    downloader = nil
    print("update: the download failed (" .. tostring(code) .. ")")
  end)
  print("update: downloading " .. url)
  if not client:request_file(1, url, {}, path) then
    downloader = nil
    print("update: cannot download " .. url)
  end
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
    commands.ask(string.format("update: version %s is available; type 'yes' to download and install it", version),
      function() download(url, version) end)
  end)
end)
