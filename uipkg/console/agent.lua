-- The channel to the agent app: notifications printed as they arrive, and requests whose
-- replies come back in frames. A request the agent does not answer ends with one line.
local notices = require("console.notices")

local M = {}

local socket = GetObject("Socket.Manager")
local REPLY = 5
local initialised = false

local function init()
  if initialised then return end
  initialised = true
  socket:Init(notices.print)
end

local function unreachable()
  print("agent: no answer on 127.0.0.1:12300 (is the phone connected? see 'help')")
end

-- Opens the notification channel and asks for the device summary.
function M.connect()
  init()
  socket:Connect()
  socket:SendSocketMessage(40, function(code, contacts, sdk, battery, signal, card, sms, apps, free, card_free, total,
                                         card_total, android, model)
    if code ~= REPLY then return unreachable() end
    print(string.format("agent connected: %s, Android %s, battery %d%%, %d SMS, %d contacts, %d apps", model, android,
      battery, sms, contacts, apps))
  end)
end

-- Asks for a list: on_record(record) for each record, then on_end(count).
function M.list(kind, args, on_record, on_end)
  init()
  local count = 0
  args = args or {}
  args[#args + 1] = function(code, status, records)
    if code ~= REPLY then return unreachable() end
    for _, r in ipairs(records or {}) do
      count = count + 1
      on_record(r, count)
    end
    if status == 2 then on_end(count) end
  end
  socket:SendSocketMessage(kind, unpack(args))
end

return M
