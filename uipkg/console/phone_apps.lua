-- install and uninstall: apps put on the phone through the debug bridge from a local .apk,
-- and removed through the agent by their package name.
local bridge = require("console.bridge")
local commands = require("console.commands")
local files = require("console.local_files")
local devices = require("console.devices")
local phone = require("console.phone_actions")

local M = {}

local UNINSTALL = Macro.MSG_UNINSTALL_APP

local NO_PHONE = "no phone is connected: plug one in and allow debugging on its screen"

-- Installs a local .apk on the first attached phone; done(ok, line).
function M.install(path, done)
  if not path:lower():match("%.apk$") then
    return done(false, "install: " .. path .. " is not an app package: give a file ending in .apk")
  end
  if not files.exists(path) then
    return done(false, "install: cannot read " .. path .. ": check that the file exists and you may read it")
  end
  local serials = devices.serials()
  if #serials == 0 then return done(false, "install: " .. NO_PHONE) end
  local serial = serials[1]
  print(string.format("installing %s on %s ...", path, serial))
  local job = commands.job("install " .. path)
  bridge.install(serial, path, function(result)
    job.ended()
    if result == bridge.SUCCESS then return done(true, "installed " .. path) end
    done(false, string.format("install: failed (%s): %s", tostring(result), bridge.install_failure(result)))
  end)
end

-- Removes an app by its package name; done(ok, line).
function M.uninstall(package, done)
  phone.change(UNINSTALL, { package }, "uninstalled " .. package,
    "no app " .. package .. " on the phone: 'apps all' lists the packages", done)
end

local say = commands.report

commands.add("install", "install FILE.apk          install an app on the phone", function(rest)
  local w = commands.words(rest)
  if #w ~= 1 then return commands.fail("usage: install <file.apk>") end
  M.install(commands.local_path(w[1]), say)
end)

commands.add("uninstall", "uninstall PACKAGE         remove an app (its package as 'apps' shows it)", function(rest)
  local package = rest:match("^%s*(%S+)%s*$")
  if not package then return commands.fail("usage: uninstall <package>  ('apps' shows the packages)") end
  commands.confirm("remove the app " .. package .. " from the phone? (yes/no)", function() M.uninstall(package, say) end)
end)

return M
