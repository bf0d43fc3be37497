-- The phone's lists as the console prints them: the first few records, or every one for
-- 'all', each on a line of its own, then a count.
local agent = require("console.agent")
local commands = require("console.commands")
local text = require("console.text")

local M = {}

M.SHOWN = 10

-- How many records to show for the argument line: the first few, or every one for 'all';
-- nil (after the usage line, a failed command) for anything else.
function M.how_many(rest, usage)
  if rest == "" then return M.SHOWN end
  if rest == "all" then return math.huge end
  commands.fail("usage: " .. usage)
end

-- Asks for the list of kind and prints line(record) for the first shown records, then
-- "COUNT NOUN".
function M.print(kind, args, shown, line, noun)
  agent.list(kind, args, function(r, n)
    if n <= shown then print(text.row(line(r))) end
  end, function(count)
    local more = count > shown and string.format(" (first %d shown; add 'all' for every one)", shown) or ""
    print(string.format("%d %s%s", count, noun, more))
  end)
end

return M
