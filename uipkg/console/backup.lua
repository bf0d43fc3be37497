-- Contact backups and CSV files: 'backup' saves the phone's contacts in the profile folder,
-- 'backups' lists the saved ones, 'restore' shows one and sends it to the phone once the
-- user answers 'yes'; 'export' writes the phone's SMS or contacts to a CSV file a
-- spreadsheet opens, 'import contacts' reads such a file (or another program's export).
local agent = require("console.agent")
local commands = require("console.commands")
local text = require("console.text")

local app = GetObject("AppHelp.Object")
local SHOWN = 10

-- The phone's contacts as {name, number} records, in the phone's order.
local function fetch_contacts(on_done)
  local contacts = {}
  agent.list(Macro.MSG_CONTACT_LIST, {}, function(r)
    contacts[#contacts + 1] = { name = r.Name or "", number = r.Number or "" }
  end, function() on_done(contacts) end)
end

local function show(contacts)
  for i, c in ipairs(contacts) do
    if i > SHOWN then break end
    print(string.format("  %s  %s", text.short(c.name, 40), text.short(c.number, 30)))
  end
  if #contacts > SHOWN then print(string.format("  ... and %d more", #contacts - SHOWN)) end
end

local function backup_list()
  local list = app:GetContactBackupList()
  return list or {}
end

-- The newest entry of the index, or nil.
local function newest(list)
  local last
  for _, entry in pairs(list) do last = entry end
  return last
end

commands.add("backup", "backup [TITLE]            back up the phone's contacts", function(rest)
  local title = rest ~= "" and rest or "contacts"
  fetch_contacts(function(contacts)
    local before = #backup_list()
    app:BackupContact(title, contacts)
    local list = backup_list()
    local entry = #list > before and newest(list)
    if entry then
      print(string.format("backup: %d contacts saved as %s (%s)", #contacts, entry.rdate, entry.title))
    else
      print("backup: failed (is the profile folder writable?)")
    end
  end)
end)

commands.add("backups", "backups                   list the contact backups", function()
  local list = backup_list()
  local n = 0
  for i = 1, table.maxn(list) do
    local entry = list[i]
    if entry then
      n = n + 1
      print(string.format("  %s  %s", entry.rdate, entry.title))
    end
  end
  print(string.format("%d backups%s", n, n > 0 and " (restore with 'restore DATE')" or ""))
end)

-- Sends the contacts to the phone one after another; prints how many it took.
local function send_contacts(contacts)
  local sent, i = 0, 0
  local function next_one()
    i = i + 1
    local c = contacts[i]
    if not c then
      print(string.format("restore: %d of %d contacts added to the phone", sent, #contacts))
      return
    end
    agent.add_contact(c.name, c.number, function(ok)
      if ok then sent = sent + 1 end
      next_one()
    end)
  end
  next_one()
end

commands.add("restore", "restore DATE              restore a contact backup (asks first)", function(rest)
  local date = commands.words(rest)[1]
  if not date then return print("usage: restore <date> (see 'backups')") end
  -- The method takes "title date"; the title is not used.
  local contacts = app:RestoreContact("backup " .. date)
  if not contacts then return print("restore: no readable backup " .. date .. " (see 'backups')") end
  print(string.format("restore: backup %s holds %d contacts", date, #contacts))
  show(contacts)
  if #contacts == 0 then return end
  commands.ask(string.format("send these %d contacts to the phone? (yes/no)", #contacts), function()
    send_contacts(contacts)
  end)
end)

local function export_sms(path)
  local rows = {}
  agent.list(Macro.MSG_SMS_LIST, { 0 }, function(r)
    rows[#rows + 1] = { r.Number or "", r.Content or "", r.Date or "", tostring(r.Type or "") }
  end, function(count)
    app:BackupSmsToCVS(path, { "Number", "Body", "Date", "Type" }, rows)
    print(string.format("export: %d SMS written to %s", count, path))
  end)
end

local function export_contacts(path)
  fetch_contacts(function(contacts)
    local rows = {}
    for i, c in ipairs(contacts) do rows[i] = { c.name, c.number } end
    app:BackupContactToCVS(path, { "First Name", "Mobile Phone" }, rows)
    print(string.format("export: %d contacts written to %s", #contacts, path))
  end)
end

commands.add("export", "export sms|contacts FILE  write the phone's SMS or contacts to a CSV file", function(rest)
  local words = commands.words(rest)
  local what, path = words[1], words[2]
  if not path or #words > 2 or (what ~= "sms" and what ~= "contacts") then
    return print("usage: export sms <file> | export contacts <file>")
  end
  if what == "sms" then export_sms(path) else export_contacts(path) end
end)

commands.add("import", "import contacts FILE      read contacts from a CSV file", function(rest)
  local words = commands.words(rest)
  if words[1] ~= "contacts" or not words[2] or #words > 2 then return print("usage: import contacts <file>") end
  local contacts = app:RestoreContactFromCVS(words[2])
  if not contacts then
    return print("import: cannot read " .. words[2] .. " (a CSV file with 'First Name' and 'Mobile Phone' columns)")
  end
  print(string.format("import: %d contacts read from %s", #contacts, words[2]))
  show(contacts)
end)
