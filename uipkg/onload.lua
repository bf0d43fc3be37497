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
