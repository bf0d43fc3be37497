-- The program folder's config.ini, read and written through the host's INI methods.
local M = {}

local app = GetObject("AppHelp.Object")
local shell = GetObject("Win32Shell.Object")

-- What ReadINIString gives for a key or file that is missing.
local MISSING = "3.1.1.1"

function M.path() return app:GetExeDir() .. "config.ini" end

-- The value of [section] key, or "" when it is missing.
function M.value(section, key)
  local v = shell:ReadINIString(M.path(), section, key)
  if type(v) ~= "string" or v == MISSING then return "" end
  return v
end

-- Writes [section] key = value; true when written.
function M.write(section, key, value)
  return shell:WriteINI(section, key, value, M.path()) == true
end

return M
