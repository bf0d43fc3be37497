-- The commands that list the phone's data through the agent: sms, contacts, apps. Each
-- prints the first few records and a count; 'all' as argument prints every record.
local commands = require("console.commands")
local completion = require("console.completion")
local lists = require("console.listing")
local text = require("console.text")

local listing, limit = lists.print, lists.how_many

commands.add("sms", "sms [THREAD|all]          list SMS (of one thread)", function(rest)
  local thread = rest:match("^%d+$") and tonumber(rest)
  local shown = thread and math.huge or limit(rest, "sms [thread number | all]")
  if not shown then return end
  listing(Macro.MSG_SMS_LIST, { thread or 0 }, shown, function(r)
    return string.format("%d  thread %d  %s  %-3s  %s  %s", r.ID, r.ThreadID, text.date(r.Date), text.direction(r.Type),
      r.Number, text.short(r.Content, 60))
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
