-- Device detection: each change is printed when it happens; 'devices' lists what is
-- attached. Other modules learn of arrivals and removals through on_change.
local commands = require("console.commands")

local M = {}
local attached = {}
local listeners = {}
local change_names = { "arrived", "removed", "drives changed" }

-- fn(serial, change, info) is called after each change is printed.
function M.on_change(fn)
  listeners[#listeners + 1] = fn
end

local function on_device(info)
  local serial, change = info:GetProduceId(), info:GetChangeType()
  attached[serial] = change ~= 2 and info or nil
  print(string.format("device %s: %s %s (%s) drives: %s", change_names[change] or tostring(change), info:GetBrand(),
    info:GetType(), serial, table.concat(info:GetDriverList(), " ")))
  for _, fn in ipairs(listeners) do fn(serial, change, info) end
end

commands.add("devices", "devices                   list the attached phones", function()
  local count = 0
  for serial, info in pairs(attached) do
    count = count + 1
    print(string.format("%s %s %s vid %s pid %s drives: %s", serial, info:GetBrand(), info:GetType(), info:GetVID(),
      info:GetPID(), table.concat(info:GetDriverList(), " ")))
  end
  if count == 0 then print("no devices: no phone is connected: plug one in and allow debugging on its screen") end
end)

-- The serials of the attached phones, sorted.
function M.serials()
  local out = {}
  for serial in pairs(attached) do out[#out + 1] = serial end
  table.sort(out)
  return out
end

-- The attached phones for the window: { serial, brand, model }, by serial.
function M.list()
  local out = {}
  for _, serial in ipairs(M.serials()) do
    local info = attached[serial]
    out[#out + 1] = { serial = serial, brand = tostring(info:GetBrand() or ""), model = tostring(info:GetType() or "") }
  end
  return out
end

-- Starts detection; the phones already attached are reported as arrivals.
function M.start()
  if GetObject("Device.Manager"):Init(on_device) then print("device database missing: no device detection") end
end

return M
