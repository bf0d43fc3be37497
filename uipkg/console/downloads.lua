-- download, downloads, stop, resume and cancel: files fetched over HTTP by the download
-- manager, one at a time, kept across runs. Unfinished downloads of the last run are
-- listed at start-up and continue with 'resume ID'. A running download shows a progress
-- line that is rewritten in place on a terminal, and one line per 10% otherwise.
local commands = require("console.commands")
local config = require("console.config")
local files = require("console.local_files")
local completion = require("console.completion")
local progress = require("console.progress")
local text = require("console.text")

local model = require("model.store")

local M = {}

local manager = GetObject("DownloadManger.Manager")
local shell = GetObject("Win32Shell.Object")

-- Why a download failed, kept for the next start (the download store keeps its state only).
local REASONS = { "HKEY_CURRENT_USER", "Software\\Mobrevist\\DownloadFailures" }
local function remember_reason(id, reason)
  shell:CreateRegKey(REASONS[1], REASONS[2])
  shell:SetRegValue(REASONS[1], REASONS[2], tostring(id), reason or "")
end
local function reason_of(id)
  local reason = shell:QueryRegValue(REASONS[1], REASONS[2], tostring(id))
  return type(reason) == "string" and reason ~= "" and reason or nil
end

local STATE_NAMES = { [0] = "waiting", [1] = "downloading", [3] = "stopped", [4] = "failed", [5] = "done" }
local TYPE_CONSOLE = 1

-- id -> { name, path, url, state, pos, size, bar, last_run }
local tasks = {}
local say = progress.say

local function percent(t)
  if not t.size or t.size <= 0 then return 0 end
  return math.floor(t.pos * 100 / t.size)
end

local function speed(t)
  return t.bar and t.bar.rate and (text.bytes(t.bar.rate) .. "/s") or "-"
end

-- The manager runs one download at a time, the waiting one with the lowest id first; the
-- list shows the same without waiting for its first progress report.
local function mark_next_running()
  local next_id
  for id, t in pairs(tasks) do
    if t.state == 1 and not t.last_run then return end
    if t.state == 0 and not t.last_run and (not next_id or id < next_id) then next_id = id end
  end
  if next_id then tasks[next_id].state = 1 end
end

-- Why a download failed, in words, from the error the download manager gives with it.
local function failure(id, t, code, from)
  local why = code and text.download_error(code, from) or "the server or the network stopped answering"
  remember_reason(id, why)
  return string.format("download %d %s: failed at %s: %s; 'resume %d' tries again", id, t.name, text.bytes(t.pos), why,
    id)
end

-- The work of a download is over (done, failed, stopped or cancelled).
local function settle(t)
  if t.job then
    t.job.ended()
    t.job = nil
  end
end

local function report(id, pos, size, state, code, from)
  local t = tasks[id]
  if not t then return end
  if state == 1 then
    if t.state ~= 1 then model.downloads_changed() end
    t.state, t.pos, t.size = 1, pos, size
    if not t.bar then t.bar = progress.start(string.format("download %d %s", id, t.name), size, pos) end
    t.bar:update(pos, size)
  elseif state == Macro.TASK_DONE then
    t.state, t.pos, t.size = 5, pos, size
    local line = string.format("download %d %s: done, %s to %s", id, t.name, text.bytes(size), t.path)
    if code == 304 then
      line = string.format("download %d %s: already up to date (%s, nothing fetched)", id, t.name, t.path)
    end
    if t.bar then t.bar:done_line(line) else say(line) end
    t.bar = nil
    if t.failed_before then remember_reason(id, "") end
    settle(t)
  else
    t.failed_before = true
    t.state, t.pos, t.size = state, pos, size
    if t.bar then t.bar:finish(failure(id, t, code, from)) else say(failure(id, t, code, from)) end
    commands.fail()
    t.bar = nil
    settle(t)
  end
  mark_next_running()
  if state ~= 1 then model.downloads_changed() end
end


local MAX_URL = 8192

-- Why url cannot be downloaded, or nil when it is an http:// address with a host.
local function url_problem(url)
  if #url > MAX_URL then return string.format("the address is longer than %d bytes", MAX_URL) end
  local scheme = url:match("^(%a[%w+.-]*)://")
  if not scheme then return "'" .. text.short(url, 60) .. "' is not an address: give one like http://host/file" end
  if scheme:lower() ~= "http" then return "only http:// is supported (not " .. scheme .. "://)" end
  if not url:match("^%a+://[^/?#]+") then return "the address names no server" end
end

-- The file name a URL names, percent-decoded; "download" when it names none.
local function name_of(url)
  local path = url:match("^%a+://[^/?#]*([^?#]*)") or ""
  local name = path:match("([^/]+)$")
  if not name then return "download" end
  name = name:gsub("%%(%x%x)", function(hex) return string.char(tonumber(hex, 16)) end)
  if name == "." or name == ".." or name:find("[/%z]") then return "download" end
  return name
end

-- The folder config.ini's [Download] folder names (with a trailing slash), else "" (here).
local function download_folder()
  local folder = config.value("Download", "folder")
  if folder == "" then return "" end
  return (files.expand(folder):gsub("/+$", "")) .. "/"
end

local function id_of(word)
  local id = tonumber(word)
  if not id or id < 1 or id ~= math.floor(id) then return nil end
  return id
end

