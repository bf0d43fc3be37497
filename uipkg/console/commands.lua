-- The console's command table and its input loop: each line of standard input names a
-- command and its arguments. Work a command starts (a reply from the phone, a transfer, a
-- download) is a job; the end of input, or 'quit' in a piped run, waits for the jobs to
-- end, then the program exits with status 0 when every command succeeded and 1 when any
-- failed.
local M = {}

local shell = GetObject("Win32Shell.Object")
local handlers, usage = {}, {}

-- Typed at a terminal (questions are asked), or fed by a pipe or a file (they are not).
M.interactive = shell:IsTerminal(0) == true and shell:IsTerminal(1) == true

-- Adds a command; text is the one-line usage shown by 'help'.
function M.add(name, text, fn)
  handlers[name] = fn
  usage[name] = text
end

-- Splits an argument line into words; "double quotes" keep blanks inside one word.
function M.words(line)
  local out = {}
  local at = 1
  while true do
    local s = line:find("%S", at)
    if not s then break end
    local word, stop
    if line:sub(s, s) == '"' then
      local e = line:find('"', s + 1, true)
      word, stop = line:sub(s + 1, (e or #line + 1) - 1), (e or #line) + 1
    else
      local e = line:find("%s", s) or #line + 1
      word, stop = line:sub(s, e - 1), e
    end
    out[#out + 1] = word
    at = stop
  end
  return out
end

-- A local path as typed: "~" and "~/..." name the home folder; "$VAR" is kept as it is.
M.local_path = require("console.local_files").expand

-- Failures and running work --------------------------------------------------------------

local failures = 0
local capturing = false -- a command run by the window, which asked its questions itself
local running = {} -- job -> label
local finishing, reminder = false, nil

-- Prints line (when given) and counts a failed command: the exit status becomes 1.
function M.fail(line)
  if line then print(line) end
  failures = failures + 1
end

function M.failed() return failures > 0 end

-- Prints the line that ends a piece of work; a failure counts as a failed command.
function M.report(ok, line)
  if ok then print(line) else M.fail(line) end
end

-- Runs a command as if it had been typed and returns whether it failed nothing before it
-- returned, and the lines it printed until then (they are printed as well). The window
-- runs the console's own commands this way and shows their sentences where it asked.
function M.capture(name, rest)
  local fn = handlers[name]
  if not fn then return false, { "unknown command: " .. name } end
  local lines, before, real, was = {}, failures, print, capturing
  capturing = true
  print = function(...)
    local parts = {}
    for i = 1, select("#", ...) do parts[i] = tostring((select(i, ...))) end
    lines[#lines + 1] = table.concat(parts, "\t")
    real(...)
  end
  local ok, err = pcall(fn, rest)
  print, capturing = real, was
  if not ok then error(err, 0) end
  return failures == before, lines
end

local function quit_now()
  if reminder then KillTimer(reminder) reminder = nil end
  shell:PostQuitMessage(failures > 0 and 1 or 0)
end

local function running_labels()
  local labels = {}
  for _, label in pairs(running) do labels[#labels + 1] = label end
  table.sort(labels)
  return labels
end

-- Work started by a command; job.ended() once it is over (twice is harmless).
function M.job(label)
  local job = {}
  running[job] = label or "a request"
  function job.ended()
    if not running[job] then return end
    running[job] = nil
    -- Quits once the handler that ended the last job has returned, so that a failure it
    -- reports after ending its job still counts.
    if finishing and next(running) == nil then
      SetTimer(0, function()
        if next(running) == nil then quit_now() end
      end)
    end
  end
  return job
end

function M.busy() return next(running) ~= nil end

local WAIT_NOTE_MS = 10000

-- Quits once every job has ended, saying every 10 s what is still running.
function M.finish()
  if next(running) == nil then return quit_now() end
  if finishing then return end
  finishing = true
  local function remind()
    local labels = running_labels()
    print(string.format("waiting for %d unfinished job%s: %s (Ctrl-C ends at once)", #labels,
      #labels == 1 and "" or "s", table.concat(labels, ", ")))
    reminder = SetTimer(WAIT_NOTE_MS, remind)
  end
  reminder = SetTimer(WAIT_NOTE_MS, remind)
end

-- Questions ------------------------------------------------------------------------------

local pending

-- A question answered by the next line: 'y' or 'yes' runs on_yes; 'n', 'no' or an empty
-- line cancels; any other line cancels and runs as the command it is.
function M.ask(question, on_yes)
  print(question)
  pending = on_yes
end

-- Asks on a terminal; a piped run, and the window (which asked already), go ahead.
function M.confirm(question, on_yes)
  if not M.interactive or capturing then return on_yes() end
  M.ask(question, on_yes)
end

-- Ctrl-C on an empty prompt: answers an open question with no; with transfers or
-- downloads running, asks whether to cancel them; otherwise the second in a row quits.
local cancellers, interrupts = {}, 0

-- fn() cancels the work of one kind (transfers, downloads) and says so.
function M.on_cancel(fn) cancellers[#cancellers + 1] = fn end
-- Cancels every transfer and download now (the window's cancel button).
function M.cancel_all()
  for _, cancel in ipairs(cancellers) do cancel() end
end

function M.interrupted()
  if pending then
    pending = nil
    return print("cancelled")
  end
  if M.busy() and #cancellers > 0 then
    return M.ask("cancel the running transfers and downloads? (yes/no)", function()
      for _, cancel in ipairs(cancellers) do cancel() end
    end)
  end
  interrupts = interrupts + 1
  if interrupts >= 2 then
    print("")  -- the shell's next prompt starts on a line of its own
    return quit_now()
  end
  print("(Ctrl-C again, or Ctrl-D, quits)")
end

function M.quit()
  if M.interactive and M.busy() then
    local labels = running_labels()
    return M.ask(string.format("%d job%s still running (%s): quit anyway? (yes/no)", #labels, #labels == 1 and "" or "s",
      table.concat(labels, ", ")), quit_now)
  end
  if M.interactive then return quit_now() end
  M.finish()
end

for _, name in ipairs({ "exit", "q" }) do handlers[name] = M.quit end
M.add("quit", "quit                      end the program (also 'exit', 'q'); a piped run first waits for its work",
  M.quit)
M.add("help", "help [COMMAND]            list the commands, or show one with an example", function(rest)
  require("console.help").show(rest, usage)
end)

function M.handlers() return handlers end

require("console.completion").set_command_source(function()
  local names = {}
  for name in pairs(handlers) do names[#names + 1] = name end
  return names
end)

local function run_line(line)
  local word, rest = line:match("^%s*(%S+)%s*(.-)%s*$")
  if not word then return end
  local fn = handlers[word]
  if fn then
    fn(rest)
  else
    M.fail("unknown command: " .. word .. " (type 'help')")
  end
end

-- Reads commands until the end of input.
function M.run()
  if SetConsoleInterrupt then SetConsoleInterrupt(M.interrupted) end
  ReadConsole(function(line)
    interrupts = 0
    if line == nil then
      if M.interactive then io.stdout:write("\n") end
      return M.finish()
    end
    if pending then
      local on_yes = pending
      pending = nil
      local answer = line:lower():match("^%s*(%S*)%s*$")
      if answer == "y" or answer == "yes" then return on_yes() end
      print("cancelled")
      if answer ~= "n" and answer ~= "no" and answer ~= "" then run_line(line) end
      return
    end
    run_line(line)
  end)
end

return M
