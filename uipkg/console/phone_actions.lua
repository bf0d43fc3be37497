-- info, send, add-contact, delete-contact, delete-sms, read and ringtone: the phone's
-- summary and the changes the agent makes on the phone, each answered with one line. The
-- changes are functions too, done(ok, line), so the window makes the same calls and shows
-- the same sentences.
local agent = require("console.agent")
local commands = require("console.commands")
local text = require("console.text")

local M = {}

local SUMMARY, SEND_SMS, DELETE_CONTACT = Macro.MSG_DEVICE_SUMMARY, Macro.MSG_SEND_SMS, Macro.MSG_DELETE_CONTACT

local function storage(free, total)
  if not total or total <= 0 then return "none" end
  return string.format("%s free of %s", text.bytes(free), text.bytes(total))
end

commands.add("info", "info                      the phone's model, Android version, battery, storage, counts",
  function()
    agent.request(SUMMARY, {}, function(contacts, sdk, battery, signal, card, sms, apps, free, card_free, total,
                                        card_total, android, model)
      print(string.format("model:    %s", text.clean(model)))
      print(string.format("android:  %s (SDK %d)", text.clean(android), sdk))
      print(string.format("battery:  %d%%   signal: %d", battery, signal))
      print(string.format("storage:  %s", storage(free, total)))
      print(string.format("card:     %s", card ~= 0 and storage(card_free, card_total) or "none"))
      print(string.format("counts:   %d SMS, %d contacts, %d apps", sms, contacts, apps))
    end)
  end)

-- A phone number: digits with an optional leading +, and blanks, dashes or brackets.
function M.is_number(s)
  return s:match("^%+?[%d%s%-%(%)]+$") ~= nil and s:find("%d") ~= nil
end

local say = commands.report

-- Asks the agent for a change answered with one status frame: done(true, yes) for status
-- 1, done(false, no) for any other record; an agent that does not answer gets request()'s
-- own line.
function M.change(kind, args, yes, no, done)
  local answered = false
  agent.request(kind, args, function(status)
    if answered or status == Macro.LIST_END then return end
    answered = true
    if status == 1 then done(true, yes) else done(false, no) end
  end, function(line) if not answered then done(false, line) end end, true)
end
local change = M.change

-- Sends an SMS from the phone. Status 1: the agent sent it and returns the stored message;
-- status 0: the phone's messaging app opened with the text and waits for the user; no
-- record: nothing happened.
function M.send_sms(number, message, done)
  if not M.is_number(number) then
    return done(false, "send: '" .. number .. "' is not a phone number: use digits, with + for an international one")
  end
  if not message:find("%S") then return done(false, "send: the text is empty: an SMS needs some text") end
  local answered = false
  agent.request(SEND_SMS, { number, message }, function(status)
    if answered then return end
    if status == 1 then
      answered = true
      done(true, "SMS sent to " .. number)
    elseif status == 0 then
      answered = true
      done(true, "SMS to " .. number .. " opened on the phone: press Send there to send it")
    elseif status == Macro.LIST_END then
      answered = true
      done(false, "SMS to " .. number .. " not sent: the phone refused it; check the number and that the phone has"
        .. " signal")
    end
  end, function(line) if not answered then done(false, line) end end, true)
end

commands.add("send", "send NUMBER TEXT          send an SMS from the phone", function(rest)
  -- A number with blanks in it comes in double quotes.
  local number, message = rest:match('^%s*"([^"]*)"%s+(.-)%s*$')
  if not number then number, message = rest:match("^%s*(%S+)%s+(.-)%s*$") end
  if not number or message == "" then return commands.fail("usage: send <number> <text>") end
  message = message:match('^"(.*)"$') or message
  M.send_sms(number, message, say)
end)

-- Adds a contact; done(ok, line) once the agent confirmed it, or refused or did not answer.
function M.add_contact(name, number, done)
  if not name:find("%S") then return done(false, "add-contact: the name is empty: give the contact a name") end
  if not M.is_number(number) then
    return done(false, "add-contact: '" .. number .. "' is not a phone number: use digits, with + for an"
      .. " international one")
  end
  agent.add_contact(name, number, function(ok)
    if ok then return done(true, string.format("contact added: %s %s", name, number)) end
    done(false, "contact " .. name .. " not added: the phone did not confirm it; try again with the phone unlocked")
  end)
