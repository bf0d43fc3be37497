-- info, send, add-contact and delete-contact: the phone's summary and the changes the
-- agent makes on the phone, each answered with one line.
local agent = require("console.agent")
local commands = require("console.commands")
local text = require("console.text")

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
local function is_number(s)
  return s:match("^%+?[%d%s%-%(%)]+$") ~= nil and s:find("%d") ~= nil
end

commands.add("send", "send NUMBER TEXT          send an SMS from the phone", function(rest)
  -- A number with blanks in it comes in double quotes.
  local number, message = rest:match('^%s*"([^"]*)"%s+(.-)%s*$')
  if not number then number, message = rest:match("^%s*(%S+)%s+(.-)%s*$") end
  if not number or message == "" then return commands.fail("usage: send <number> <text>") end
  message = message:match('^"(.*)"$') or message
  if not is_number(number) then
    return commands.fail("send: '" .. number .. "' is not a phone number: use digits, with + for an international one")
  end
  if not message:find("%S") then return commands.fail("send: the text is empty: an SMS needs some text") end
  local answered = false
  -- Status 1: the agent sent it and returns the stored message; status 0: the phone's
  -- messaging app opened with the text and waits for the user; no record: nothing happened.
  agent.request(SEND_SMS, { number, message }, function(status)
    if answered then return end
    if status == 1 then
      answered = true
      print("SMS sent to " .. number)
    elseif status == 0 then
      answered = true
      print("SMS to " .. number .. " opened on the phone: press Send there to send it")
    elseif status == Macro.LIST_END then
      answered = true
      commands.fail("SMS to " .. number .. " not sent: the phone refused it; check the number and that the phone has"
        .. " signal")
    end
  end)
end)

commands.add("add-contact", "add-contact NAME NUMBER   add a contact on the phone", function(rest)
  local w = commands.words(rest)
  if #w ~= 2 then return commands.fail("usage: add-contact <name> <number>  (quote a name with blanks: \"Li Na\")") end
  if not w[1]:find("%S") then return commands.fail("add-contact: the name is empty: give the contact a name") end
  if not is_number(w[2]) then
    return commands.fail("add-contact: '" .. w[2] .. "' is not a phone number: use digits, with + for an international"
      .. " one")
  end
  agent.add_contact(w[1], w[2], function(ok)
    if ok then
      print(string.format("contact added: %s %s", w[1], w[2]))
    else
      commands.fail("contact " .. w[1] .. " not added: the phone did not confirm it; try again with the phone unlocked")
    end
  end)
end)

commands.add("delete-contact", "delete-contact ID         delete a contact (its ID as 'contacts' shows it)",
  function(rest)
    local id = rest:match("^%s*(%S+)%s*$")
    if not id then return commands.fail("usage: delete-contact <id>  ('contacts' shows the ids)") end
    commands.confirm("delete contact " .. id .. " from the phone? (yes/no)", function()
      agent.request(DELETE_CONTACT, { id }, function(status)
        if status == 1 then
          print("contact " .. id .. " deleted")
        elseif status ~= Macro.LIST_END then
          commands.fail("no contact " .. id .. " on the phone: 'contacts all' lists the ids")
        end
      end)
    end)
  end)
