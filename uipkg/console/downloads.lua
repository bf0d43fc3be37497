-- download, downloads, stop, resume and cancel: files fetched over HTTP by the download
-- manager, one at a time, kept across runs. Unfinished downloads of the last run are
-- listed at start-up and continue with 'resume ID'. A running download shows a progress
-- line that is rewritten in place on a terminal, and one line per 10% otherwise.
local commands = require("console.commands")
local text = require("console.text")

local shell = GetObject("Win32Shell.Object")
local manager = GetObject("DownloadManger.Manager")

local STATE_NAMES = { [0] = "waiting", [1] = "downloading", [3] = "stopped", [4] = "failed", [5] = "done" }
local TYPE_CONSOLE = 1

-- Whether standard output is a terminal (progress is then rewritten in place).
local function output_is_terminal()
  local ok, ffi = pcall(require, "ffi")
  if not ok then return false end
  local declared = pcall(ffi.cdef, "int isatty(int fd);")
  if not declared then return false end
  local yes, result = pcall(function() return ffi.C.isatty(1) end)
  return yes and result == 1
end
local terminal = output_is_terminal()

-- id -> { name, path, url, state, pos, size, speed, tick, tick_pos, tenth, last_run }
local tasks = {}
local open_line = false  -- a progress line is on screen without its line end

local function say(line)
  if open_line then
    io.stdout:write("\n")
    io.stdout:flush()
    open_line = false
  end
  print(line)
end

local function percent(t)
  if not t.size or t.size <= 0 then return 0 end
  return math.floor(t.pos * 100 / t.size)
end

local function speed(t)
  return t.speed and (text.bytes(t.speed) .. "/s") or "-"
end

local function progress_line(id, t)
  return string.format("download %d %s: %d%% of %s, %s", id, t.name, percent(t), text.bytes(t.size), speed(t))
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

local function show_progress(id, t)
  if terminal then
    io.stdout:write("\r" .. progress_line(id, t) .. "   ")
    io.stdout:flush()
    open_line = true
    return
  end
  local tenth = math.floor(percent(t) / 10)
  if tenth > (t.tenth or 0) then
    t.tenth = tenth
    print(progress_line(id, t))
  end
end

local function report(id, pos, size, state)
  local t = tasks[id]
  if not t then return end
  local now = shell:GetTickCount()
  if state == 1 then
    if t.tick and now > t.tick then t.speed = (pos - t.tick_pos) * 1000 / (now - t.tick) end
    if not t.tick or now - t.tick >= 500 then t.tick, t.tick_pos = now, pos end
    t.state, t.pos, t.size = 1, pos, size
    show_progress(id, t)
  elseif state == 5 then
    t.state, t.pos, t.size, t.speed = 5, pos, size, nil
    say(string.format("download %d %s: done, %s to %s", id, t.name, text.bytes(size), t.path))
  else
    t.state, t.pos, t.size, t.speed = state, pos, size, nil
    say(string.format("download %d %s: failed at %s ('resume %d' continues it)", id, t.name, text.bytes(pos), id))
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
    if t.last_run or t.state == 5 then return print(string.format("download %d is not running", id)) end
    manager:StopTask(id)
    t.state, t.speed = 3, nil
    mark_next_running()
    say(string.format("download %d %s: stopped at %d%%", id, t.name, percent(t)))
  end)
end)

commands.add("resume", "resume ID                 continue a stopped, failed or last run's download", function(rest)
  with_task(rest, "resume <id>", function(id, t)
    if t.state == 5 then return print(string.format("download %d is done", id)) end
    if t.last_run then
      t.last_run = nil
      manager:AddDatebaseTask(id, t.url, t.pos, t.size, t.path, TYPE_CONSOLE, "", report)
    else
      manager:RestartTask(id)
    end
    t.state, t.tick, t.tenth = 0, nil, math.floor(percent(t) / 10)
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
      say(string.format("download %d %s: cancelled%s", id, t.name, keep and ", kept for the next run" or ""))
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