end

commands.add("add-contact", "add-contact NAME NUMBER   add a contact on the phone", function(rest)
  local w = commands.words(rest)
  if #w ~= 2 then return commands.fail("usage: add-contact <name> <number>  (quote a name with blanks: \"Li Na\")") end
  M.add_contact(w[1], w[2], say)
end)

function M.delete_contact(id, done)
  change(DELETE_CONTACT, { id }, "contact " .. id .. " deleted",
    "no contact " .. id .. " on the phone: 'contacts all' lists the ids", done)
end

function M.delete_sms(id, done)
  change(Macro.MSG_DELETE_SMS, { id }, "SMS " .. id .. " deleted",
    "SMS " .. id .. " not deleted: the phone has no such message, or keeps its messages to the messaging app", done)
end

function M.mark_read(thread, done)
  change(Macro.MSG_MARK_THREAD_READ, { thread }, "thread " .. thread .. " marked read",
    "thread " .. thread .. " not marked read: it has no unread message, or the phone does not allow the change", done)
end

function M.set_ringtone(path, done)
  change(Macro.MSG_SET_RINGTONE, { path }, "ringtone set to " .. path,
    "ringtone not set: the phone has no song " .. path .. " ('music all' lists them)", done)
end

function M.delete_file(path, done)
  change(Macro.MSG_DELETE_FILE, { path }, "deleted " .. path,
    "not deleted: " .. path .. " is no file in the phone's shared storage, or the phone keeps it", done)
end

function M.make_folder(path, done)
  change(Macro.MSG_MAKE_FOLDER, { path }, "folder " .. path .. " made",
    "folder " .. path .. " not made: it is there already, or it is outside the phone's shared storage (/sdcard)", done)
end

-- The one phone path a command names (quoted when it holds blanks), or nil after the usage line.
local function one_path(rest, usage)
  local path = rest:match("^%s*(.-)%s*$")
  path = path:match('^"(.*)"$') or path
  if path == "" or path:find("%c") then
    commands.fail(path == "" and "usage: " .. usage or "a phone path cannot hold control characters")
    return nil
  end
  return path
end

-- The id a command names, or nil after the usage line.
local function one_id(rest, usage)
  local id = tonumber(rest:match("^%s*(%d+)%s*$") or "")
  if not id then commands.fail("usage: " .. usage) end
  return id
end

commands.add("delete-contact", "delete-contact ID         delete a contact (its ID as 'contacts' shows it)",
  function(rest)
    local id = rest:match("^%s*(%S+)%s*$")
    if not id then return commands.fail("usage: delete-contact <id>  ('contacts' shows the ids)") end
    commands.confirm("delete contact " .. id .. " from the phone? (yes/no)", function() M.delete_contact(id, say) end)
  end)

commands.add("delete-sms", "delete-sms ID             delete an SMS (its ID as 'sms all' shows it)", function(rest)
  local id = one_id(rest, "delete-sms <id>  ('sms all' shows the ids)")
  if id then commands.confirm("delete SMS " .. id .. " from the phone? (yes/no)", function() M.delete_sms(id, say) end) end
end)

commands.add("delete-file", "delete-file PATH          delete a file on the phone (music, a photo, a video, a document)",
  function(rest)
    local path = one_path(rest, "delete-file <phone path>  ('photos', 'music' or 'files FOLDER' show the paths)")
    if path then commands.confirm("delete " .. path .. " from the phone? (yes/no)", function() M.delete_file(path, say) end) end
  end)

commands.add("make-folder", "make-folder PATH          make a folder in the phone's shared storage", function(rest)
  local path = one_path(rest, "make-folder <phone path>  (for example /sdcard/Documents/Trips)")
  if path then M.make_folder(path, say) end
end)

commands.add("read", "read THREAD               mark a thread's SMS read", function(rest)
  local thread = one_id(rest, "read <thread>  ('sms' shows the thread numbers)")
  if thread then M.mark_read(thread, say) end
end)

commands.add("ringtone", "ringtone PATH             make a song the phone's ringtone", function(rest)
  local path = rest:match("^%s*(.-)%s*$")
  if path == "" then return commands.fail("usage: ringtone <phone path>  ('music' shows the paths)") end
  M.set_ringtone(path:match('^"(.*)"$') or path, say)
end)

return M
