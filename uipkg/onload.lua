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

UI = UI or {}
UI.commands = commands.handlers()

print("Mobrevist host ready (type 'help' or 'quit')")
print("try: devices, sms, contacts, apps, push FILE /sdcard/NAME, download URL; Tab completes, Up recalls")
commands.run()