commands.add("download", "download URL [FILE]       fetch a file over HTTP (default FILE: its name here)",
  function(rest)
    local w = commands.words(rest)
    if #w < 1 or #w > 2 then return commands.fail("usage: download <url> [file or folder]") end
    local url = w[1]
    local problem = url_problem(url)
    if problem then return commands.fail("download: " .. problem) end
    local name = name_of(url)
    local path = files.absolute(w[2] or (download_folder() .. name))
    if w[2] and (files.is_folder(path) or w[2]:sub(-1) == "/") then path = (path:gsub("/+$", "")) .. "/" .. name end
    local t = { name = name, path = path, url = url, state = 0, pos = 0, size = 0 }
    t.job = commands.job("download " .. name)
    -- The task may report at once (from the message window): the entry exists first.
    local id = manager:DownLoadFile(url, path, TYPE_CONSOLE, name, "", function(...) report(...) end)
    tasks[id] = t
    completion.add_word(tostring(id))
    mark_next_running()
    print(string.format("download %d %s: queued to %s", id, name, path))
    model.downloads_changed()
  end)

commands.add("downloads", "downloads                 list the downloads: id, name, state, percent, speed", function()
  local ids = {}
  for id in pairs(tasks) do ids[#ids + 1] = id end
  table.sort(ids)
  if #ids == 0 then return print("no downloads") end
  for _, id in ipairs(ids) do
    local t = tasks[id]
    local state = STATE_NAMES[t.state] or ("state " .. tostring(t.state))
    if t.last_run then state = state .. " (last run)" end
    say(string.format("%d\t%s\t%s\t%d%%\t%s", id, t.name, state, percent(t), t.state == 1 and speed(t) or "-"))
  end
end)

local function with_task(rest, usage, fn)
  local w = commands.words(rest)
  local id = id_of(w[1] or "")
  if not id then return commands.fail("usage: " .. usage) end
  local t = tasks[id]
  if not t then return commands.fail("no download " .. (w[1] or "") .. " ('downloads' lists them)") end
  fn(id, t, w)
end

commands.add("stop", "stop ID                   stop a download (resume continues it)", function(rest)
  with_task(rest, "stop <id>", function(id, t)
    if t.last_run or t.state == Macro.TASK_DONE then return print(string.format("download %d is not running", id)) end
    manager:StopTask(id)
    settle(t)
    t.state = 3
    mark_next_running()
    local line = string.format("download %d %s: stopped at %d%%", id, t.name, percent(t))
    if t.bar then t.bar:finish(line) else say(line) end
    t.bar = nil
    model.downloads_changed()
  end)
end)

commands.add("resume", "resume ID                 continue a stopped, failed or last run's download", function(rest)
  with_task(rest, "resume <id>", function(id, t)
    if t.state == Macro.TASK_DONE then return print(string.format("download %d is done", id)) end
    if t.last_run then
      t.last_run = nil
      manager:AddDatebaseTask(id, t.url, t.pos, t.size, t.path, TYPE_CONSOLE, "", report)
    else
      manager:RestartTask(id)
    end
    if not t.job then t.job = commands.job("download " .. t.name) end
    t.state = 0
    mark_next_running()
    say(string.format("download %d %s: resumed at %d%%", id, t.name, percent(t)))
    model.downloads_changed()
  end)
end)

commands.add("cancel", "cancel ID [keep]          drop a download (keep: leave it listed for the next run)",
  function(rest)
    with_task(rest, "cancel <id> [keep]", function(id, t, w)
      if #w > 2 or (w[2] and w[2] ~= "keep") then return commands.fail("usage: cancel <id> [keep]") end
      local keep = w[2] == "keep"
      manager:CancleTask(id, keep)
      -- What arrived so far goes too, unless the download is kept for the next run.
      if not keep then os.remove(t.path .. ".tmp") end
      settle(t)
      tasks[id] = nil
      mark_next_running()
      local line = string.format("download %d %s: cancelled%s", id, t.name, keep and ", kept for the next run" or "")
      if t.bar then t.bar:finish(line) else say(line) end
      model.downloads_changed()
    end)
  end)

-- Stops every download of this run that is waiting or running ('resume ID' continues it).
commands.on_cancel(function()
  for id, t in pairs(tasks) do
    if not t.last_run and (t.state == 0 or t.state == 1) then
      manager:StopTask(id)
      t.state = 3
      local line = string.format("download %d %s: stopped at %d%% ('resume %d' continues it)", id, t.name, percent(t), id)
      if t.bar then t.bar:finish(line) else say(line) end
      t.bar = nil
      settle(t)
    end
  end
  model.downloads_changed()
end)

-- The tasks the last run left unfinished.
manager:Init(function(list)
  local unfinished = 0
  for _, s in ipairs(list) do
    if s.taskState ~= 5 and s.taskType == TYPE_CONSOLE then
      unfinished = unfinished + 1
      tasks[s.taskId] = { name = s.showName, path = s.filePath, url = s.url, state = s.taskState,
        pos = s.filePos, size = s.fileSize, last_run = true }
      completion.add_word(tostring(s.taskId))
      local failed = s.taskState == Macro.TASK_FAILED
      local reason = failed and reason_of(s.taskId)
      tasks[s.taskId].failed_before = failed
      say(string.format("%s download %d %s: %d%% of %s%s ('resume %d' continues it)", failed and "failed" or "unfinished",
        s.taskId, text.clean(s.showName), percent(tasks[s.taskId]), text.bytes(s.fileSize),
        reason and (": " .. text.clean(reason)) or "", s.taskId))
    end
  end
  model.downloads_changed()
end)

-- The downloads for the window, by id: { id, name, path, url, state (the list's word),
-- percent, done, size, rate, last_run }.
function M.list()
  local out = {}
  for id, t in pairs(tasks) do
    out[#out + 1] = { id = id, name = t.name, path = t.path, url = t.url, state = STATE_NAMES[t.state] or "waiting",
      percent = percent(t), done = t.pos or 0, size = t.size or 0, rate = t.bar and t.bar.rate or 0,
      last_run = t.last_run == true }
  end
  table.sort(out, function(a, b) return a.id < b.id end)
  return out
end

return M
