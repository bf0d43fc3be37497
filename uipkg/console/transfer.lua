-- push and pull: files between the PC and the phone through the agent's file ports. Several
-- files, or a whole local folder, go in one command; each transfer shows its own progress
-- line and ends with one line saying how it went.
local commands = require("console.commands")
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
function M.push_failure(status, source)
  local reasons = {
    [3] = "cancelled",
    [1000] = "cannot read the local file " .. source .. ": check that it exists and that you may read it",
    [1001] = "no network socket could be made: close some programs and try again",
    [1002] = AGENT_DOWN,
    [1003] = "the connection broke while sending: check the USB cable and try again",
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

local function file_size(path)
  local f = io.open(path, "rb")
  if not f then return 0 end
  local size = f:seek("end") or 0
  f:close()
  return size
end

local function is_folder(path)
  local f = io.open(path, "rb")
  if not f then return false end
  local _, err, code = f:read(1)
  f:close()
  return code == 21 or (err ~= nil and err:find("directory", 1, true) ~= nil)
end

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

local function push_one(source, target, ended)
  local label = "push " .. target
  local bar = progress.start(label, file_size(source))
  local sent = 0
  send:SendCommonFile(target, source, function(_, status, bytes)
    if status == Macro.TASK_RUNNING then
      sent = sent + bytes
      bar:update(sent)
    elseif status == Macro.TASK_DONE then
      bar:done_line(string.format("%s: done, %s", label, text.bytes(sent)))
      ended(true)
    else
      bar:finish(string.format("%s: failed: %s", label, M.push_failure(status, source)))
      ended(false)
    end
  end)
end

local PUSH_USAGE = "usage: push <local file> <phone path>, or push <files or folders>... <phone folder>"

commands.add("push", "push LOCAL... PHONE_PATH  copy files or folders to the phone", function(rest)
  local w = commands.words(rest)
  if #w < 2 then return print(PUSH_USAGE) end
  local target = table.remove(w)
  local pairs_ = {}
  for _, source in ipairs(w) do
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
  if #pairs_ == 0 then return print("push: nothing to send (the folders given are empty)") end
  init()
  local ended = batch("push", #pairs_)
  for _, p in ipairs(pairs_) do push_one(p[1], p[2], ended) end
end)

local function pull_one(source, target, ended)
  local label = "pull " .. source
  local bar = progress.start(label, 0)
  local got = 0
  get:GetFileTask(source, target, function(_, status, _, count)
    if status == Macro.TASK_RUNNING then
      got = got + count
      bar:update(got)
    elseif status == Macro.TASK_DONE then
      local note = count == 0 and " (empty, or no such file on the phone: check the path with 'files')" or ""
      bar:finish(string.format("%s: done, %s written to %s%s", label, text.bytes(count), target, note))
      ended(count > 0)
    else
      bar:finish(string.format("%s: failed: %s", label, M.pull_failure(status, target)))
      -- A failed pull stays at the head of the queue until it is dropped.
      get:ContinueNextTask()
      ended(false)
    end
  end)
end

local PULL_USAGE = "usage: pull <phone path> <local file>, or pull <phone paths>... <local folder>"

commands.add("pull", "pull PHONE_PATH... LOCAL  copy files from the phone", function(rest)
  local w = commands.words(rest)
  if #w < 2 then return print(PULL_USAGE) end
  local target = table.remove(w)
  local into_folder = #w > 1 or is_folder(target) or target:sub(-1) == "/"
  init()
  local ended = batch("pull", #w)
  for _, source in ipairs(w) do
    pull_one(source, into_folder and join(target, base_name(source)) or target, ended)
  end
end)

return M
