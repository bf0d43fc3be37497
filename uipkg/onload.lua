-- The default UI package. Without a window system it runs as a console: it prints a
-- ready line and answers commands typed on standard input.
local shell = GetObject("Win32Shell.Object")

local commands = {}

function commands.quit()
  shell:PostQuitMessage()
end

function commands.help()
  local names = {}
  for name in pairs(commands) do names[#names + 1] = name end
  table.sort(names)
  print("commands: " .. table.concat(names, " "))
end

-- Device detection: each change is printed when it happens; 'devices' lists what is attached.
local devices = {}
local change_names = { "arrived", "removed", "drives changed" }
local function on_device(info)
  local serial, change = info:GetProduceId(), info:GetChangeType()
  devices[serial] = change ~= 2 and info or nil
  print(string.format("device %s: %s %s (%s) drives: %s", change_names[change] or tostring(change), info:GetBrand(),
    info:GetType(), serial, table.concat(info:GetDriverList(), " ")))
end

function commands.devices()
  local count = 0
  for serial, info in pairs(devices) do
    count = count + 1
    print(string.format("%s %s %s vid %s pid %s drives: %s", serial, info:GetBrand(), info:GetType(), info:GetVID(),
      info:GetPID(), table.concat(info:GetDriverList(), " ")))
  end
  if count == 0 then print("no devices") end
end

if GetObject("Device.Manager"):Init(on_device) then print("device database missing: no device detection") end

UI = UI or {}
UI.commands = commands

print("Mobrevist host ready (type 'help' or 'quit')")

ReadConsole(function(line)
  if line == nil then
    shell:PostQuitMessage()
    return
  end
  local word, rest = line:match("^%s*(%S+)%s*(.*)$")
  if not word then return end
  local command = commands[word]
  if command then
    command(rest)
  else
    print("unknown command: " .. word)
  end
end)
