-- One console line for each notification the agent sends on its channel.
local text = require("console.text")
local model = require("model.store")

local M = {}

local formats = {
  [2] = function() return "agent: notification channel failed (agent not reachable)" end,
  [18] = function(_, _, number, name) return "incoming call from " .. name .. " " .. number end,
  [19] = function(status) return tostring(status) end,
  [48] = function(_, number, content) return "new SMS from " .. number .. ": " .. text.short(content, 60) end,
  [50] = function(status, number)
    if status == 0 then return "SMS to " .. number .. " failed" end
    return "SMS sent to " .. number
  end,
  [105] = function(_, _, _, path) return "video added: " .. tostring(path) end,
  [106] = function(_, _, path) return "photo added: " .. tostring(path) end,
  [107] = function(_, _, _, _, _, path) return "song added: " .. tostring(path) end,
}

function M.line(kind, ...)
  local format = formats[kind]
  local ok, line = pcall(format or function() return nil end, ...)
  if not ok or not line then return "notice: type " .. tostring(kind) end
  if kind == 2 then return line end
  return "notice: " .. line
end

function M.print(kind, ...)
  local line = text.clean(M.line(kind, ...))
  print(line)
  model.notice(kind, (line:gsub("^notice: ", "")))
end

return M
