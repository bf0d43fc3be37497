-- download, downloads, stop, resume and cancel: files fetched over HTTP by the download
-- manager, one at a time, kept across runs. Unfinished downloads of the last run are
-- listed at start-up and continue with 'resume ID'. A running download shows a progress
-- line that is rewritten in place on a terminal, and one line per 10% otherwise.
local commands = require("console.commands")
local progress = require("console.progress")
local text = require("console.text")

local manager = GetObject("DownloadManger.Manager")

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

-- Why a download failed, in words: the file of the download manager says nothing more.
local function failure(id, t)
  return string.format("download %d %s: failed at %s: the server or the network stopped answering;"
    .. " check the address and your connection, then 'resume %d' continues it", id, t.name, text.bytes(t.pos), id)
end

local function report(id, pos, size, state)
  local t = tasks[id]
  if not t then return end
  if state == 1 then
    t.state, t.pos, t.size = 1, pos, size
    if not t.bar then t.bar = progress.start(string.format("download %d %s", id, t.name), size, pos) end
    t.bar:update(pos, size)
  elseif state == Macro.TASK_DONE then
    t.state, t.pos, t.size = 5, pos, size
    local line = string.format("download %d %s: done, %s to %s", id, t.name, text.bytes(size), t.path)
    if t.bar then t.bar:done_line(line) else say(line) end
    t.bar = nil
  else
    t.state, t.pos, t.size = state, pos, size
    if t.bar then t.bar:finish(failure(id, t)) else say(failure(id, t)) end
    t.bar = nil
  end
  mark_next_running()
end

local function absolute(path)
  if path:sub(1, 1) == "/" then return path end
  return (os.getenv("PWD") or ".") .. "/" .. path
end

local function id_of(word)
  local id = tonumber(word)
  if not id or id < 1 or id ~= math.floor(id) then return nil end
  return id
end

commands.add("download", "download URL [FILE]       fetch a file over HTTP (default FILE: its name here)",
  function(rest)
    local w = commands.words(rest)
    if #w < 1 or #w > 2 then return print("usage: download <url> [file]") end
    local url = w[1]
    local name = url:match("([^/?#]+)[?#]?[^/]*$") or "download"
    local path = absolute(w[2] or name)
    local id = manager:DownLoadFile(url, path, TYPE_CONSOLE, name, "", report)
    tasks[id] = { name = name, path = path, url = url, state = 0, pos = 0, size = 0 }
    mark_next_running()
    print(string.format("download %d %s: queued to %s", id, name, path))
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
  if not id then return print("usage: " .. usage) end
  local t = tasks[id]
  if not t then return print("no download " .. (w[1] or "")) end
  fn(id, t, w)
end

commands.add("stop", "stop ID                   stop a download (resume continues it)", function(rest)
  with_task(rest, "stop <id>", function(id, t)
    if t.last_run or t.state == Macro.TASK_DONE then return print(string.format("download %d is not running", id)) end
    manager:StopTask(id)
    t.state = 3
    mark_next_running()
    local line = string.format("download %d %s: stopped at %d%%", id, t.name, percent(t))
    if t.bar then t.bar:finish(line) else say(line) end
    t.bar = nil
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
    t.state = 0
    mark_next_running()
    say(string.format("download %d %s: resumed at %d%%", id, t.name, percent(t)))
  end)
end)

commands.add("cancel", "cancel ID [keep]          drop a download (keep: leave it listed for the next run)",
  function(rest)
    with_task(rest, "cancel <id> [keep]", function(id, t, w)
      local keep = w[2] == "keep"
      manager:CancleTask(id, keep)
      tasks[id] = nil
      mark_next_running()
      local line = string.format("download %d %s: cancelled%s", id, t.name, keep and ", kept for the next run" or "")
      if t.bar then t.bar:finish(line) else say(line) end
    end)
  end)

-- The tasks the last run left unfinished.
manager:Init(function(list)
  local unfinished = 0
  for _, s in ipairs(list) do
    if s.taskState ~= 5 and s.taskType == TYPE_CONSOLE then
      unfinished = unfinished + 1
      tasks[s.taskId] = { name = s.showName, path = s.filePath, url = s.url, state = s.taskState,
        pos = s.filePos, size = s.fileSize, last_run = true }
      say(string.format("unfinished download %d %s: %d%% of %s ('resume %d' continues it)", s.taskId, s.showName,
        percent(tasks[s.taskId]), text.bytes(s.fileSize), s.taskId))
    end
  end
end)
