-- push and pull: files between the PC and the phone through the agent's file ports, with
-- a progress line now and then and one line when each transfer ends.
local commands = require("console.commands")
local text = require("console.text")

local shell = GetObject("Win32Shell.Object")
local send = GetObject("SendFile.Manager")
local get = GetObject("GetFile.Manager")
local ready = false

local PROGRESS_MS = 500

local function init()
  if ready then return end
  ready = true
  send:Init()
  get:Init()
end

-- Prints the first progress line at once and later ones at most every PROGRESS_MS.
local function progress_printer(label)
  local last
  return function(done)
    local now = shell:GetTickCount()
    if last and now - last < PROGRESS_MS then return end
    last = now
    print(string.format("%s: %s so far", label, text.bytes(done)))
  end
end

local push_failures = {
  [3] = "cancelled", [1000] = "cannot read the local file", [1001] = "no socket",
  [1002] = "no connection to the agent's push port", [1003] = "sending failed",
}

local function two_words(rest, usage)
  local w = commands.words(rest)
  if #w ~= 2 then
    print("usage: " .. usage)
    return nil
  end
  return w[1], w[2]
end

commands.add("push", "push LOCAL PHONE_PATH     copy a file to the phone", function(rest)
  local source, target = two_words(rest, "push <local file> <phone path>")
  if not source then return end
  init()
  local sent = 0
  local label = "push " .. target
  local show = progress_printer(label)
  send:SendCommonFile(target, source, function(_, status, bytes)
    if status == 1 then
      sent = sent + bytes
      show(sent)
    elseif status == 5 then
      print(string.format("%s: done, %s", label, text.bytes(sent)))
    else
      print(string.format("%s: failed: %s", label, push_failures[status] or ("status " .. tostring(status))))
    end
  end)
end)

local pull_failures = { [3] = "cancelled", [6] = "connection to the agent's pull port failed",
  [3000] = "cannot write the local file" }

commands.add("pull", "pull PHONE_PATH LOCAL     copy a file from the phone", function(rest)
  local source, target = two_words(rest, "pull <phone path> <local file>")
  if not source then return end
  init()
  local got = 0
  local label = "pull " .. source
  local show = progress_printer(label)
  get:GetFileTask(source, target, function(_, status, _, count)
    if status == 1 then
      got = got + count
      show(got)
    elseif status == 5 then
      local note = count == 0 and " (empty, or no such file on the phone)" or ""
      print(string.format("%s: done, %s written to %s%s", label, text.bytes(count), target, note))
    else
      print(string.format("%s: failed: %s", label, pull_failures[status] or ("status " .. tostring(status))))
      -- A failed pull stays at the head of the queue until it is dropped.
      get:ContinueNextTask()
    end
  end)
end)
