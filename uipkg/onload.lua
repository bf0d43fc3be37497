-- The default UI package. Without a window system it runs as a console: it prints a
-- ready line and answers commands typed on standard input. When a phone arrives it
-- connects to it: the debug bridge installs and starts the agent app and forwards the
-- ports, then the agent is asked for its summary and its notifications are printed.
-- Each part lives in its own module under console/.
local commands = require("console.commands")
local devices = require("console.devices")
local bridge = require("console.bridge")
local agent = require("console.agent")
require("console.phone_data")
require("console.phone_media")
require("console.phone_actions")
require("console.phone_apps")
require("console.transfer")
require("console.backup")
require("console.downloads")
require("console.update")
require("console.desktop")

local ARRIVED = 1

devices.on_change(function(serial, change)
  if change == ARRIVED then bridge.connect(serial, agent.connect) end
end)
devices.start()

-- Another start of the program hands its command line over to this one: say so.
GetObject("AppHelp.Object"):AttachCommandEvent(function(switches)
  local parts = {}
  for name, value in pairs(type(switches) == "table" and switches or {}) do
    parts[#parts + 1] = value ~= "" and (tostring(name) .. ":" .. tostring(value)) or tostring(name)
  end
  table.sort(parts)
  print(require("console.text").clean("another start of the program was handed over here"
    .. (#parts > 0 and (": " .. table.concat(parts, " ")) or "")))
end)

UI = UI or {}
UI.commands = commands.handlers()

print("Mobrevist host ready (type 'help' or 'quit')")
print("try: devices, sms, contacts, apps, push FILE /sdcard/NAME, download URL; Tab completes, Up recalls")
commands.run()
