-- The config.ini settings the window lets the user change: each has a name for the page,
-- its section and key, and a check of the value typed. Values are written one key at a
-- time through the host's safe INI writer; nothing is written when any value is wrong.
local config = require("console.config")
local files = require("console.local_files")
local text = require("console.text")

local M = {}


local function http_url(v)
  if v == "" or v:match("^[Hh][Tt][Tt][Pp][Ss]?://[^/%s]+[^%s]*$") then return nil end
  return "is not an address like http://host/path"
end

M.KEYS = {
  { name = "update_url", section = "Update", key = "url", check = http_url },
  { name = "update_server", section = "Update", key = "server", check = function(v)
    if v == "" or v:match("^[%w%.%-]+:%d+$") then return nil end
    return "is not host:port"
  end },
  { name = "report_url", section = "Report", key = "url", check = http_url },
  { name = "web_enabled", section = "Web", key = "enabled", check = function(v)
    if v == "" or v == "0" or v == "1" then return nil end
    return "is not 0 or 1"
  end },
  { name = "web_port", section = "Web", key = "port", check = function(v)
    local n = tonumber(v)
    if v == "" or (n and n == math.floor(n) and n >= 1 and n <= 65535) then return nil end
    return "is not a port number from 1 to 65535"
  end },
  { name = "download_folder", section = "Download", key = "folder", check = function(v)
    if v == "" or files.is_folder(files.expand(v)) then return nil end
    return "is not a folder that exists"
  end },
}

-- name -> value of every setting ("" when unset), with the program's version.
function M.read()
  -- A program without a recorded version is the first release, as --version says.
  local out = { version = config.value("Basic", "appver") ~= "" and config.value("Basic", "appver") or "1.0.0.1" }
  for _, k in ipairs(M.KEYS) do out[k.name] = config.value(k.section, k.key) end
  return out
end

-- Writes the settings given (name -> value); ok and the line saying what happened.
function M.write(values)
  local changes = {}
  for _, k in ipairs(M.KEYS) do
    local v = values[k.name]
    if v ~= nil then
      v = text.clean(tostring(v)):match("^%s*(.-)%s*$")
      local problem = k.check(v)
      if problem then return false, string.format("settings: [%s] %s: '%s' %s; nothing was saved", k.section, k.key, v, problem) end
      changes[#changes + 1] = { k, v }
    end
  end
  for _, c in ipairs(changes) do
    if not config.write(c[1].section, c[1].key, c[2]) then
      return false, "settings: config.ini cannot be written (is the program folder writable?)"
    end
  end
  return true, string.format("settings: %d saved to config.ini; the web port and start-up check apply at the next start",
    #changes)
end

return M
