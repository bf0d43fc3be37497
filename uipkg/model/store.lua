-- The program's state, held once and shown by every face: the console prints it, the web
-- window draws it. Producers (the agent link, the connect road, progress bars, notices)
-- change it through the functions here; each change is told to every observer as
-- observer(kind, value) with kind "phone", "steps", "transfer", "notice" or "download".
local M = {}

local observers = {}

-- The phone: { connected = false } until the agent's summary arrived, then its figures.
M.phone = { connected = false }
-- The connect road of the last phone: { { name = ..., state = "running"|"done"|"failed", text = ... } }.
M.steps = {}
-- Transfers (push, pull, download) by id: { id, kind, label, total, done, rate, state, line }.
-- state is "running", "done" or "ended" (failed or cancelled; line says which).
M.transfers = {}
-- The last notices, oldest first: { id, kind, text, time }.
M.notices = {}
M.MAX_NOTICES = 50
M.MAX_ENDED = 100

local next_transfer, next_notice = 0, 0
local ended_order = {}

-- fn(kind, value) after every change. An observer that fails is reported and kept.
function M.observe(fn)
  observers[#observers + 1] = fn
end

local function changed(kind, value)
  for _, fn in ipairs(observers) do
    local ok, err = pcall(fn, kind, value)
    if not ok then io.stderr:write("model observer: " .. tostring(err) .. "\n") end
  end
end

-- Replaces the phone's state (fields as the agent's summary names them).
function M.set_phone(fields)
  M.phone = fields
  changed("phone", M.phone)
end

function M.phone_gone()
  M.phone = { connected = false }
  changed("phone", M.phone)
end

-- The connect road: a new road starts empty; each step is added or updated by name.
function M.steps_begin()
  M.steps = {}
  changed("steps", M.steps)
end

function M.step(name, state, text)
  for _, s in ipairs(M.steps) do
    if s.name == name then
      s.state, s.text = state, text
      return changed("steps", M.steps)
    end
  end
  M.steps[#M.steps + 1] = { name = name, state = state, text = text }
  changed("steps", M.steps)
end

-- A transfer began: its id. kind is the label's first word ("push", "pull", "download").
function M.transfer_started(label, total, start)
  next_transfer = next_transfer + 1
  local t = { id = next_transfer, kind = label:match("^(%S+)") or "transfer", label = label, total = total or 0,
    done = start or 0, rate = 0, state = "running" }
  M.transfers[t.id] = t
  changed("transfer", t)
  return t.id
end

function M.transfer_progress(id, done, total, rate)
  local t = M.transfers[id]
  if not t or t.state ~= "running" then return end
  t.done, t.total, t.rate = done, total or t.total, rate or t.rate
  changed("transfer", t)
end

-- Ends a transfer: ok true when it completed; line is what the console printed.
function M.transfer_ended(id, ok, line)
  local t = M.transfers[id]
  if not t or t.state ~= "running" then return end
  t.state, t.line = ok and "done" or "ended", line
  if ok and t.total and t.total > 0 then t.done = t.total end
  changed("transfer", t)
  ended_order[#ended_order + 1] = id
  if #ended_order > M.MAX_ENDED then M.transfers[table.remove(ended_order, 1)] = nil end
end

-- The transfers, oldest first.
function M.transfer_list()
  local out = {}
  for _, t in pairs(M.transfers) do out[#out + 1] = t end
  table.sort(out, function(a, b) return a.id < b.id end)
  return out
end

-- The download list changed (one was added, stopped, resumed, ended or dropped).
function M.downloads_changed()
  changed("download", nil)
end

-- A notice from the phone (kind is the agent's notification type; text the console's line).
function M.notice(kind, text)
  next_notice = next_notice + 1
  local n = { id = next_notice, kind = kind, text = text, time = os.time() }
  M.notices[#M.notices + 1] = n
  if #M.notices > M.MAX_NOTICES then table.remove(M.notices, 1) end
  changed("notice", n)
end

return M
