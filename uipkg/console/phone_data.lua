-- The commands that list the phone's data through the agent: sms, contacts, apps. Each
-- prints the first few records and a count; 'all' as argument prints every record.
local agent = require("console.agent")
local commands = require("console.commands")
local completion = require("console.completion")
local text = require("console.text")

local SHOWN = 10

-- The count of records to show for the argument line: none for the first few, 'all' for
-- every one; nil (after the usage line) for anything else.
local function limit(rest, usage)
  if rest == "" then return SHOWN end
  if rest == "all" then return math.huge end
  commands.fail("usage: " .. usage)
end

local function listing(kind, args, shown, line, noun)
  agent.list(kind, args, function(r, n)
    if n <= shown then print(text.row(line(r))) end
  end, function(count)
    local more = count > shown and string.format(" (first %d shown; add 'all' for every one)", shown) or ""
    print(string.format("%d %s%s", count, noun, more))
  end)
end

commands.add("sms", "sms [THREAD|all]          list SMS (of one thread)", function(rest)
  local thread = rest:match("^%d+$") and tonumber(rest)
  local shown = thread and math.huge or limit(rest, "sms [thread number | all]")
  if not shown then return end
  listing(Macro.MSG_SMS_LIST, { thread or 0 }, shown, function(r)
    return string.format("thread %d  %s  %-3s  %s  %s", r.ThreadID, text.date(r.Date), text.direction(r.Type), r.Number,
      text.short(r.Content, 60))
  end, "SMS")
end)

commands.add("contacts", "contacts [all]            list contacts", function(rest)
  local shown = limit(rest, "contacts [all]")
  if not shown then return end
  listing(Macro.MSG_CONTACT_LIST, {}, shown, function(r)
    return string.format("%s  %s  %s", r.ID, r.Name, r.Number)
  end, "contacts")
end)

commands.add("apps", "apps [all]                list installed apps", function(rest)
  local shown = limit(rest, "apps [all]")
  if not shown then return end
  listing(Macro.MSG_APP_LIST, {}, shown, function(r)
    completion.add_word(tostring(r.packName or ""))
    return string.format("%s  %s  %s", r.Name, r.packName, r.ver)
  end, "apps")
end)
