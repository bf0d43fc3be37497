-- The console's command table and its input loop: each line of standard input names a
-- command and its arguments; the end of input quits like 'quit' does.
local M = {}

local shell = GetObject("Win32Shell.Object")
local handlers, usage = {}, {}

-- Adds a command; text is the one-line usage shown by 'help'.
function M.add(name, text, fn)
  handlers[name] = fn
  usage[name] = text
end

-- Splits an argument line into words; "double quotes" keep blanks inside one word.
function M.words(line)
  local out = {}
  local at = 1
  while true do
    local s = line:find("%S", at)
    if not s then break end
    local word, stop
    if line:sub(s, s) == '"' then
      local e = line:find('"', s + 1, true)
      word, stop = line:sub(s + 1, (e or #line + 1) - 1), (e or #line) + 1
    else
      local e = line:find("%s", s) or #line + 1
      word, stop = line:sub(s, e - 1), e
    end
    out[#out + 1] = word
    at = stop
  end
  return out
end

function M.quit()
  shell:PostQuitMessage()
end

M.add("quit", "quit                      end the program", M.quit)
M.add("help", "help [COMMAND]            list the commands, or show one with an example", function(rest)
  require("console.help").show(rest, usage)
end)

-- A question answered by the next line: 'yes' runs on_yes, anything else cancels it.
local pending

function M.ask(question, on_yes)
  print(question)
  pending = on_yes
end

function M.handlers() return handlers end

require("console.completion").set_command_source(function()
  local names = {}
  for name in pairs(handlers) do names[#names + 1] = name end
  return names
end)

-- Reads commands until the end of input.
function M.run()
  ReadConsole(function(line)
    if line == nil then return M.quit() end
    if pending then
      local on_yes = pending
      pending = nil
      if line:match("^%s*yes%s*$") then return on_yes() end
      print("cancelled")
      return
    end
    local word, rest = line:match("^%s*(%S+)%s*(.-)%s*$")
    if not word then return end
    local fn = handlers[word]
    if fn then
      fn(rest)
    else
      print("unknown command: " .. word .. " (type 'help')")
    end
  end)
end

return M
