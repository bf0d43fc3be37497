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

local M = {}

local function install(path, version, done)
  local ok, reason = app:UpdateAPP(path, "")
  if not ok then
    return done(false, "update: not installed: " .. text.clean(reason or "the package could not be applied"))
  end
  -- The installed version, as --version and the next check read it.
  if not shell:WriteINI("Basic", "appver", text.clean(version), app:GetExeDir() .. "config.ini") then
    return done(false, "update: version " .. text.clean(version) .. " installed, but config.ini cannot be written:"
      .. " --version and the next check still name the old version")
  end
  done(true, "update: version " .. text.clean(version) .. " installed; restart the program to use it")
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
    -- Numbers from 100 to 599 are the server's answer; the others the network's.
    local n = tonumber(code) or 0
    done(false, text.download_error(code, (n >= 100 and n < 600) and "http" or nil))
  end)
  if not client:request_file(1, url, {}, path) then
    downloader = nil
    done(false, "the address cannot be used")
  end
end

-- Downloads the package of version from url with its signature and installs it;
-- done(ok, line).
function M.install(url, version, done)
  if downloader then return done(false, "update: a download is already running") end
  local path = app:GetTempDir() .. "update-" .. version:gsub("[^%w%.%-]", "_") .. ".zip"
  print("update: downloading " .. text.clean(url))
  local job = commands.job("the update download")
  fetch(url, path, function(ok, reason)
    if not ok then
      job.ended()
      return done(false, "update: the download of " .. text.clean(url) .. " failed: " .. reason)
    end
    fetch(url .. ".sig", path .. ".sig", function(signed, why)
      job.ended()
      if not signed then
        return done(false, "update: the package's signature " .. text.clean(url) .. ".sig cannot be downloaded: "
          .. why .. "; nothing was installed")
      end
      install(path, version, done)
    end)
  end)
end

-- Why the update server gave no answer, in words.
local function check_failure(what, code)
  if what == "network" then return text.download_error(code) end
  if what == "http" then return text.download_error(code, "http") end
  if what == "reply" then return "its answer is not an update description (is [Update] server right?)" end
  return "the server's address cannot be used (see [Update] server in config.ini)"
end

-- Asks the update server for a newer version; done(ok, line, offer) with offer
-- { version, url } when there is one to install.
function M.check(done)
  local job = commands.job("the update check")
  requests:CheckUpdate(function(info)
    job.ended()
    local version, url = info.AppVer or "", info.DownloadUrl or ""
    -- A server that offers the version installed already has nothing new.
    local installed = shell:ReadINIString(app:GetExeDir() .. "config.ini", "Basic", "appver")
    if (info.Update or 0) == 0 or version == "" or url == "" or text.clean(version) == installed then
      return done(true, "update: no newer version")
    end
    done(true, string.format("update: version %s is available", text.clean(version)), { version = version, url = url })
  end, function(what, code)
    job.ended()
    done(false, "update: the update server gave no answer: " .. check_failure(what, code))
  end)
end

commands.add("update", "update                    look for a newer version and install it", function()
  if downloader then
    print("update: a download is already running")
    return
  end
  print("update: asking the update server")
  M.check(function(ok, line, offer)
    if not offer then return commands.report(ok, line) end
    commands.ask(line .. "; type 'yes' to download and install it", function()
      M.install(offer.url, offer.version, commands.report)
    end)
  end)
end)

return M
