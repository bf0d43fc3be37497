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

local model = require("model.store")

local ARRIVED, REMOVED = 1, 2

devices.on_change(function(serial, change)
  if change == ARRIVED then bridge.connect(serial, agent.connect) end
  if change == REMOVED and #devices.serials() == 0 then model.phone_gone() end
end)

-- The window: "--web" on the command line (or handed over by a later start), or
-- config.ini [Web] enabled=1; "--no-browser" prints the link without opening it.
local function has_switch(switches, name)
  return type(switches) == "table" and (switches["-" .. name] ~= nil or switches[name] ~= nil)
end
local web_url
local function start_web(switches)
  if web_url then return print("web UI: " .. web_url) end
  web_url = require("web.controller").start(not has_switch(switches, "no-browser"))
end
local start_switches = GetObject("AppHelp.Object"):GetStartCommand()
if has_switch(start_switches, "web") or GetObject("WebUI.Manager"):Enabled() then start_web(start_switches) end

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
  if has_switch(switches, "web") then start_web(switches) end
end)

UI = UI or {}
UI.commands = commands.handlers()

print("Mobrevist host ready (type 'help' or 'quit')")
print("try: devices, sms, contacts, apps, push FILE /sdcard/NAME, download URL; Tab completes, Up recalls")
commands.run()
