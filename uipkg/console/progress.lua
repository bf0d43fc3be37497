-- Progress lines for long work (push, pull, download): percentage, speed and time left.
-- On a terminal the lines of the running transfers stay together at the bottom and are
-- redrawn in place (carriage return, clear to end of line, cursor up for the others);
-- when standard output is a pipe or a file each transfer prints one line per 10% instead.
-- Other console output goes through M.say so it never lands inside a progress line.
local text = require("console.text")
local model = require("model.store")

local M = {}

local shell = GetObject("Win32Shell.Object")
M.terminal = shell:IsTerminal() == true

M.REDRAW_MS = 100

local active = {} -- running bars, in the order they started
local drawn = 0   -- lines of the block on screen; the cursor stays at the end of its last one

local function close_block()
  if drawn > 0 then
    io.stdout:write("\n")
    io.stdout:flush()
    drawn = 0
  end
end

-- Prints a whole line, first ending an open progress block.
function M.say(line)
  close_block()
  print(line)
end

local function duration(seconds)
  seconds = math.floor(seconds + 0.5)
  if seconds >= 3600 then return string.format("%dh%02dm", math.floor(seconds / 3600), math.floor(seconds % 3600 / 60)) end
  if seconds >= 60 then return string.format("%dm%02ds", math.floor(seconds / 60), seconds % 60) end
  return string.format("%ds", seconds)
end

-- Whole percent of done out of total; nil when the total is unknown.
function M.percent(done, total)
  if not total or total <= 0 then return nil end
  local p = math.floor(done * 100 / total)
  if p > 100 then p = 100 end
  if p < 0 then p = 0 end
  return p
end

-- The text of a bar's line: "LABEL: 40% of 50.0 MiB, 12.0 MiB/s, 3s left".
function M.line(label, done, total, rate)
  local parts = {}
  local p = M.percent(done, total)
  if p then
    parts[1] = string.format("%d%% of %s", p, text.bytes(total))
  else
    parts[1] = text.bytes(done) .. " so far"
  end
  if rate and rate > 0 then
    parts[#parts + 1] = text.bytes(rate) .. "/s"
    if p and p < 100 then parts[#parts + 1] = duration((total - done) / rate) .. " left" end
  end
  return label .. ": " .. table.concat(parts, ", ")
end

local function bar_text(b)
  return M.line(b.label, b.done, b.total, b.rate)
end

-- The columns a line may take (80 when the width cannot be asked).
local function room()
  return text.room() or 79
end

-- Set while the bars are the status line above an edited prompt.
local above_prompt = false

-- Shows the running bars. While the user edits a line they are one status line kept just
-- above the prompt (messages print above it, never into it). Otherwise the block is
-- rewritten from its first line, a bar that started since the last redraw getting a new
-- line below the others.
local function redraw()
  local width = room()
  local parts = {}
  for i, b in ipairs(active) do parts[i] = bar_text(b) end
  local shown = PrintAbovePrompt and PrintAbovePrompt("\r" .. text.fit(table.concat(parts, "  |  "), width))
  if shown ~= nil then
    -- A line editor runs: the status line is shown, or shown at the next redraw once the
    -- prompt is back (drawn now, it would end up under the command's output).
    above_prompt = true
    return
  end
  above_prompt = false
  local out = {}
  if drawn > 1 then out[1] = string.format("\27[%dA", drawn - 1) end
  out[#out + 1] = "\r"
  for i, b in ipairs(active) do
    out[#out + 1] = text.fit(bar_text(b), width) .. "\27[K"
    if i < #active then out[#out + 1] = "\n" end
  end
  io.stdout:write(table.concat(out))
  io.stdout:flush()
  drawn = #active
end

local Bar = {}
Bar.__index = Bar

-- A new progress line. total may be 0 or nil when unknown; start is where the count
-- begins (a resumed download), so the speed counts only this run's bytes.
function M.start(label, total, start)
  local b = setmetatable({ label = label, total = total, done = start or 0, base = start or 0,
    began = shell:GetTickCount(), tenth = math.floor((M.percent(start or 0, total) or 0) / 10) }, Bar)
  b.id = model.transfer_started(label, total, start)
  active[#active + 1] = b
  return b
end

-- Sets the count done so far and shows it.
function Bar:update(done, total)
  if total then self.total = total end
  self.done = done
  local elapsed = shell:GetTickCount() - self.began
  if elapsed > 0 then self.rate = (done - self.base) * 1000 / elapsed end
  model.transfer_progress(self.id, done, self.total, self.rate)
  if M.terminal then
    -- A redraw at most every REDRAW_MS keeps a fast transfer from flooding the terminal.
    local now = shell:GetTickCount()
    if self.shown and now - self.shown < M.REDRAW_MS then return end
    self.shown = now
    return redraw()
  end
  local tenth = math.floor((M.percent(done, self.total) or 0) / 10)
  if tenth > self.tenth then
    self.tenth = tenth
    print(bar_text(self))
  end
end

local function remove(b)
  for i, other in ipairs(active) do
    if other == b then
      table.remove(active, i)
      return true
    end
  end
  return false
end

-- Ends the bar with a closing line (done or failed). On a terminal the block is wiped
-- and the closing line takes its place; the bars still running are drawn again below it.
function Bar:finish(line)
  if not remove(self) then return end
  model.transfer_ended(self.id, self.ok == true, line)
  if M.terminal and above_prompt then
    print(line)
    if #active > 0 then return redraw() end
    PrintAbovePrompt("\r")
    return
  end
  if M.terminal and drawn > 0 then
    io.stdout:write((drawn > 1 and string.format("\27[%dA", drawn - 1) or "") .. "\r\27[J")
    drawn = 0
    print(line)
    if #active > 0 then redraw() end
    return
  end
  M.say(line)
end

-- Ends the bar at 100%: the last progress line shows it, then the closing line.
function Bar:done_line(line)
  self.ok = true
  if self.total and self.total > 0 then
    self.shown = nil
    self:update(self.total)
  end
  self:finish(line)
end

return M
