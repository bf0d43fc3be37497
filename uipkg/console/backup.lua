-- Contact backups and CSV files: 'backup' saves the phone's contacts in the profile folder,
-- 'backups' lists the saved ones, 'restore' shows one and sends it to the phone once the
-- user answers 'yes'; 'export' writes the phone's SMS or contacts to a CSV file a
-- spreadsheet opens, 'import contacts' reads such a file (or another program's export).
local agent = require("console.agent")
local commands = require("console.commands")
local files = require("console.local_files")
local completion = require("console.completion")
local text = require("console.text")

local app = GetObject("AppHelp.Object")
local SHOWN = 10

local M = {}

-- The phone's contacts as {name, number} records, in the phone's order.
local function fetch_contacts(on_done, on_failure)
  local contacts = {}
  agent.list(Macro.MSG_CONTACT_LIST, {}, function(r)
    contacts[#contacts + 1] = { name = r.Name or "", number = r.Number or "" }
  end, function() on_done(contacts) end, on_failure, on_failure ~= nil)
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

-- The name a backup is shown and typed by: its date's digits as 2026-12-08_10-00-00 (and
-- _N for the second and later backups of one second).
local function backup_name(date)
  local d = {}
  for digits in tostring(date):gmatch("%d+") do d[#d + 1] = digits end
  if #d < 6 then return tostring(date) end
  local name = string.format("%s-%s-%s_%s-%s-%s", d[1], d[2], d[3], d[4], d[5], d[6])
  if d[7] then name = name .. "_" .. d[7] end
  return name
end

-- The backups in the index's order, oldest first: { name, date, title }.
local function backups()
  local list = backup_list()
  local out = {}
  for i = 1, table.maxn(list) do
    local entry = list[i]
    if entry then out[#out + 1] = { name = backup_name(entry.rdate), date = entry.rdate, title = entry.title } end
  end
  return out
end

-- The backup a typed word names: 'latest', a whole name or date, or an unambiguous prefix
-- of a name. nil and the reason otherwise.
local function find_backup(word)
  local all = backups()
  if #all == 0 then return nil, "there are no backups yet ('backup' makes one)" end
  if word == "latest" then return all[#all] end
  local matches = {}
  for _, b in ipairs(all) do
    if b.name == word or b.date == word then return b end
    if b.name:sub(1, #word) == word then matches[#matches + 1] = b end
  end
  if #matches == 1 then return matches[1] end
  if #matches > 1 then
    return nil, string.format("%d backups start with %s: type more of the name ('backups' lists them)", #matches, word)
  end
  return nil, "no backup " .. word .. " ('backups' lists them; 'latest' is the newest)"
end

-- Saves the phone's contacts as a backup titled title; done(ok, line).
function M.backup(title, done)
  fetch_contacts(function(contacts)
    local before = #backup_list()
    app:BackupContact(title, contacts)
    local all = backups()
    if #all > before then
      local entry = all[#all]
      return done(true, string.format("backup: %d contacts saved as %s (%s)", #contacts, entry.name, entry.title))
    end
    done(false, "backup: failed (is the profile folder writable?)")
  end, function(line) done(false, line) end)
end

M.backups = backups

commands.add("backup", "backup [TITLE]            back up the phone's contacts", function(rest)
  M.backup(rest ~= "" and rest or "contacts", commands.report)
end)

commands.add("backups", "backups                   list the contact backups", function()
  local all = backups()
  for _, b in ipairs(all) do
    print(string.format("  %s  %s", b.name, text.clean(b.title)))
    completion.add_word(b.name)
  end
  print(string.format("%d backups%s", #all, #all > 0 and " (restore with 'restore NAME', or 'restore latest')" or ""))
end)

-- The phone's contacts as a set of "name\0number" keys.
local function contact_keys(contacts)
  local keys = {}
  for _, c in ipairs(contacts) do keys[c.name .. "\0" .. c.number] = true end
  return keys
end

-- Sends the contacts the phone does not hold yet (same name and number) one after
-- another; done(ok, line) says how many it added and skipped.
local function send_contacts(verb, contacts, done)
  fetch_contacts(function(on_phone)
    local have = contact_keys(on_phone)
    local todo, skipped = {}, 0
    for _, c in ipairs(contacts) do
      if have[c.name .. "\0" .. c.number] then skipped = skipped + 1 else todo[#todo + 1] = c end
    end
    local sent, i = 0, 0
    local job = commands.job(verb)
    local function next_one()
      i = i + 1
      local c = todo[i]
      if not c then
        job.ended()
        return done(sent == #todo, string.format("%s: %d of %d contacts added to the phone%s", verb, sent, #contacts,
          skipped > 0 and string.format(", %d skipped (already on the phone)", skipped) or ""))
      end
      agent.add_contact(c.name, c.number, function(ok)
        if ok then sent = sent + 1 end
        next_one()
      end)
    end
    next_one()
  end, function(line) done(false, line) end)
end

-- The contacts of a backup (named as find_backup takes it), or nil and the line saying why.
local function backup_contacts(word)
  local b, why = find_backup(word)
  if not b then return nil, "restore: " .. why end
  -- The method takes "title date"; the title is not used.
  local contacts = app:RestoreContact("backup " .. b.date)
  if not contacts then return nil, "restore: the backup " .. b.name .. " cannot be read" end
  return contacts, b
end

-- Sends a backup's contacts to the phone without asking (the window asked); done(ok, line).
function M.restore(word, done)
  local contacts, b = backup_contacts(word)
  if not contacts then return done(false, b) end
  if #contacts == 0 then return done(true, "restore: backup " .. b.name .. " holds no contacts") end
  send_contacts("restore", contacts, done)
end

-- Reads a CSV file of contacts and sends those the phone lacks, without asking; done(ok, line).
function M.import(path, done)
  local queued = app:RestoreContactFromCVS(path, function(contacts)
    if not contacts then
      return done(false, "import: cannot read " .. path .. " (a CSV file with 'First Name' and 'Mobile Phone' columns)")
    end
    send_contacts("import", contacts, done)
  end)
  if not queued then
    done(false, "import: cannot read " .. path .. " (a CSV file with 'First Name' and 'Mobile Phone' columns)")
  end
end

commands.add("restore", "restore NAME|latest       restore a contact backup (asks first)", function(rest)
  local w = commands.words(rest)
  if #w ~= 1 then return commands.fail("usage: restore <name> | restore latest  (see 'backups')") end
  local contacts, b = backup_contacts(w[1])
  if not contacts then return commands.fail(b) end
  print(string.format("restore: backup %s holds %d contacts", b.name, #contacts))
  show(contacts)
  if #contacts == 0 then return end
  commands.ask(string.format("send these %d contacts to the phone? (yes/no)", #contacts), function()
    send_contacts("restore", contacts, commands.report)
  end)
end)

-- A cell of a UTF-8 CSV file: quoted when it holds a comma, a quote or a line break.
local function csv_cell(value)
  value = tostring(value or "")
  if value:find('[,"\r\n]') then return '"' .. value:gsub('"', '""') .. '"' end
  return value
end

-- Writes rows as a UTF-8 CSV through a temporary file renamed over path; true when done.
local function write_utf8_csv(path, header, rows)
  local temporary = path .. ".tmp"
  local f = io.open(temporary, "wb")
  if not f then return false end
  local ok = f:write("\239\187\191")
  for _, row in ipairs({ header, unpack(rows) }) do
    local cells = {}
    for i, v in ipairs(row) do cells[i] = csv_cell(v) end
    ok = ok and f:write(table.concat(cells, ","), "\r\n")
  end
  ok = f:close() and ok
  if ok and os.rename(temporary, path) then return true end
  os.remove(temporary)
  return false
end

local function written(ok, count, noun, path, done)
  if ok then return done(true, string.format("export: %d %s written to %s", count, noun, path)) end
  done(false, string.format("export: cannot write %s: check that its folder exists and that you may write there",
    path))
end

-- Writes the phone's SMS to path as CSV; done(ok, line) once written, or not.
function M.export_sms(path, readable, done)
  local rows = {}
  agent.list(Macro.MSG_SMS_LIST, { 0 }, function(r)
    if readable then
      rows[#rows + 1] = { text.date(r.Date), text.direction(r.Type), r.Number or "", r.Content or "" }
    else
      rows[#rows + 1] = { r.Number or "", r.Content or "", r.Date or "", tostring(r.Type or "") }
    end
  end, function(count)
    local ok
    if readable then
      ok = write_utf8_csv(path, { "Date", "Direction", "Number", "Body" }, rows)
    else
      ok = app:BackupSmsToCVS(path, { "Number", "Body", "Date", "Type" }, rows)
    end
    written(ok == true, count, "SMS", path, done)
  end, function(line) done(false, line) end, true)
end

function M.export_contacts(path, done)
  fetch_contacts(function(contacts)
    local rows = {}
    for i, c in ipairs(contacts) do rows[i] = { c.name, c.number } end
    written(app:BackupContactToCVS(path, { "First Name", "Mobile Phone" }, rows) == true, #contacts, "contacts", path,
      done)
  end, function(line) done(false, line) end)
end

-- The words of an argument line without the --options it names; options[name] is true for
-- each one given. nil and the unknown option otherwise.
local function options(rest, known)
  local words, given = {}, {}
  for _, word in ipairs(commands.words(rest)) do
    if word:sub(1, 2) == "--" then
      if not known[word] then return nil, word end
      given[word] = true
    else
      words[#words + 1] = word
    end
  end
  return words, given
end

local EXPORT_USAGE = "usage: export sms <file> [--readable] [--force] | export contacts <file> [--force]"

commands.add("export", "export sms|contacts FILE  write the phone's SMS or contacts to a CSV file", function(rest)
  local words, given = options(rest, { ["--readable"] = true, ["--force"] = true })
  if not words then return commands.fail(EXPORT_USAGE) end
  local what, path = words[1], words[2]
  if not path or #words > 2 or (what ~= "sms" and what ~= "contacts") then return commands.fail(EXPORT_USAGE) end
  if given["--readable"] and what ~= "sms" then return commands.fail(EXPORT_USAGE) end
  path = commands.local_path(path)
  local function go()
    if what == "sms" then
      M.export_sms(path, given["--readable"], commands.report)
    else
      M.export_contacts(path, commands.report)
    end
  end
  if not files.exists(path) or given["--force"] then return go() end
  commands.confirm("replace " .. path .. "? (yes/no; --force skips this question)", go)
end)

commands.add("import", "import contacts FILE      read contacts from a CSV file and add them to the phone", function(rest)
  local words = commands.words(rest)
  if words[1] ~= "contacts" or not words[2] or #words > 2 then return commands.fail("usage: import contacts <file>") end
  local path = commands.local_path(words[2])
  local function cannot_read()
    commands.fail("import: cannot read " .. path .. " (a CSV file with 'First Name' and 'Mobile Phone' columns)")
  end
  -- A large file is read off the UI thread; its contacts come to the function.
  local job = commands.job("import " .. path)
  local queued = app:RestoreContactFromCVS(path, function(contacts)
    if not contacts then
      cannot_read()
      return job.ended()
    end
    print(string.format("import: %d contacts read from %s", #contacts, path))
    show(contacts)
    if #contacts > 0 then
      commands.ask(string.format("add these %d contacts to the phone? (yes/no)", #contacts), function()
        send_contacts("import", contacts, commands.report)
      end)
    end
    job.ended()
  end)
  if not queued then
    cannot_read()
    job.ended()
  end
end)

return M
