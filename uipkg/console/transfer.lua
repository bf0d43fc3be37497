-- push and pull: files between the PC and the phone through the agent's file ports. Several
-- files, or a whole local folder, go in one command; each transfer shows its own progress
-- line and ends with one line saying how it went.
local agent = require("console.agent")
local commands = require("console.commands")
local files = require("console.local_files")
local progress = require("console.progress")
local text = require("console.text")

local shell = GetObject("Win32Shell.Object")
local send = GetObject("SendFile.Manager")
local get = GetObject("GetFile.Manager")
local ready = false

local M = {}

local function init()
  if ready then return end
  ready = true
  send:Init()
  get:Init()
end

local AGENT_DOWN = "the phone's agent does not answer on its file port: check that a phone is connected ('devices')"
  .. " and allowed debugging on its screen, then try again"

-- Why a push failed, as a sentence with what to do next.
function M.push_failure(status, source, target)
  local reasons = {
    [3] = "cancelled",
    [1000] = "cannot read the local file " .. source .. ": check that it exists and that you may read it",
    [1001] = "no network socket could be made: close some programs and try again",
    [1002] = AGENT_DOWN,
    [1003] = "the connection broke while sending: check the USB cable and try again",
    [Macro.PUSH_REFUSED] = "refused by the phone: it did not store " .. (target or "the file")
      .. " (a path it may not write, or its storage is full)",
  }
  return reasons[status] or string.format("the transfer stopped for an unknown reason (code %s): try again", tostring(status))
end

function M.pull_failure(status, target)
  local reasons = {
    [3] = "cancelled",
    [6] = "connection to the agent's pull port failed: " .. AGENT_DOWN,
    [3000] = "cannot write the local file " .. target .. ": check that its folder exists and that you may write there",
  }
  return reasons[status] or string.format("the transfer stopped for an unknown reason (code %s): try again", tostring(status))
end

local exists, is_folder, file_size = files.exists, files.is_folder, files.size

local function base_name(path)
  return (path:gsub("/+$", "")):match("([^/]+)$") or path
end

local function join(folder, name)
  return (folder:gsub("/+$", "")) .. "/" .. name
end

-- Counts the transfers of one command and prints a summary once the last one ended.
local function batch(verb, count)
  local ended, failed = 0, 0
  return function(ok)
    ended = ended + 1
    if not ok then failed = failed + 1 end
    if ended == count and count > 1 then
      progress.say(string.format("%s: %d of %d files done%s", verb, count - failed, count,
        failed > 0 and string.format(", %d failed (see above)", failed) or ""))
    end
  end
end

-- One line saying a transfer failed; the run's exit status becomes 1.
local function failed(bar, line)
  bar:finish(line)
  commands.fail()
end

-- The transfers running, so that they can be cancelled together: entry -> true.
local running = {}

local function push_one(source, target, ended)
  local label = "push " .. target
  local bar = progress.start(label, file_size(source))
  local job = commands.job(label)
  local entry = { bar = bar, job = job, label = label, ended = ended }
  running[entry] = true
  local sent = 0
  send:SendCommonFile(target, source, function(_, status, bytes)
    if status == Macro.TASK_RUNNING then
      sent = sent + bytes
      bar:update(sent)
      return
    end
    running[entry] = nil
    if status == Macro.TASK_DONE then
      bar:done_line(string.format("%s: done, %s", label, text.bytes(sent)))
      ended(true)
    else
      failed(bar, string.format("%s: failed: %s", label, M.push_failure(status, source, target)))
      ended(false)
    end
    job.ended()
  end)
end

-- A phone path the agent can be asked for: not empty, no "." or ".." component.
local function phone_path_problem(path)
  if not path:find("%S") then return "the phone path is empty" end
  for part in path:gmatch("[^/]+") do
    if part == ".." or part == "." then return "the phone path " .. path .. " holds '" .. part .. "': give it in full" end
  end
end

local PUSH_USAGE = "usage: push <local file> <phone path>, or push <files or folders>... <phone folder>"

