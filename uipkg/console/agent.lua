-- The channel to the agent app: notifications printed as they arrive, and requests whose
-- replies come back in frames. A request the agent does not answer ends with one line.
local notices = require("console.notices")
local text = require("console.text")

local M = {}

local socket = GetObject("Socket.Manager")
local REPLY = Macro.REPLY
local initialised = false

local function init()
  if initialised then return end
  initialised = true
  socket:Init(notices.print)
end

local function unreachable()
  print("agent: no answer on 127.0.0.1:12300, so no phone is connected: plug one in and allow debugging on its"
    .. " screen ('devices' lists what is attached)")
end

-- An agent that takes the connection but never answers would leave a request waiting
-- for ever: a request with no reply frame within this time is cancelled with a line.
local WAIT_MS = 5000

-- Sends a request; on_frame(...) gets the fields of each reply frame after the reply code.
local function request(kind, args, on_frame)
  init()
  local timer
  args[#args + 1] = function(code, ...)
    if timer then
      KillTimer(timer)
      timer = nil
    end
    if code ~= REPLY then return unreachable() end
    on_frame(...)
  end
  local id = socket:SendSocketMessage(kind, unpack(args))
  timer = SetTimer(WAIT_MS, function()
    timer = nil
    socket:CancleTask(id)
    print(string.format("agent: no answer within %d s (request %d): the agent app on the phone is not responding;"
      .. " unlock the phone, open the agent app or replug the cable, then try again", WAIT_MS / 1000, kind))
  end)
end

M.request = request

-- Adds a contact on the phone; on_done(true) once the agent confirmed it, on_done(false)
-- when it refused or did not answer.
function M.add_contact(name, number, on_done)
  local ok = false
  local timer
  local done = function(result)
    if timer then KillTimer(timer) timer = nil end
    if on_done then on_done(result) end
    on_done = nil
  end
  request(Macro.MSG_ADD_CONTACT, { name, number }, function(status)
    if status == 0 then ok = true end
    if status == Macro.LIST_END then done(ok) end
  end)
  -- A request that got no answer is cancelled by request() with its own line.
  timer = SetTimer(WAIT_MS + 1000, function() timer = nil done(false) end)
end

-- Opens the notification channel and asks for the device summary.
function M.connect()
  init()
  socket:Connect()
  request(Macro.MSG_DEVICE_SUMMARY, {}, function(contacts, sdk, battery, signal, card, sms, apps, free, card_free, total, card_total, android,
                           model)
    print(string.format("agent connected: %s, Android %s, battery %d%%, %d SMS, %d contacts, %d apps", text.clean(model), text.clean(android),
      battery, sms, contacts, apps))
  end)
end

-- Asks for a list: on_record(record, n) for each record, then on_end(count).
function M.list(kind, args, on_record, on_end)
  local count = 0
  request(kind, args or {}, function(status, records)
    for _, r in ipairs(records or {}) do
      count = count + 1
      on_record(r, count)
    end
    if status == Macro.LIST_END then on_end(count) end
  end)
end

return M