commands.add("push", "push LOCAL... PHONE_PATH  copy files or folders to the phone", function(rest)
  local w = commands.words(rest)
  if #w < 2 then return commands.fail(PUSH_USAGE) end
  local target = table.remove(w)
  local problem = phone_path_problem(target)
  if problem then return commands.fail("push: " .. problem) end
  local pairs_ = {}
  for _, typed in ipairs(w) do
    local source = commands.local_path(typed)
    if is_folder(source) then
      local root = (source:gsub("/+$", ""))
      local under = join(target, base_name(root))
      for _, e in ipairs(shell:EnumFile(1, root) or {}) do
        local relative = e.path:sub(#root + 2)
        pairs_[#pairs_ + 1] = { e.path, join(under, relative) }
      end
    elseif #w == 1 and target:sub(-1) ~= "/" then
      pairs_[#pairs_ + 1] = { source, target }
    else
      pairs_[#pairs_ + 1] = { source, join(target, base_name(source)) }
    end
  end
  if #pairs_ == 0 then return commands.fail("push: nothing to send (the folders given are empty)") end
  M.push(pairs_)
end)

-- Pushes { { local path, phone path }, ... } as the push command does (progress lines, a
-- closing line each); on_each(ok, local path) after each transfer ended.
function M.push(pairs_, on_each)
  init()
  local ended = batch("push", #pairs_)
  for _, p in ipairs(pairs_) do
    push_one(p[1], p[2], function(ok)
      ended(ok)
      if on_each then on_each(ok, p[1]) end
    end)
  end
end

M.phone_path_problem = phone_path_problem

-- Pulls source into target; on_end(ok, bytes, was_empty) when it is over. A pull that
-- fails removes the local file it made (never one that was there before).
local function pull_file(source, target, on_end)
  local label = "pull " .. source
  local bar = progress.start(label, 0)
  local entry = { bar = bar, label = label, on_end = on_end, target = target }
  running[entry] = true
  local got = 0
  get:GetFileTask(source, target, function(_, status, _, count, total)
    if status == Macro.TASK_RUNNING then
      got = got + count
      bar:update(got, total)
      return
    end
    running[entry] = nil
    if status == Macro.TASK_DONE then
      on_end(bar, true, count)
    else
      failed(bar, string.format("%s: failed: %s", label, M.pull_failure(status, target)))
      -- A failed pull stays at the head of the queue until it is dropped.
      get:ContinueNextTask()
      on_end(nil, false, 0)
    end
  end)
end

-- Pulls one phone file into target without a progress line (the window's thumbnails);
-- done(ok) at its end. A failed pull removes what it wrote. method is the pull manager's
-- method for the kind of pull ("GetIconTask": an app's icon by package name); a file by
-- default.
function M.pull_quietly(source, target, done, method)
  init()
  get[method or "GetFileTask"](get, source, target, function(_, status)
    if status == Macro.TASK_RUNNING then return end
    if status == Macro.TASK_DONE then return done(true) end
    get:ContinueNextTask()
    os.remove(target)
    done(false)
  end)
end

local function listed_under(listed, folder)
  local prefix = (folder:gsub("/+$", "")) .. "/"
  local under = {}
  for _, f in ipairs(listed) do
    if f.path:sub(1, #prefix) == prefix then under[#under + 1] = f.path end
  end
  table.sort(under)
  return under, prefix
end

local pull_one

-- A pull that brought nothing: the phone's lists tell an empty file from a folder (whose
-- files are pulled into target as a folder) and from a path the phone does not have.
local function settle_empty_pull(source, target, made, bar, ended)
  local label = "pull " .. source
  agent.files(function(listed)
    if not listed then
      if made then os.remove(target) end
      failed(bar, label .. ": failed: the phone's file lists cannot be read to tell what " .. source .. " is")
      return ended(false)
    end
    local under, prefix = listed_under(listed, source)
    if #under > 0 then
      if made then os.remove(target) end
      bar:finish(string.format("%s: a folder of %d files; pulling them into %s/", label, #under, target))
      local done, ok_count = 0, 0
      for _, path in ipairs(under) do
        pull_one(path, join(target, path:sub(#prefix + 1)), function(ok)
          done = done + 1
          if ok then ok_count = ok_count + 1 end
          if done == #under then
            local line = string.format("pull %s: %d of %d files written under %s/", source, ok_count, #under, target)
            if ok_count < #under then commands.fail(line) else progress.say(line) end
            ended(ok_count == #under)
          end
        end, true)
      end
      return
    end
    for _, f in ipairs(listed) do
      if f.path == source then
        bar:finish(string.format("%s: done, 0 bytes written to %s (the phone's file is empty)", label, target))
        return ended(true)
      end
    end
    if made then os.remove(target) end
    failed(bar, string.format("%s: failed: the phone has no file %s ('files FOLDER' lists what is there)", label,
      source))
    ended(false)
  end)
end

-- Pulls one phone path, a file or a folder, into target.
pull_one = function(source, target, ended, no_folder)
  local made = not exists(target)
  local job = commands.job("pull " .. source)
  local function over(ok)
    ended(ok)
    job.ended()
  end
  pull_file(source, target, function(bar, ok, count)
    if not ok then return over(false) end
    if count > 0 or no_folder then
      bar:done_line(string.format("pull %s: done, %s written to %s", source, text.bytes(count), target))
      return over(true)
    end
    settle_empty_pull(source, target, made, bar, over)
  end)
end

-- Cancels every push and pull: the managers drop them without telling their functions, so
-- each ends here with its line. A pull's partial file goes.
commands.on_cancel(function()
  if next(running) == nil then return end
  send:CancleAllTask()
  get:CancleAllTask()
  get:ContinueNextTask()
  local entries = {}
  for entry in pairs(running) do entries[#entries + 1] = entry end
  running = {}
  for _, entry in ipairs(entries) do
    entry.bar:finish(entry.label .. ": cancelled")
    commands.fail()
    if entry.target then
      os.remove(entry.target)
      entry.on_end(nil, false, 0)
    else
      entry.ended(false)
      entry.job.ended()
    end
  end
end)

-- Starts pulls of { { phone path, local path }, ... } with their progress and lines.
local function start_pulls(jobs)
  init()
  local ended = batch("pull", #jobs)
  for _, j in ipairs(jobs) do pull_one(j[1], j[2], ended) end
end

-- Pulls phone paths into a local folder as 'pull' does, replacing files of the same name
-- (the window asked first); nil, or the line saying why nothing started.
function M.pull(sources, folder)
  local jobs = {}
  for _, source in ipairs(sources) do
    local problem = phone_path_problem(source)
    if problem then return "pull: " .. problem end
    jobs[#jobs + 1] = { source, join(folder, base_name(source)) }
  end
  if #jobs == 0 then return "pull: nothing chosen" end
  if not is_folder(folder) then
    return "pull: " .. folder .. " is not a folder: give a folder that exists"
  end
  start_pulls(jobs)
end

local PULL_USAGE = "usage: pull <phone path> <local file>, or pull <phone paths>... <local folder> [--force]"

commands.add("pull", "pull PHONE_PATH... LOCAL  copy files or folders from the phone", function(rest)
  local w = commands.words(rest)
  local force = false
  for i = #w, 1, -1 do
    if w[i] == "--force" then
      force = true
      table.remove(w, i)
    end
  end
  if #w < 2 then return commands.fail(PULL_USAGE) end
  local target = commands.local_path(table.remove(w))
  for _, source in ipairs(w) do
    local problem = phone_path_problem(source)
    if problem then return commands.fail("pull: " .. problem) end
  end
  local into_folder = #w > 1 or is_folder(target) or target:sub(-1) == "/"
  local jobs = {}
  for _, source in ipairs(w) do
    jobs[#jobs + 1] = { source, into_folder and join(target, base_name(source)) or target }
  end
  local function start() start_pulls(jobs) end
  local existing = {}
  for _, j in ipairs(jobs) do
    if exists(j[2]) and not is_folder(j[2]) then existing[#existing + 1] = j[2] end
  end
  if #existing == 0 or force then return start() end
  commands.confirm(string.format("replace %s%s? (yes/no; --force skips this question)", existing[1],
    #existing > 1 and string.format(" and %d more local files", #existing - 1) or ""), start)
end)

return M
